#include "engine/set_reader.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/compute.h"
#include "engine/data_grammar.h"
#include "records/point_team.h"

namespace quillon {
namespace {

constexpr const char* kDataInvalid = "Data invalid!\n";

// The reading alone: counts the sets the reader completes.
class SetCounter final : public ISetReaderEvents {
  public:
    void OnSetComplete(DataSet& /*set*/) override { ++count; }
    int count = 0;
};

}  // namespace

void SetReader::ReadLine(std::string_view line, const PointScan* scanned) {
    if (m_linesAhead > 0) {
        --m_linesAhead;  // the lines after this one
    }
    switch (ClassifyLine(line)) {
        case LineClass::Blank:
            OnBlankLine();
            break;
        case LineClass::SingleCharacter:
            OnSingleCharacter();
            break;
        case LineClass::Memo:
            OnMemoLine(line);
            break;
        case LineClass::Directive:
            m_events.OnDirectiveLine(line);
            break;
        case LineClass::Option:
            m_events.OnOptionLine(line);
            break;
        case LineClass::Point:
            OnPointLine(line, scanned);
            break;
    }
}

void SetReader::Finish() {
    if (m_set.points.size() >= 2) {
        CompleteSet({});
    }
    m_set.memo.clear();
    m_set.points.clear();
}

void SetReader::OnBlankLine() {
    // A single point does not make a set; the next point lines join it.
    if (m_set.points.size() >= 2) {
        CompleteSet({});
    }
}

void SetReader::OnSingleCharacter() {
    ReportInvalid(m_set.memo + kDataInvalid);
}

void SetReader::OnMemoLine(std::string_view line) {
    const std::size_t n = m_set.points.size();
    if (n == 0) {
        m_set.memo += line;
        m_set.memo += '\n';
    } else if (n <= 2) {
        // Too few points for a set ended by "//": they are dropped, and so is
        // the "//" line. For the linear models the note stays in the memo and
        // shows at the head of the next fitted set.
        m_set.memo += kDataInvalid;
        m_set.points.clear();
        if (m_note == DroppedPointsNote::ReportAtOnce) {
            ReportInvalid(m_set.memo);
        }
    } else {
        CompleteSet(std::string(line) + '\n');
    }
}

PointScan ScanPointLineOf(std::string_view line, std::string& buffer) {
    buffer = line;
    buffer += '\n';
    return ScanPointLine(buffer.c_str());
}

void SetReader::OnPointLine(std::string_view line, const PointScan* scanned) {
    const PointScan scan = scanned != nullptr ? *scanned : ScanPointLineOf(line, m_lineBuffer);
    if (scan.converted < 3) {
        m_lineBuffer = line;
        m_lineBuffer += '\n';
        ReportInvalid(m_set.memo + kDataInvalid + m_lineBuffer + "\n");
        return;
    }
    DataPoint point{scan.x, scan.y, 1.0};
    if (scan.converted == 5 && scan.sd != 0.0) {
        point.SD = scan.sd;
    } else {
        m_set.weighted = false;
    }
    // From this many points on a set reserves room for every line ahead.
    constexpr std::size_t kReserveAheadFrom = 65536;
    std::vector<DataPoint>& points = m_set.points;
    if (points.size() == points.capacity() && points.size() >= kReserveAheadFrom &&
        m_linesAhead > 0) {
        points.reserve(points.size() + 1 + m_linesAhead);
    }
    points.push_back(point);
}

void SetReader::PrefaultRoom(std::size_t firstAhead, std::size_t lastAhead) {
    std::vector<DataPoint>& points = m_set.points;
    const std::size_t from = std::min(points.capacity(), points.size() + firstAhead);
    const std::size_t to = std::min(points.capacity(), points.size() + lastAhead);
    if (to > from) {
        PrefaultForWriting(points.data() + from, (to - from) * sizeof(DataPoint));
    }
}

// Numbers the set, hands it on and starts the next one with nextMemo.
void SetReader::CompleteSet(std::string nextMemo) {
    ++m_set.setNumber;
    m_events.OnSetComplete(m_set);
    m_set.weighted = true;
    m_set.memo = std::move(nextMemo);
    m_set.points.clear();
}

// The memo goes with the report and the next set starts without it.
void SetReader::ReportInvalid(const std::string& text) {
    m_events.OnInvalidText(text);
    m_set.memo.clear();
}

int CountComputeSets(std::span<const std::string_view> lines) {
    // The compute's own reader with no fit; where the note of dropped points
    // goes moves no set boundary.
    SetCounter counter;
    SetReader reader(counter, DroppedPointsNote::KeepInMemo);
    for (const std::string_view line : lines) {
        reader.ReadLine(line);
    }
    reader.Finish();
    return counter.count;
}

int CountComputeSets(const std::vector<std::string>& lines) {
    const std::vector<std::string_view> views(lines.begin(), lines.end());
    return CountComputeSets(views);
}

}  // namespace quillon
