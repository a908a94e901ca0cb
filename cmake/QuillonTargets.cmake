# Helpers shared by every target of the project.

# Warnings on for one target; the project keeps them clean.
function(quillon_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
endfunction()

# One static library per subsystem folder, with an alias quillon::<name>.
function(quillon_library name)
    cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
    add_library(quillon_${name} STATIC ${ARG_SOURCES})
    add_library(quillon::${name} ALIAS quillon_${name})
    target_include_directories(quillon_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(quillon_${name} PUBLIC ${ARG_DEPENDS})
    quillon_warnings(quillon_${name})
endfunction()
