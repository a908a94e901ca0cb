// The graph writer of the command line as a module of its own. The program
// loads it only when --plot asks for a graph, so a compute does not pay for
// loading the window toolkit.
#include <string>

#include "plot/graph_export.h"
#include "plot/plot_module.h"

extern "C" __attribute__((visibility("default"))) bool QuillonPlotRecordToFile(
    const quillon::ComputeRecord* record, int modelId, const char* formula, double fixedCDegrees,
    double bandLevel, int setNumber, const char* path, std::string* error) {
    quillon::plot::PlotModel model{modelId, fixedCDegrees, formula};
    model.bandLevel = bandLevel;
    return quillon::plot::PlotRecordToFile(*record, model, setNumber, path, *error);
}
