// Temporary folders and file helpers for the tests of src/doc.
#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace quillon::testing {

class TempFolder {
  public:
    TempFolder() {
        char name[] = "/tmp/quillon-doc-XXXXXX";
        m_path = mkdtemp(name);
    }
    ~TempFolder() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::string Path(const std::string& name) const { return m_path + "/" + name; }
    const std::string& Folder() const { return m_path; }
    // Names in the folder, sorted.
    std::string Listing() const {
        std::string names;
        std::vector<std::string> sorted;
        for (const auto& entry : std::filesystem::directory_iterator(m_path)) {
            sorted.push_back(entry.path().filename().string());
        }
        std::sort(sorted.begin(), sorted.end());
        for (const std::string& name : sorted) {
            names += name + " ";
        }
        return names;
    }

  private:
    std::string m_path;
};

inline std::string ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace quillon::testing
