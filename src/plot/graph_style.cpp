#include "plot/graph_style.h"

#include <QPolygonF>
#include <array>
#include <cmath>
#include <numbers>

namespace quillon::plot {
namespace {

// Twelve colours that stay apart on white and from one another, also for
// the common forms of colour blindness in their first eight.
constexpr std::array<QRgb, kSetColourCount> kSetColours{
    0x1f77b4, 0xd62728, 0x2ca02c, 0xff7f0e, 0x9467bd, 0x8c564b,
    0xe377c2, 0x17becf, 0xbcbd22, 0x000000, 0x393b79, 0x7f7f7f,
};

constexpr std::array<QScatterSeries::MarkerShape, 6> kMarkers{
    QScatterSeries::MarkerShapeCircle,   QScatterSeries::MarkerShapeRectangle,
    QScatterSeries::MarkerShapeTriangle, QScatterSeries::MarkerShapeRotatedRectangle,
    QScatterSeries::MarkerShapeStar,     QScatterSeries::MarkerShapePentagon,
};

// A regular star or polygon of `corners` outer corners; inner radius 0 for
// a plain polygon.
QPolygonF StarPolygon(QPointF at, double outer, double inner, int corners) {
    QPolygonF polygon;
    const int steps = inner > 0.0 ? 2 * corners : corners;
    for (int i = 0; i < steps; ++i) {
        const double r = inner > 0.0 && i % 2 == 1 ? inner : outer;
        const double angle = -std::numbers::pi / 2 + 2 * std::numbers::pi * i / steps;
        polygon << at + QPointF(r * std::cos(angle), r * std::sin(angle));
    }
    return polygon;
}

}  // namespace

SetStyle StyleOfSet(int setNumber) {
    const int index = std::max(setNumber - 1, 0);
    return {QColor(kSetColours[static_cast<std::size_t>(index % kSetColourCount)]),
            kMarkers[static_cast<std::size_t>(index / kSetColourCount) % kMarkers.size()]};
}

Qt::PenStyle LineStyleOfMethod(const std::string& method) {
    if (method == "Expansion") {
        return Qt::DashLine;
    }
    if (method == "Powell") {
        return Qt::DotLine;
    }
    if (method == "Gradient-search") {
        return Qt::DashDotLine;
    }
    return Qt::SolidLine;
}

void DrawMarker(QPainter& painter, QScatterSeries::MarkerShape shape, QPointF at, double size) {
    const double r = size / 2.0;
    switch (shape) {
        case QScatterSeries::MarkerShapeRectangle:
            painter.drawRect(QRectF(at.x() - r, at.y() - r, size, size));
            break;
        case QScatterSeries::MarkerShapeRotatedRectangle:
            painter.drawPolygon(StarPolygon(at, r * 1.2, 0.0, 4));
            break;
        case QScatterSeries::MarkerShapeTriangle:
            painter.drawPolygon(StarPolygon(at, r * 1.15, 0.0, 3));
            break;
        case QScatterSeries::MarkerShapeStar:
            painter.drawPolygon(StarPolygon(at, r * 1.2, r * 0.5, 5));
            break;
        case QScatterSeries::MarkerShapePentagon:
            painter.drawPolygon(StarPolygon(at, r * 1.1, 0.0, 5));
            break;
        default:
            painter.drawEllipse(at, r, r);
            break;
    }
}

}  // namespace quillon::plot
