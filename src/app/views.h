// The two panes: the data pane (the document's text) and the answer pane
// (the coloured report or the how-to-use text).
#pragma once

#include <QPlainTextEdit>
#include <QTextEdit>
#include <string>
#include <vector>

#include "records/answer_hint.h"

namespace quillon::app {

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
    const AnswerColours& Colours() const { return m_colours; }

  private:
    void Append(const QString& text, RgbColour colour);

    AnswerColours m_colours;
};

}  // namespace quillon::app
