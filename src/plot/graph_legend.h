// GraphLegend: the graph's legend, a column beside the plot with one row per
// entry (a sample of the points and the line, and the text). A long text is
// shortened in the middle and shown whole as the row's tool tip, so no entry
// is ever cut down to nothing, however many there are.
#pragma once

#include <QScatterSeries>
#include <QScrollArea>
#include <QStringList>
#include <optional>
#include <vector>

class QVBoxLayout;
class QLabel;

namespace quillon::plot {

struct LegendEntry {
    QColor colour;
    std::optional<QScatterSeries::MarkerShape> marker;  // a points sample
    std::optional<Qt::PenStyle> line;                   // a curve sample
    QString text;
    QString toolTip;  // empty: the text
};

class GraphLegend : public QScrollArea {
    Q_OBJECT
  public:
    // The column's width in pixels: room for about 25 characters.
    static constexpr int kWidth = 270;

    explicit GraphLegend(QWidget* parent = nullptr);

    // Replaces the rows; note, when not empty, is shown under them.
    void SetEntries(const std::vector<LegendEntry>& entries, const QString& note = {});

    // The texts as the rows show them, and their tool tips, in order.
    QStringList ShownTexts() const;
    QStringList ToolTips() const;
    QString Note() const;

  private:
    QWidget* MakeRow(const LegendEntry& entry, QWidget* parent);

    QVBoxLayout* m_rows = nullptr;
    std::vector<QLabel*> m_texts;
    QLabel* m_note = nullptr;
};

}  // namespace quillon::plot
