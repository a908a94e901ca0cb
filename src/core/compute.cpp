#include "core/compute.h"

#include <new>

#include "core/data_grammar.h"
#include "core/parameter_table.h"
#include "core/wave_report.h"
#include "fit/fit_nonlinear.h"
#include "fit/linear_fit.h"
#include "models/catalogue.h"

namespace quillon {
namespace {

constexpr const char* kDataInvalid = "Data invalid!\n";
constexpr int kWaveModelId = 12;  // the biased period sine gets the wave report

// The nonlinear fit driver behind the compute.
class DriverFitter : public INonlinearFitter {
  public:
    explicit DriverFitter(std::vector<MessageRecord>& messages) : m_messages(messages) {}
    std::vector<FitRecord> FitSet(const NonlinearSetInput& input, ComputeSession& session,
                                  IComputeHost& host, ResultColumnList& fileColumns,
                                  ResultColumnList& tableColumns) override {
        const NonlinearFitContext context{session.settings, session.directives, host,
                                          fileColumns,      tableColumns,       m_messages};
        return FitNonlinear(input.x.data(), input.y.data(), input.w.data(),
                            static_cast<int>(input.x.size()), input.setNumber, input.weighted,
                            context);
    }

  private:
    std::vector<MessageRecord>& m_messages;
};

// The state of one compute, from the first line to the hand-over of the
// result columns.
class ComputeRun {
  public:
    ComputeRun(ComputeSession& session, IComputeHost& host, INonlinearFitter* nonlinear)
        : m_session(session),
          m_settings(session.settings),
          m_host(host),
          m_driver(m_record.messages),
          m_nonlinear(nonlinear != nullptr ? nonlinear : &m_driver) {}

    ComputeRecord Run(const std::vector<std::string>& lines);

  private:
    bool IsNonlinear() const { return !IsLinearModel(m_settings.modelId); }
    std::size_t PointCount() const { return m_set.points.size(); }

    void ReadLine(const std::string& line);
    void OnBlankLine();
    void OnSingleCharacter();
    void OnMemoLine(const std::string& line);
    void OnDirectiveLine(const std::string& line);
    void OnOptionLine(const std::string& line);
    void OnPointLine(const std::string& line);

    void FitSet();
    void FitNonlinearSet(SetRecord& record);
    void StartNextSet(std::string memo);
    void ReportError(const std::string& text);
    void Finish();

    ComputeSession& m_session;
    const FitSettings& m_settings;
    IComputeHost& m_host;
    ComputeRecord m_record;
    DriverFitter m_driver;
    INonlinearFitter* m_nonlinear;

