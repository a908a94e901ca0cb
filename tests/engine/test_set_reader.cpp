// The set reader: the one copy of the reading rules behind the compute and
// the set count. The count must be the number of sets the compute reports,
// whatever the text, the model and the threads.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/compute.h"
#include "engine/set_reader.h"
#include "support/recording_host.h"

namespace quillon {
namespace {

constexpr int kLinear = 0;
constexpr int kBiasedSine = 12;

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string_view::npos;
         start = end + 1, end = text.find('\n', start)) {
        lines.emplace_back(text.substr(start, end - start));
    }
    lines.emplace_back(text.substr(start));
    return lines;
}

// Writes every event down as one line of text.
class EventLog : public ISetReaderEvents {
  public:
    void OnSetComplete(DataSet& set) override {
        events.push_back("set " + std::to_string(set.setNumber) + " [" + set.memo + "] " +
                         std::to_string(set.points.size()) +
                         (set.weighted ? " weighted" : " unweighted"));
        set.points.clear();  // as the compute moves them out
    }
    void OnInvalidText(const std::string& text) override { events.push_back("invalid " + text); }
    void OnDirectiveLine(std::string_view line) override {
        events.push_back("directive " + std::string(line));
    }
    void OnOptionLine(std::string_view line) override {
        events.push_back("option " + std::string(line));
    }

    std::vector<std::string> events;
};

std::vector<std::string> Read(std::string_view text,
                              DroppedPointsNote note = DroppedPointsNote::KeepInMemo) {
    EventLog log;
    SetReader reader(log, note);
    for (const std::string& line : SplitLines(text)) {
        reader.ReadLine(line);
    }
    reader.Finish();
    return log.events;
}

using Events = std::vector<std::string>;

TEST(SetReader, SetsEndAtABlankLineAMemoLineAndTheEnd) {
    EXPECT_EQ(Read("// a\n0 1\n1 2\n\n0 1\n1 2\n2 3\n// b\n// c\n0 1\n1 2\n0 1\n"),
              (Events{"set 1 [// a\n] 2 unweighted", "set 2 [] 3 unweighted",
                      "set 3 [// b\n// c\n] 3 unweighted"}));
}

TEST(SetReader, OnePointDoesNotEndAtABlankLine) {
    EXPECT_EQ(Read("0 1\n\n\n1 2\n"), (Events{"set 1 [] 2 unweighted"}));
}

TEST(SetReader, DroppedPointsLeaveTheirNoteInTheMemoOrReportItAtOnce) {
    const std::string text = "// a\n0 1\n1 2\n// b\n0 1\n1 2\n2 3\n";
    EXPECT_EQ(Read(text, DroppedPointsNote::KeepInMemo),
              (Events{"set 1 [// a\nData invalid!\n] 3 unweighted"}));
    EXPECT_EQ(Read(text, DroppedPointsNote::ReportAtOnce),
              (Events{"invalid // a\nData invalid!\n", "set 1 [] 3 unweighted"}));
}

TEST(SetReader, InvalidLinesReportTheMemoAndEmptyIt) {
    EXPECT_EQ(Read("// a\nx\n// b\n0 1\nabc def\n1 2\n"),
              (Events{"invalid // a\nData invalid!\n", "invalid // b\nData invalid!\nabc def\n\n",
                      "set 1 [] 2 unweighted"}));
}

TEST(SetReader, APointWithoutANonzeroSdMakesItsSetUnweighted) {
    EXPECT_EQ(Read("0 1 0.1\n1 2\n\n0 1 0.1\n1 2 0.2\n\n0 1 0\n1 2 0.2\n"),
              (Events{"set 1 [] 2 unweighted", "set 2 [] 2 weighted", "set 3 [] 2 unweighted"}));
}

TEST(SetReader, DirectiveAndOptionLinesAreHandedOnInOrder) {
    EXPECT_EQ(Read("<a[0]=1>\n0 1\n* framing 25\n1 2\n<<a[1]=2>>\n\n"),
              (Events{"directive <a[0]=1>", "option * framing 25", "directive <<a[1]=2>>",
                      "set 1 [] 2 unweighted"}));
}

// Texts whose set boundaries are easy to get wrong, with their set counts.
struct CountCase {
    const char* text;
    int sets;
};

