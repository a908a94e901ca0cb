// The entry of the graph writer module that the command line loads for
// --plot: the graph of one set (1-based) or all sets (0) of a compute into a
// PNG, SVG or PDF file; false with the reason in error.
#pragma once

#include <string>

#include "records/records.h"

namespace quillon::plot {

inline constexpr const char* kPlotModuleFile = "quillon-plot.so";
inline constexpr const char* kPlotModuleEntry = "QuillonPlotRecordToFile";

// The selection of a graph that shows the global fit: every set of the joint
// fit with its joint curve.
inline constexpr int kGlobalFitSelection = -1;
// Its name in the set selector and the title of its graph.
inline constexpr const char* kGlobalFitTitle = "Global fit";

// formula is the fitted formula, or empty for the catalogue model modelId;
// bandLevel the percent of the confidence bands drawn, 0 for none.
using PlotModuleEntry = bool (*)(const ComputeRecord* record, int modelId, const char* formula,
                                 double fixedCDegrees, double bandLevel, int setNumber,
                                 const char* path, std::string* error);

}  // namespace quillon::plot
