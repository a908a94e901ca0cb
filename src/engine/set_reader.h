// The reading rules of the data text, in one place for the compute and the
// set count: which lines make a set, where a set ends, and which text is
// reported as invalid. The reader consumes the lines one by one and calls
// back; it fits nothing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "engine/data_grammar.h"
#include "records/records.h"

namespace quillon {

// What a set reader hands on, in reading order.
class ISetReaderEvents {
  public:
    virtual ~ISetReaderEvents() = default;
    // A set is complete: numbered from 1, with its memo, its points and
    // whether every point gave a nonzero SD. The receiver may move the points
    // out; the reader starts the next set after the call.
    virtual void OnSetComplete(DataSet& set) = 0;
    // Text to report as an error: "Data invalid!" with the memo read before
    // it, and the line itself for a point line that does not read.
    virtual void OnInvalidText(const std::string& /*text*/) {}
    // A "<" line and a "*" line, as read.
    virtual void OnDirectiveLine(std::string_view /*line*/) {}
    virtual void OnOptionLine(std::string_view /*line*/) {}
};

// What becomes of the "Data invalid!" note when one or two points before a
// "//" line are dropped.
enum class DroppedPointsNote {
    KeepInMemo,    // it stays in the memo and heads the next set (linear models)
    ReportAtOnce,  // it is reported at once with the memo before it (nonlinear)
};

// The set boundaries: a set ends at a blank line with at least two points,
// at a "//" line with at least three (one or two are dropped with "Data
// invalid!", and so is the "//" line), and at the end of the text with at
// least two. A point line counts when its scan reads at least X and Y; it is
// weighted when it reads a nonzero SD too. "//" lines before the first point
// of a set make its memo. A line of a single character, and a point line
// that does not read, are reported as invalid with the memo, which they
// empty; the points read so far stay.
class SetReader {
  public:
    SetReader(ISetReaderEvents& events, DroppedPointsNote note) : m_events(events), m_note(note) {}
    SetReader(const SetReader&) = delete;
    SetReader& operator=(const SetReader&) = delete;

    // The number of lines still to come, the next one included, when the
    // caller knows it: a set that grows large then takes room for all of
    // them at once instead of doubling and copying its points again and
    // again. Room that stays unused is never written.
    void SetLinesAhead(std::size_t count) { m_linesAhead = count; }
    // One line of the data text, without its line end.
    void ReadLine(std::string_view line) { ReadLine(line, nullptr); }
    // As above, with the scan ScanPointLineOf made of the line beforehand
    // (used only when the line is a point line); nullptr scans it here.
    void ReadLine(std::string_view line, const PointScan* scanned);
    // Maps the pages of the room a large set holds for the points of the
    // lines firstAhead .. lastAhead-1 counted from the next one, so writing
    // them does not fault; while no line is read, threads may call it at
    // once for lines of their own.
    void PrefaultRoom(std::size_t firstAhead, std::size_t lastAhead);
    // The points of the set being read so far.
    std::size_t PendingPoints() const { return m_set.points.size(); }
    // The end of the text: the points read since the last set make one when
    // there are at least two.
    void Finish();

  private:
    void OnBlankLine();
    void OnSingleCharacter();
    void OnMemoLine(std::string_view line);
    void OnPointLine(std::string_view line, const PointScan* scanned);
    void CompleteSet(std::string nextMemo);
    void ReportInvalid(const std::string& text);

    ISetReaderEvents& m_events;
    DroppedPointsNote m_note;
    DataSet m_set;
    std::string m_lineBuffer;
    std::size_t m_linesAhead = 0;
};

// The scan of a point line as the reader makes it: the line with its line
// end; buffer is the caller's scratch, so threads can scan lines at once.
PointScan ScanPointLineOf(std::string_view line, std::string& buffer);

}  // namespace quillon