constexpr CountCase kCountCases[] = {
    {"", 0},
    {"\n\n\n", 0},
    {"// memo only\n// and more\n", 0},
    {"0 1\n1 2", 1},
    {"0 1\n1 2\n\n\n\n0 1\n1 2\n", 2},
    {"0 1\n\n1 2\n", 1},
    {"0 1\n// m\n0 1\n1 2\n", 1},
    {"0 1\n1 2\n// m\n0 1\n1 2\n2 3\n", 1},
    {"0 1\n1 2\n2 3\n// m\n0 1\n1 2\n", 2},
    {"0 1\n1 2\n2 3\n//\n", 1},
    {"0 1\n1 2\n//\n//\n0 1\n1 2\n2 3\n4 5", 1},
    {"0 1\nx\n1 2\n", 1},
    {"0 1\nabc def\n1 2\n", 1},
    {"0 1\n\xC3\xA9\n1 2\n", 1},
    {"10\n11\n12\n", 0},
    {"0,1,\n1,2,\n", 1},
    {"1 2 3 4\n5 6\n", 1},
    {"0 1 0\n1 2 0\n\n0 1\n", 1},
    {"<a[0]=1>\n0 1\n<<a[1]=2>>\n1 2\n* framing 25\n2 3\n// m\n0 1\n1 2", 2},
    {"// a\n0 1\n1 2\n2 3\n// b\n// c\n0 1\n1 2\n\n", 2},
    {"0 1\n1 2\n\n0 1\n1 2\n// m\n0 1\n1 2\n2 3\n\n0 1\n", 2},
    {"0 1\n1 2\n2 3\n\n\n// a\n0 1\n1 2\n2 3\n// b\n0 1\n1 2\n2 3\n", 3},
    {"0 1\n// a\n0 1\n// b\n0 1\n1 2\n", 1},
};

TEST(SetReader, CountIsTheNumberOfSetsTheComputeReports) {
    for (const CountCase& c : kCountCases) {
        const std::vector<std::string> lines = SplitLines(c.text);
        const int count = CountComputeSets(lines);
        EXPECT_EQ(count, c.sets) << c.text;
        for (const int modelId : {kLinear, kBiasedSine}) {
            for (const int jobs : {1, 3}) {
                ComputeSession session;
                session.settings.modelId = modelId;
                session.settings.convergence.n_cut = 50;
                testing::RecordingHost host;
                const ComputeRecord record = ComputeParameters(lines, session, host, nullptr, jobs);
                ASSERT_EQ(static_cast<int>(record.sets.size()), count)
                    << "model " << modelId << ", jobs " << jobs << ":\n"
                    << c.text;
                for (int i = 0; i < count; ++i) {
                    EXPECT_EQ(record.sets[static_cast<std::size_t>(i)].setNumber, i + 1);
                }
            }
        }
    }
}

// Large sets reserve room for the lines ahead: the sets, their points and
// the invalid lines are the same as without the hint, also when the hint
// overstates or understates what comes.
class KeptPoints : public ISetReaderEvents {
  public:
    void OnSetComplete(DataSet& set) override { sets.push_back(std::move(set.points)); }
    void OnInvalidText(const std::string& text) override { invalid.push_back(text); }
    std::vector<std::vector<DataPoint>> sets;
    std::vector<std::string> invalid;
};

TEST(SetReader, LinesAheadChangeNoSetNorPoint) {
    std::vector<std::string> lines{"// big"};
    for (int i = 0; i < 150000; ++i) {
        lines.push_back(std::to_string(i) + " " + std::to_string(i % 7) + " 0.5");
        if (i == 70000) {
            lines.emplace_back("not a point");
        }
    }
    lines.emplace_back("");
    for (int i = 0; i < 70000; ++i) {
        lines.push_back(std::to_string(i) + " 1");
    }
    const auto read = [&lines](std::size_t ahead, bool hint) {
        KeptPoints kept;
        SetReader reader(kept, DroppedPointsNote::ReportAtOnce);
        if (hint) {
            reader.SetLinesAhead(ahead);
        }
        for (const std::string& line : lines) {
            reader.ReadLine(line);
        }
        reader.Finish();
        return kept;
    };
    const KeptPoints plain = read(0, false);
    ASSERT_EQ(plain.sets.size(), 2U);
    EXPECT_EQ(plain.sets[0].size(), 150000U);
    EXPECT_EQ(plain.invalid.size(), 1U);
    for (const std::size_t ahead : {lines.size(), lines.size() * 3, std::size_t{10}}) {
        const KeptPoints hinted = read(ahead, true);
        ASSERT_EQ(hinted.sets.size(), plain.sets.size()) << ahead;
        for (std::size_t k = 0; k < plain.sets.size(); ++k) {
            ASSERT_EQ(hinted.sets[k].size(), plain.sets[k].size());
            for (std::size_t i = 0; i < plain.sets[k].size(); ++i) {
                ASSERT_EQ(hinted.sets[k][i].X, plain.sets[k][i].X);
                ASSERT_EQ(hinted.sets[k][i].Y, plain.sets[k][i].Y);
                ASSERT_EQ(hinted.sets[k][i].SD, plain.sets[k][i].SD);
            }
        }
        EXPECT_EQ(hinted.invalid, plain.invalid);
    }
    // With the exact count the first set took its room once: no more than
    // the lines there were.
    EXPECT_LE(read(lines.size(), true).sets[0].capacity(), lines.size());
}

}  // namespace
}  // namespace quillon
