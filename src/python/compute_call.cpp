#include "python/compute_call.h"

#include <charconv>
#include <cmath>

#include "engine/compute.h"
#include "engine/sharing_state.h"
#include "models/catalogue.h"
#include "models/formula_parser.h"

namespace quillon {
namespace {

// Records what a compute sends, in order, as the command line prints it.
class ArrayHost : public IComputeHost {
  public:
    void SendAnswer(AnswerHint hint, const std::string& text) override {
        answers.emplace_back(hint, hint == AnswerHint::Header ? text + "\n" : text);
    }
    void ShowMessage(const std::string& text, MessageIcon /*icon*/) override {
        answers.emplace_back(AnswerHint::Error, text);
        messages.push_back(text);
    }
    void ExportResults(const ResultColumnList& /*columns*/) override {}
    void BeginWaitCursor() override {}
    void EndWaitCursor() override {}

    std::vector<std::pair<AnswerHint, std::string>> answers;
    std::vector<std::string> messages;
};

// The shortest text that reads back as the same double.
void AppendDigits(std::string& line, double value) {
    char text[32];
    const auto end = std::to_chars(text, text + sizeof text, value).ptr;
    line.append(text, end);
}

std::string SetMemo(std::size_t index) {
    return "// set " + std::to_string(index + 1) + "\n";
}

bool IsOutcome(AnswerHint hint) {
    return hint == AnswerHint::Result || hint == AnswerHint::Warning || hint == AnswerHint::Error;
}

// The answers of one set: its report, and per fit the log sent just before
// the fit's outcome (the outcome text begins with the fit's message).
void SplitSetAnswers(const std::vector<std::pair<AnswerHint, std::string>>& answers,
                     std::size_t begin, std::size_t end, ArraySetResult& result) {
    std::size_t fit = 0;
    std::string lastMemo;
    for (std::size_t i = begin; i < end; ++i) {
        const auto& [hint, text] = answers[i];
        result.report += text;
        if (hint == AnswerHint::Memo) {
            lastMemo = text;
            continue;
        }
        if (fit < result.fits.size() && IsOutcome(hint) &&
            text.rfind(result.fits[fit].message, 0) == 0) {
            const bool isLog = lastMemo.find("Method: ") != std::string::npos;
            result.logs.push_back(isLog ? lastMemo : std::string());
            lastMemo.clear();
            ++fit;
        } else if (hint == AnswerHint::Error) {
            result.messages.push_back(text);
        }
    }
    result.logs.resize(result.fits.size());
}

std::vector<InitialValueDirective> StartDirectives(const ArrayFitOptions& options) {
    std::map<int, InitialValueDirective> byIndex;
    auto at = [&byIndex](int index) -> InitialValueDirective& {
        InitialValueDirective& d = byIndex[index];
        d.index = index;
        return d;
    };
    for (const auto& [index, value] : options.p0) {
        at(index).value = value;
    }
    for (const auto& [index, value] : options.fixed) {
        at(index).value = value;
        at(index).fixed = true;
    }
    for (const auto& [index, range] : options.bounds) {
        InitialValueDirective& d = at(index);
        d.bounds = range;
        d.hasValue = options.p0.count(index) != 0 || options.fixed.count(index) != 0;
    }
    std::vector<InitialValueDirective> list;
    for (const auto& entry : byIndex) {
        list.push_back(entry.second);
    }
    return list;
}

}  // namespace

std::optional<FitMethod> MethodByName(const std::string& name) {
    auto lower = [](std::string s) {
        for (char& c : s) {
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        }
        return s;
    };
    for (int id = 0; id < kMethodCount; ++id) {
        const auto method = static_cast<FitMethod>(id);
        if (lower(std::string(MethodName(method))) == lower(name)) {
            return method;
        }
    }
    return std::nullopt;
}

std::optional<std::string> CheckArraySet(const ArraySet& set) {
    if (set.x.size() != set.y.size()) {
        return "x and y differ in length";
    }
    if (!set.sd.empty() && set.sd.size() != set.x.size()) {
        return "sd and x differ in length";
    }
    if (set.x.size() < 2) {
        return "a set needs at least 2 points";
    }
    return std::nullopt;
}

std::optional<std::string> CheckOptions(const ArrayFitOptions& options) {
    if (!IsValidModelId(options.modelId)) {
        return "model must be an id 0..42 or a formula";
    }
    if (!options.formula.empty()) {
        const FormulaCompileResult compiled = CompileFormula(options.formula);
        if (!compiled.program) {
            return "formula: " + FormulaErrorText(compiled.error);
        }
    }
    for (const auto& [index, range] : options.bounds) {
        if (std::isnan(range.lower) || std::isnan(range.upper) || range.lower > range.upper) {
            return "bounds of parameter " + std::to_string(index) + ": lower above upper";
        }
    }
    for (const auto* map : {&options.p0, &options.fixed}) {
        for (const auto& entry : *map) {
            if (entry.first < 0 || entry.first > 999) {
                return "parameter index " + std::to_string(entry.first) + " outside 0..999";
            }
        }
    }
    if (!options.share.empty()) {
        FitSettings settings;
        settings.modelId = options.modelId;
        settings.formula = options.formula;
        const int count = SettingsParamCount(settings);
        for (const int index : options.share) {
            if (index < 0 || index >= count) {
                return "share: parameter " + std::to_string(index) + " outside 0.." +
                       std::to_string(count - 1);
            }
        }
    }
    if (options.bandLevel && !(*options.bandLevel > 0.0 && *options.bandLevel < 100.0)) {
        return "bands must be a percent above 0 and below 100";
    }
    const ConvergenceSettings& c = options.convergence;
    if (c.n_cut < 10 || !(c.chi_cut > 0.0) || !(c.f_ER > 0.0) || !(c.ChisqDof_Lim > 0.0)) {
        return "n_cut must be at least 10 and chi_cut, f_er and chisqdof_lim positive";
    }
    return std::nullopt;
}

std::vector<std::string> ArraySetLines(const std::vector<ArraySet>& sets) {
    std::vector<std::string> lines;
    for (std::size_t s = 0; s < sets.size(); ++s) {
        const ArraySet& set = sets[s];
        std::string memo = SetMemo(s);
        memo.pop_back();
        lines.push_back(std::move(memo));
        for (std::size_t i = 0; i < set.x.size(); ++i) {
            std::string line;
            AppendDigits(line, set.x[i]);
            line += '\t';
            AppendDigits(line, set.y[i]);
            if (!set.sd.empty()) {
                line += '\t';
                AppendDigits(line, set.sd[i]);
            }
            lines.push_back(std::move(line));
        }
        // An empty line ends a set of any size (a memo line only one of three
        // points or more).
        lines.emplace_back();
    }
    return lines;
}

std::vector<ArraySetResult> FitArraySets(const std::vector<ArraySet>& sets,
                                         const ArrayFitOptions& options, std::string& header,
                                         std::optional<GlobalFitRecord>& global) {
    ComputeSession session;
    session.settings.modelId = options.modelId;
    session.settings.formula = options.formula;
    session.settings.method = options.method;
    session.settings.convergence = options.convergence;
    session.settings.fixedCDegrees = options.fixedCDegrees;
    session.settings.statistics = options.statistics;
    session.settings.bandLevel = options.bandLevel;
    session.settings.startDirectives = StartDirectives(options);
    session.settings.searchStarts = options.searchStarts;
    session.settings.flagSuspect = options.searchStarts || options.convergence.precise;
    session.settings.sharedParameters = options.share;
    ArrayHost host;
    const ComputeRecord record =
        ComputeParameters(ArraySetLines(sets), session, host, nullptr, options.jobs);
    global = record.global;

    std::vector<ArraySetResult> results(sets.size());
    for (const SetRecord& set : record.sets) {
        const std::size_t index = std::stoul(set.memo.substr(7)) - 1;  // "// set N"
        if (index < results.size()) {
            results[index].fits = set.fits;
        }
    }
    // The answers from one set's memo line to the next one's.
    std::vector<std::size_t> starts(sets.size() + 1, host.answers.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < host.answers.size() && next < sets.size(); ++i) {
        const auto& [hint, text] = host.answers[i];
        if (hint == AnswerHint::Header) {
            header = text;
        } else if (hint == AnswerHint::Memo && text == SetMemo(next)) {
            starts[next++] = i;
        }
    }
    for (std::size_t s = 0; s < sets.size(); ++s) {
        std::size_t end = host.answers.size();
        for (std::size_t t = s + 1; t < sets.size(); ++t) {
            if (starts[t] < end && starts[t] > starts[s]) {
                end = starts[t];
                break;
            }
        }
        if (starts[s] < host.answers.size()) {
            SplitSetAnswers(host.answers, starts[s], end, results[s]);
        }
    }
    return results;
}

}  // namespace quillon
