// How the graph tells sets and methods apart: each set has its colour (12
// colours, then the same colours again with another marker shape) for its
// points, its curves and its residuals; each method has its line style.
#pragma once

#include <QColor>
#include <QPainter>
#include <QScatterSeries>
#include <string>

namespace quillon::plot {

inline constexpr int kSetColourCount = 12;

struct SetStyle {
    QColor colour;
    QScatterSeries::MarkerShape marker = QScatterSeries::MarkerShapeCircle;
};

// The style of a set by its 1-based number, so a set looks the same alone
// and among all sets.
SetStyle StyleOfSet(int setNumber);

// Solid for Marquardt and the linear fits, then dashes, dots and dash-dots
// for Expansion, Powell and Gradient-search.
Qt::PenStyle LineStyleOfMethod(const std::string& method);

// Draws a marker of the given shape centred on at, size pixels across, in
// the painter's pen and brush (the legend's samples).
void DrawMarker(QPainter& painter, QScatterSeries::MarkerShape shape, QPointF at, double size);

}  // namespace quillon::plot
