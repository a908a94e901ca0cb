#include "app/views.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QMimeData>
#include <QPalette>
#include <QTextBlock>
#include <QTextCursor>

namespace quillon::app {
namespace {

QColor ToQColor(RgbColour c) {
    return QColor(c.red, c.green, c.blue);
}

constexpr int kTabCells = 8;

qreal TabStopDistance(const QFont& font) {
    return QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')) * kTabCells;
}

}  // namespace

QFont PaneFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    // Fallbacks in order: the system's monospace family, then monospace
    // CJK families (Noto's from fonts-noto-cjk first) for the kana and kanji.
    font.setFamilies({font.family(), QStringLiteral("Noto Sans Mono CJK JP"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("monospace")});
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    return font;
}

void SetCellTabStops(QPlainTextEdit& pane) {
    pane.setTabStopDistance(TabStopDistance(pane.font()));
}

void SetCellTabStops(QTextEdit& pane) {
    pane.setTabStopDistance(TabStopDistance(pane.font()));
}

CQueryView::CQueryView(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName("CQueryView");
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(PaneFont());
    SetCellTabStops(*this);
}

namespace {

// The first local file a drop carries, if any.
QString DroppedFile(const QMimeData* mime) {
    if (mime == nullptr || !mime->hasUrls()) {
        return {};
    }
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile()) {
            return url.toLocalFile();
        }
    }
    return {};
}

}  // namespace

void CQueryView::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
        return;
    }
    QPlainTextEdit::dragEnterEvent(event);
}

void CQueryView::dropEvent(QDropEvent* event) {
    const QString file = DroppedFile(event->mimeData());
    if (!file.isEmpty()) {
        event->acceptProposedAction();
        emit fileDropped(file);
        return;
    }
    QPlainTextEdit::dropEvent(event);
}

std::vector<std::string> CQueryView::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(blockCount()));
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        lines.push_back(block.text().toStdString());
    }
    return lines;
}

CAnsView::CAnsView(QWidget* parent) : QTextEdit(parent) {
    setObjectName("CAnsView");
    setLineWrapMode(QTextEdit::NoWrap);
    setAcceptRichText(false);
    setFont(PaneFont());
    SetCellTabStops(*this);
    SetColours(AnswerColours{});
}

void CAnsView::SetColours(const AnswerColours& colours) {
    m_colours = colours;
    QPalette p = palette();
    p.setColor(QPalette::Base, ToQColor(colours.background));
    p.setColor(QPalette::Text, ToQColor(colours.memo));
    setPalette(p);
    setTextColor(ToQColor(colours.memo));
}

void CAnsView::Append(const QString& text, RgbColour colour) {
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    QTextCharFormat format;
    format.setForeground(ToQColor(colour));
    cursor.insertText(text, format);
}

void CAnsView::OnAnswers(const AnswerBlock& block) {
    std::size_t start = 0;
    while (start < block.size()) {
        // Pieces that replace the pane go one at a time; the others are
        // gathered in runs of one colour.
        if (ReplacesText(block[start].hint)) {
            OnAnswer(block[start].hint, block[start].text);
            ++start;
            continue;
        }
        QTextCursor cursor(document());
        cursor.beginEditBlock();
        cursor.movePosition(QTextCursor::End);
        while (start < block.size() && !ReplacesText(block[start].hint)) {
            const RgbColour colour = m_colours.TextColour(block[start].hint);
            std::string run;
            for (; start < block.size() && !ReplacesText(block[start].hint) &&
                   m_colours.TextColour(block[start].hint) == colour;
                 ++start) {
                run += block[start].text;
            }
            QTextCharFormat format;
            format.setForeground(ToQColor(colour));
            cursor.insertText(QString::fromStdString(run), format);
        }
        cursor.endEditBlock();
    }
}

void CAnsView::OnAnswer(AnswerHint hint, const std::string& text) {
    const QString qtext = QString::fromStdString(text);
    switch (hint) {
        case AnswerHint::Header:
            clear();
            Append(qtext, m_colours.memo);
            Append("\n", m_colours.memo);
            break;
        case AnswerHint::HowToUse:
            clear();
            SetColours(m_colours);
            Append(qtext, m_colours.memo);
            break;
        default:
            Append(qtext, m_colours.TextColour(hint));
            break;
    }
}

}  // namespace quillon::app
