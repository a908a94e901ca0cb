// Writing a graph to a PNG, SVG or PDF file, from the window or, without a
// display, from the command line.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <string>
#include <vector>

#include "plot/plot_data.h"
#include "records/records.h"

class QWidget;

namespace quillon::plot {

enum class ExportFormat { Png, Svg, Pdf };

// The format a file name's suffix asks for (any case); none for others.
std::optional<ExportFormat> FormatOfPath(const QString& path);

// Renders the widget at its current size in the format, into bytes (for a
// caller that writes the file itself, atomically). False when the renderer
// fails.
bool RenderWidget(QWidget& widget, ExportFormat format, QByteArray& bytes);

// Renders the widget at its current size into the file. False with a reason
// when the suffix is not png, svg or pdf or the file cannot be written.
bool ExportWidget(QWidget& widget, const QString& path, QString& error);

// The graph of one set (1-based number), of all sets (0) or of the global
// fit (kGlobalFitSelection) of a compute,
// rendered offscreen at a fixed size into the file. Starts a Qt application
// on the offscreen platform when none runs.
bool PlotRecordToFile(const ComputeRecord& record, const PlotModel& model, int setNumber,
                      const std::string& path, std::string& error);

// The sets a graph shows for a selection: the one set with that number,
// every set for 0, or the global fit's sets for kGlobalFitSelection.
std::vector<SetPlotData> SelectSets(const ComputeRecord& record, const PlotModel& model,
                                    int setNumber);

// The title of a selection's graph: "Global fit" for the global fit, empty
// (the graph's usual title) for the others.
QString GraphTitle(int setNumber);

}  // namespace quillon::plot