    DataSet m_set;
    std::string m_lineBuffer;
    ResultColumnList m_fileColumns;
    ResultColumnList m_tableColumns;
    std::vector<std::string> m_labelNames;
    std::vector<double> m_labelValues;
};

ComputeRecord ComputeRun::Run(const std::vector<std::string>& lines) {
    m_session.header = ComputeHeader(m_settings.modelId);
    m_session.directives.thisSet.clear();
    m_session.directives.laterSets.clear();
    const WaitCursor wait(m_host);
    m_host.SendAnswer(AnswerHint::Header, m_session.header);
    for (const std::string& line : lines) {
        ReadLine(line);
    }
    if (PointCount() >= 2) {
        FitSet();
    }
    m_set.memo.clear();
    m_set.points.clear();
    Finish();
    return std::move(m_record);
}

void ComputeRun::ReadLine(const std::string& line) {
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
            OnDirectiveLine(line);
            break;
        case LineClass::Option:
            OnOptionLine(line);
            break;
        case LineClass::Point:
            OnPointLine(line);
            break;
    }
}

void ComputeRun::OnBlankLine() {
    // A single point does not make a set; the next point lines join it.
    if (PointCount() >= 2) {
        FitSet();
        StartNextSet({});
    }
}

void ComputeRun::OnSingleCharacter() {
    ReportError(m_set.memo + kDataInvalid);
    m_set.memo.clear();
}

void ComputeRun::OnMemoLine(const std::string& line) {
    const std::size_t n = PointCount();
    if (n == 0) {
        m_set.memo += line;
        m_set.memo += '\n';
    } else if (n <= 2) {
        // Too few points for a set ended by "//": they are dropped, and so is
        // the "//" line. For the linear models the note stays in the memo and
        // shows at the head of the next fitted set.
        m_set.memo += kDataInvalid;
        m_set.points.clear();
        if (IsNonlinear()) {
            ReportError(m_set.memo);
            m_set.memo.clear();
        }
    } else {
        FitSet();
        StartNextSet(line + '\n');
    }
}

void ComputeRun::OnDirectiveLine(const std::string& line) {
    if (const auto parsed = ParseDirectiveLine(line)) {
        auto& list =
            parsed->laterSets ? m_session.directives.laterSets : m_session.directives.thisSet;
        list.push_back(parsed->directive);
    }
}

void ComputeRun::OnOptionLine(const std::string& line) {
    if (const auto rate = ParseFramingLine(line)) {
        m_session.settings.framingRate = *rate;
    }
}

void ComputeRun::OnPointLine(const std::string& line) {
    m_lineBuffer = line;
    m_lineBuffer += '\n';
    const PointScan scan = ScanPointLine(m_lineBuffer.c_str());
    if (scan.converted < 3) {
        ReportError(m_set.memo + kDataInvalid + m_lineBuffer + "\n");
        m_set.memo.clear();
        return;
    }
    DataPoint point{scan.x, scan.y, 1.0};
    if (scan.converted == 5 && scan.sd != 0.0) {
        point.SD = scan.sd;
    } else {
        m_set.weighted = false;
    }
    m_set.points.push_back(point);
}

void ComputeRun::StartNextSet(std::string memo) {
    m_set.weighted = true;
    m_set.memo = std::move(memo);
    m_set.points.clear();
}

void ComputeRun::FitSet() {
    ++m_set.setNumber;
    m_host.SendAnswer(AnswerHint::Memo, m_set.memo);
    SetRecord& record = m_record.sets.emplace_back();
    record.setNumber = m_set.setNumber;
    record.memo = m_set.memo;
    record.label = DeriveSetLabel(m_set.memo, m_set.setNumber);

    const LinearFitContext context{m_settings, m_host, m_fileColumns, m_tableColumns};
    if (m_settings.modelId == kLinearModelId) {
        record.fits.push_back(LinearFitAB(m_set.points, m_set.weighted, m_set.setNumber, context));
    } else if (m_settings.modelId == kThroughOriginModelId) {
        record.fits.push_back(
            LinearFitThroughOrigin(m_set.points, m_set.weighted, m_set.setNumber, context));
    } else {
        FitNonlinearSet(record);
    }
    // The label is kept whatever the outcome, so a failed fit still adds one.
    if (m_settings.output.paramTable && m_settings.methodId != kMethodAll) {
        m_labelNames.push_back(record.label.name);
        m_labelValues.push_back(record.label.value);
    }
}

void ComputeRun::FitNonlinearSet(SetRecord& record) {
    if (PointCount() < 2) {
        ReportError("Invalid number of data points!");
        return;
    }
    try {
        std::vector<double> x, y, w;
        x.reserve(PointCount());
        y.reserve(PointCount());
        w.reserve(PointCount());
        for (const DataPoint& p : m_set.points) {
            x.push_back(p.X);
            y.push_back(p.Y);
            w.push_back(1.0 / p.SD);
        }
        const NonlinearSetInput input{x, y, w, m_set.setNumber, m_set.weighted};
        record.fits = m_nonlinear->FitSet(input, m_session, m_host, m_fileColumns, m_tableColumns);
    } catch (const std::bad_alloc&) {
        const std::string text = "Memory allocation error in Calc NL!";
        m_host.ShowMessage(text, MessageIcon::Error);
        m_record.messages.push_back({"error", text});
    }
}

void ComputeRun::ReportError(const std::string& text) {
    m_host.SendAnswer(AnswerHint::Error, text);
    m_record.messages.push_back({"error", text});
}

void ComputeRun::Finish() {
    if (!m_tableColumns.empty() && !m_labelNames.empty() && !m_labelValues.empty()) {
        AppendParameterTable(m_settings.modelId, m_tableColumns, m_labelNames, m_labelValues,
                             m_fileColumns);
        if (m_settings.modelId == kWaveModelId) {
            AppendWaveReport(m_tableColumns, m_labelNames, m_labelValues, m_settings.framingRate,
                             m_fileColumns);
        }
    }
    m_tableColumns.clear();
    m_labelNames.clear();
    m_labelValues.clear();
    if (!m_fileColumns.empty()) {
        m_host.ExportResults(m_fileColumns);
        m_fileColumns.clear();
    }
}

}  // namespace

std::string ComputeHeader(int modelId) {
    std::string header = "Model function: Y =";
    header += ModelDisplayString(modelId);
    header += '\n';
    return header;
}

ComputeRecord ComputeParameters(const std::vector<std::string>& lines, ComputeSession& session,
                                IComputeHost& host, INonlinearFitter* nonlinear) {
    ComputeRun run(session, host, nonlinear);
    return run.Run(lines);
}

}  // namespace quillon
