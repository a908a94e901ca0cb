#include "plot/graph_legend.h"

#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QVBoxLayout>

#include "plot/graph_style.h"

namespace quillon::plot {
namespace {

constexpr int kSampleWidth = 30;
constexpr int kSampleHeight = 14;
constexpr int kRowSpacing = 6;
// Left for the text of a row: the column less its sample, the spacing, the
// margins and a vertical scroll bar.
constexpr int kTextWidth = GraphLegend::kWidth - kSampleWidth - kRowSpacing - 16 - 18;

QPixmap Sample(const LegendEntry& entry) {
    // Drawn at twice the pixels: exported PNGs are rendered at twice the
    // widget's size, and high-density screens show it sharp too.
    constexpr double kScale = 2.0;
    QPixmap pixmap(static_cast<int>(kSampleWidth * kScale),
                   static_cast<int>(kSampleHeight * kScale));
    pixmap.setDevicePixelRatio(kScale);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const double middle = kSampleHeight / 2.0;
    if (entry.line) {
        painter.setPen(QPen(entry.colour, 2.0, *entry.line));
        painter.drawLine(QPointF(1, middle), QPointF(kSampleWidth - 1, middle));
    }
    if (entry.marker) {
        painter.setPen(QPen(entry.colour, 1.0));
        painter.setBrush(entry.colour);
        DrawMarker(painter, *entry.marker, QPointF(kSampleWidth / 2.0, middle), 7.0);
    }
    return pixmap;
}

}  // namespace

GraphLegend::GraphLegend(QWidget* parent) : QScrollArea(parent) {
    setObjectName("GraphLegend");
    setFixedWidth(kWidth);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setBackgroundRole(QPalette::Base);
    SetEntries({});
}

QWidget* GraphLegend::MakeRow(const LegendEntry& entry, QWidget* parent) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kRowSpacing);
    auto* sample = new QLabel(row);
    sample->setPixmap(Sample(entry));
    sample->setFixedSize(kSampleWidth, kSampleHeight);
    auto* text = new QLabel(row);
    text->setText(QFontMetrics(text->font()).elidedText(entry.text, Qt::ElideMiddle, kTextWidth));
    row->setToolTip(entry.toolTip.isEmpty() ? entry.text : entry.toolTip);
    layout->addWidget(sample);
    layout->addWidget(text, 1);
    m_texts.push_back(text);
    return row;
}

void GraphLegend::SetEntries(const std::vector<LegendEntry>& entries, const QString& note) {
    // A new inner widget each time: the old rows go with the old one.
    auto* inner = new QWidget;
    m_rows = new QVBoxLayout(inner);
    m_rows->setContentsMargins(8, 8, 8, 8);
    m_rows->setSpacing(3);
    m_texts.clear();
    for (const LegendEntry& entry : entries) {
        m_rows->addWidget(MakeRow(entry, inner));
    }
    m_note = new QLabel(note, inner);
    m_note->setWordWrap(true);
    m_note->setVisible(!note.isEmpty());
    m_rows->addSpacing(6);
    m_rows->addWidget(m_note);
    m_rows->addStretch(1);
    setWidget(inner);  // deletes the previous inner widget
    setVisible(!entries.empty());
}

QStringList GraphLegend::ShownTexts() const {
    QStringList texts;
    for (const QLabel* label : m_texts) {
        texts << label->text();
    }
    return texts;
}

QStringList GraphLegend::ToolTips() const {
    QStringList tips;
    for (const QLabel* label : m_texts) {
        tips << label->parentWidget()->toolTip();
    }
    return tips;
}

QString GraphLegend::Note() const {
    return m_note->text();
}

}  // namespace quillon::plot
