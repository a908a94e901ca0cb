// The two panes: the data pane (the document's text) and the answer pane
// (the coloured report or the how-to-use text).
#pragma once

#include <QPlainTextEdit>
#include <QTextEdit>
#include <string>
#include <vector>

#include "app/answer_piece.h"
#include "records/answer_hint.h"

namespace quillon::app {

// The fixed-width font of both panes: the system's monospace font, with a
// monospace CJK font behind it for the Japanese characters, so the columns
// of data and of the iteration tables line up.
QFont PaneFont();
// Tab stops every eight character cells of the pane's font.
void SetCellTabStops(QPlainTextEdit& pane);
void SetCellTabStops(QTextEdit& pane);

// The data pane: plain text, no wrapping; lines are its blocks.
class CQueryView : public QPlainTextEdit {
    Q_OBJECT
  public:
    explicit CQueryView(QWidget* parent = nullptr);

    int LineCount() const { return blockCount(); }

  signals:
    // A file dropped on the pane, to be opened as the document.
    void fileDropped(const QString& path);

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  public:
    // The lines as the compute reads them, in UTF-8, without line ends.
    std::vector<std::string> Lines() const;

    // Print margins: 720 twips (half an inch) on each side.
    static constexpr double kPrintMarginInches = 0.5;
};

// The answer pane: replaces its text on the header and how-to-use kinds,
// appends every other kind in its colour.
class CAnsView : public QTextEdit {
    Q_OBJECT
  public:
    explicit CAnsView(QWidget* parent = nullptr);

    void SetColours(const AnswerColours& colours);
    void OnAnswer(AnswerHint hint, const std::string& text);
    // The pieces of a block in one edit of the document, consecutive pieces
    // of one colour in one insertion: a report of thousands of sets arrives
    // without a layout pass per piece.
    void OnAnswers(const AnswerBlock& block);
    const AnswerColours& Colours() const { return m_colours; }

  private:
    void Append(const QString& text, RgbColour colour);

    AnswerColours m_colours;
};

}  // namespace quillon::app
