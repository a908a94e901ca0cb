#include "engine/compute.h"

#include <algorithm>
#include <iterator>
#include <memory>
#include <new>
#include <thread>
#include <utility>

#include "engine/data_grammar.h"
#include "engine/global_compute.h"
#include "engine/parameter_table.h"
#include "engine/reading_output.h"
#include "engine/set_jobs.h"
#include "engine/set_reader.h"
#include "engine/wave_report.h"
#include "fit/fit_nonlinear.h"
#include "fit/linear_fit.h"
#include "models/catalogue.h"
#include "models/formula_model.h"
#include "models/model_registry.h"
#include "records/point_team.h"

namespace quillon {
namespace {

// How far the reading may run ahead of the sets passed on, with several threads.
constexpr std::size_t kMaxPendingSets = 256;

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

// Where the fit of one set sends its report pieces and columns.
struct SetFitSinks {
    IComputeHost& host;
    std::vector<MessageRecord>& messages;
    ResultColumnList& fileColumns;
    ResultColumnList& tableColumns;
};

// Fits one gathered set with the session's settings and directive lists;
// the this-set directives are consumed as the nonlinear fit consumes them.
SetRecord FitGatheredSet(const DataSet& set, ComputeSession& session, const SetFitSinks& sinks,
                         INonlinearFitter& nonlinear);

// A worker's fit of one set read by a compute with several threads: the
// report pieces wait in the job until it is passed on.
void FitSetJob(SetJob& job) {
    DriverFitter driver(job.fit.messages);
    const SetFitSinks sinks{job.fit.host, job.fit.messages, job.fileColumns, job.tableColumns};
    job.record = FitGatheredSet(job.set, job.session, sinks, driver);
}

// The state of one compute, from the first line to the hand-over of the
// result columns. The reader calls back with each set read: with one thread
// the set is fitted at once (FitSet); with several it becomes a job that a
// worker fits while the reading goes on (GatherSet), and the calling thread
// passes the fitted jobs on in reading order (ReplayJobs).
class ComputeRun final : private ISetReaderEvents {
  public:
    ComputeRun(ComputeSession& session, IComputeHost& host, INonlinearFitter* nonlinear,
               unsigned jobCount)
        : m_session(session),
          m_settings(session.settings),
          m_sharing(session.settings),
          m_host(host),
          m_driver(m_record.messages),
          m_nonlinear(nonlinear != nullptr ? nonlinear : &m_driver),
          // Only the built-in driver is known to be safe to run on several
          // threads at once.
          m_jobCount(nonlinear == nullptr ? jobCount : 1U),
          m_reportsProgress(host.WantsProgress()),
          m_reader(*this,
                   IsNonlinear() ? DroppedPointsNote::ReportAtOnce : DroppedPointsNote::KeepInMemo),
          m_sequentialOutput(host, m_record.messages),
          m_output(m_jobCount > 1 ? static_cast<IReadingOutput&>(m_threadedOutput)
                                  : m_sequentialOutput),
          m_pointTeam(m_jobCount),
          m_jobs(m_jobCount, FitSetJob) {}

    ComputeRecord Run(std::span<const std::string_view> lines);

  private:
    bool IsNonlinear() const {
        return !m_settings.formula.empty() || !IsLinearModel(m_settings.modelId);
    }

    // What the reader hands on.
    void OnSetComplete(DataSet& set) override;
    void OnInvalidText(const std::string& text) override;
    void OnDirectiveLine(std::string_view line) override;
    void OnOptionLine(std::string_view line) override;

    // Reads the lines from first on, up to a chunk, their point lines
    // scanned beforehand on the point team; returns the next line to read.
    std::size_t ReadScannedAhead(std::span<const std::string_view> lines, std::size_t first);
    void FitSet(DataSet& set);
    void GatherSet(DataSet& set);
    void AddSetRecord(SetRecord record);
    void EndThreadedReading();
    void ReplayJobs(std::size_t keepPending);
    void StopJobs();
    void ReplayJob(SetJob& job, std::vector<InitialValueDirective>& carried);
    bool ProceedToSet(int setNumber);
    void RunGlobalFit();
    void Finish();
    void FinishStopped();

    ComputeSession& m_session;
    const FitSettings& m_settings;
    SharingState m_sharing;  // which parameters each set shares in the global fit
    IComputeHost& m_host;
    ComputeRecord m_record;
    DriverFitter m_driver;
    INonlinearFitter* m_nonlinear;
    unsigned m_jobCount;
    bool m_reportsProgress;
    int m_setCount = 0;  // counted ahead only for a host that shows progress
    bool m_stopped = false;
    SetReader m_reader;

    // The error texts of the reading go to one of the two outputs, picked
    // by the thread count: straight to the host, or held back until the set
    // read after them is passed on.
    SequentialOutput m_sequentialOutput;
    ThreadedOutput m_threadedOutput;
    IReadingOutput& m_output;

    // The threads lent to a set large enough to share its points; declared
    // before the jobs so it outlives every fit.
    PointTeamScope m_pointTeam;
    // With several threads the workers fit each set as soon as it is read,
    // while the reading goes on.
    SetJobPool m_jobs;
    std::size_t m_replayed = 0;  // the jobs passed on to the host so far
    bool m_readingDone = false;
    // The scans of a chunk of lines read within a large set.
    std::vector<PointScan> m_scans;
    // The points a set must have before its lines are scanned ahead.
    static constexpr std::size_t kScanAheadFrom = 65536;
    // The this-set directives a flat set left for the next one.
    std::vector<InitialValueDirective> m_carried;

    ResultColumnList m_fileColumns;
    ResultColumnList m_tableColumns;
    ResultColumnList m_globalColumns;  // after the table and the wave report
    std::vector<std::string> m_labelNames;
    std::vector<double> m_labelValues;
};

std::size_t ComputeRun::ReadScannedAhead(std::span<const std::string_view> lines,
                                         std::size_t first) {
    // The point lines of the next chunk are scanned on the point team, then
    // every line is read in order as before, with its scan at hand.
    constexpr std::size_t kChunk = 65536;
    const std::size_t end = std::min(lines.size(), first + kChunk);
    m_scans.resize(end - first);
    ForPointBlocks(end - first, 4096, 2, [&](std::size_t from, std::size_t to) {
        // The room for the block's points is mapped here too, so the
        // reading in order below does not stop for page faults.
        m_reader.PrefaultRoom(from, to);
        std::string buffer;
        for (std::size_t k = from; k < to; ++k) {
            const std::string_view line = lines[first + k];
            if (ClassifyLine(line) == LineClass::Point) {
                m_scans[k] = ScanPointLineOf(line, buffer);
            }
        }
    });
    std::size_t i = first;
    for (; i < end && !m_stopped; ++i) {
        m_reader.ReadLine(lines[i], &m_scans[i - first]);
    }
    return i;
}

ComputeRecord ComputeRun::Run(std::span<const std::string_view> lines) {
    m_session.header = ComputeHeader(m_settings);
    m_session.directives.thisSet.clear();
    m_session.directives.laterSets = m_settings.startDirectives;
    const WaitCursor wait(m_host);
    if (m_reportsProgress) {
        m_setCount = CountComputeSets(lines);
    }
    m_host.SendAnswer(AnswerHint::Header, m_session.header);
    m_reader.SetLinesAhead(lines.size());
    for (std::size_t i = 0; i < lines.size() && !m_stopped;) {
        if (m_reader.PendingPoints() >= kScanAheadFrom && PointTeamThreads() > 1) {
            i = ReadScannedAhead(lines, i);
        } else {
            m_reader.ReadLine(lines[i]);
            ++i;
        }
    }
    if (!m_stopped) {
        m_reader.Finish();
    }
    if (m_jobCount > 1) {
        EndThreadedReading();
    }
    if (!m_stopped) {
        RunGlobalFit();
    }
    if (m_stopped) {
        FinishStopped();
    } else {
        Finish();
    }
    return std::move(m_record);
}

void ComputeRun::OnSetComplete(DataSet& set) {
    m_sharing.RecordSet();
    if (m_jobCount > 1) {
        GatherSet(set);
    } else {
        FitSet(set);
    }
}

void ComputeRun::OnInvalidText(const std::string& text) {
    m_output.ReportError(text);
}

void ComputeRun::OnDirectiveLine(std::string_view line) {
    if (const auto parsed = ParseDirectiveLine(line)) {
        if (!parsed->error.empty()) {
            // The value still counts; only the bounds are dropped.
            m_output.ReportError("Bound invalid! (" + parsed->error + ") " + std::string(line) +
                                 "\n");
        }
        if (const std::string error = m_sharing.Apply(*parsed, line); !error.empty()) {
            m_output.ReportError(error);
        }
        if (!parsed->directive.hasValue) {
            return;  // "<<a[i] shared>>" and "<<a[i] local>>" steer the global fit only
        }
        auto& list =
            parsed->laterSets ? m_session.directives.laterSets : m_session.directives.thisSet;
        list.push_back(parsed->directive);
    }
}

void ComputeRun::OnOptionLine(std::string_view line) {
    if (const auto rate = ParseFramingLine(line)) {
        m_session.settings.framingRate = *rate;
    }
}

// Fits a set as soon as it is read (one thread).
void ComputeRun::FitSet(DataSet& set) {
    if (!ProceedToSet(set.setNumber)) {
        return;
    }
    const SetFitSinks sinks{m_host, m_record.messages, m_fileColumns, m_tableColumns};
    SetRecord record = FitGatheredSet(set, m_session, sinks, *m_nonlinear);
    record.points = std::move(set.points);
    AddSetRecord(std::move(record));
}

// Asks the host whether to go on before a set is fitted, and tells it which
// set comes next.
bool ComputeRun::ProceedToSet(int setNumber) {
    if (m_host.StopRequested()) {
        m_stopped = true;
        return false;
    }
    if (m_reportsProgress) {
        // The count runs the same reader, so it cannot fall short; the set
        // number is the floor all the same.
        m_host.ReportProgress(setNumber, std::max(m_setCount, setNumber));
    }
    return true;
}

void ComputeRun::AddSetRecord(SetRecord record) {
    // The label is kept whatever the outcome, so a failed fit still adds one.
    if (m_settings.output.paramTable && m_settings.method != FitMethod::All) {
        m_labelNames.push_back(record.label.name);
        m_labelValues.push_back(record.label.value);
    }
    m_record.sets.push_back(std::move(record));
}

// Takes the set as it stands, with the settings and directive lists it sees,
// as a job that a worker fits while the reading goes on. The nonlinear fit
// consumes the this-set directives; the next set starts without them unless
// this one's fit leaves them (see ReplayJob).
void ComputeRun::GatherSet(DataSet& set) {
    auto job = std::make_unique<SetJob>();
    job->before = m_threadedOutput.TakePending();
    job->set.points = std::move(set.points);
    job->set.weighted = set.weighted;
    job->set.memo = set.memo;
    job->set.setNumber = set.setNumber;
    job->session.settings = m_session.settings;
    job->session.directives = m_session.directives;
    job->thisSetRead = m_session.directives.thisSet;
    if (IsNonlinear()) {
        m_session.directives.thisSet.clear();
    }
    m_jobs.Add(std::move(job));
    // The sets already fitted are passed on while the reading goes on, and
    // the reading waits once it is far ahead of the fitting, so a text of
    // many sets is never held whole in fitted form.
    ReplayJobs(kMaxPendingSets);
}

// The reading is over: the sets still pending are passed on as they finish,
// then the texts read after the last set.
void ComputeRun::EndThreadedReading() {
    m_readingDone = true;
    m_jobs.Close();
    if (!m_stopped) {
        ReplayJobs(0);
    }
    m_jobs.Clear();
    if (m_stopped) {
        return;  // nothing read after the first set not fitted is passed on
    }
    // The texts read after the last set, and the this-set directives as the
    // sequential reading leaves them.
    m_threadedOutput.ReplayTo(m_host, m_record.messages);
    auto& thisSet = m_session.directives.thisSet;
    thisSet.insert(thisSet.begin(), m_carried.begin(), m_carried.end());
}

// Passes the fitted sets on in reading order: those finished, then, while
// more than keepPending remain, the next ones as they finish.
void ComputeRun::ReplayJobs(std::size_t keepPending) {
    for (std::size_t count = m_jobs.Size(); m_replayed < count; count = m_jobs.Size()) {
        if (count - m_replayed <= keepPending && !m_jobs.IsDone(m_replayed)) {
            return;
        }
        if (!ProceedToSet(m_jobs.At(m_replayed).set.setNumber)) {
            StopJobs();
            return;
        }
        ReplayJob(m_jobs.WaitFor(m_replayed), m_carried);
        m_jobs.Release(m_replayed);
        ++m_replayed;
    }
}

// The host asked to stop: the sets being fitted finish, and those finished
// are passed on up to the first one not fitted. A stop that comes when the
// reading is over and every set is fitted leaves the compute complete.
void ComputeRun::StopJobs() {
    m_jobs.Halt();
    const std::size_t count = m_jobs.Size();
    for (; m_replayed < count && m_jobs.IsDone(m_replayed); ++m_replayed) {
        ReplayJob(m_jobs.At(m_replayed), m_carried);
        m_jobs.Release(m_replayed);
    }
    m_stopped = !m_readingDone || m_replayed < count;
}

// Passes one fitted set on to the host. A nonlinear fit that ends before the
// directives are applied (flat data) leaves them for the next set: that set
// is fitted again with them, as the sequential run would have fitted it.
void ComputeRun::ReplayJob(SetJob& job, std::vector<InitialValueDirective>& carried) {
    if (!carried.empty() && IsNonlinear()) {
        job.RefitWithCarriedDirectives(carried, FitSetJob);
    }
    carried = IsNonlinear() ? job.session.directives.thisSet : std::vector<InitialValueDirective>{};
    job.before.ReplayTo(m_host, m_record.messages);
    job.fit.ReplayTo(m_host, m_record.messages);
    std::move(job.fileColumns.begin(), job.fileColumns.end(), std::back_inserter(m_fileColumns));
    std::move(job.tableColumns.begin(), job.tableColumns.end(), std::back_inserter(m_tableColumns));
    job.record.points = std::move(job.set.points);
    AddSetRecord(std::move(job.record));
    job.set = {};
    job.fileColumns = {};
    job.tableColumns = {};
}

// The joint fit of the sets that share parameters, after every set was
// fitted alone; a stop during it stops the compute.
void ComputeRun::RunGlobalFit() {
    const GlobalComputeInput input{m_settings, m_sharing, m_record.sets, m_host, m_jobCount};
    GlobalComputeOutput output = RunGlobalCompute(input, m_record.messages, m_globalColumns);
    m_stopped = output.stopped;
    m_record.global = std::move(output.record);
}

void ComputeRun::Finish() {
    if (!m_tableColumns.empty() && !m_labelNames.empty() && !m_labelValues.empty()) {
        // A formula's parameters are named as a nonlinear model's.
        const int tableModelId = m_settings.formula.empty() ? m_settings.modelId : -1;
        AppendParameterTable(tableModelId, m_tableColumns, m_labelNames, m_labelValues,
                             m_fileColumns);
        if (const ModelEntry* entry = FindModel(tableModelId);
            entry != nullptr && entry->waveReport) {
            AppendWaveReport(m_tableColumns, m_labelNames, m_labelValues, m_settings.framingRate,
                             m_fileColumns);
        }
    }
    m_tableColumns.clear();
    m_labelNames.clear();
    m_labelValues.clear();
    std::move(m_globalColumns.begin(), m_globalColumns.end(), std::back_inserter(m_fileColumns));
    m_globalColumns.clear();
    if (!m_fileColumns.empty()) {
        m_host.ExportResults(m_fileColumns);
        m_fileColumns.clear();
    }
}

// A stopped compute says so and hands over nothing: a parameter table or
// wave report of some sets only, or a result file of them, would pass for
// the whole.
void ComputeRun::FinishStopped() {
    m_tableColumns.clear();
    m_labelNames.clear();
    m_labelValues.clear();
    m_fileColumns.clear();
    const std::string text(kComputeStoppedText);
    m_host.SendAnswer(AnswerHint::Warning, text);
    m_record.messages.push_back({"warning", text});
    m_record.stopped = true;
}

void FitNonlinearSet(const DataSet& set, ComputeSession& session, const SetFitSinks& sinks,
                     INonlinearFitter& nonlinear, SetRecord& record) {
    if (set.points.size() < 2) {
        sinks.host.SendAnswer(AnswerHint::Error, "Invalid number of data points!");
        sinks.messages.push_back({"error", "Invalid number of data points!"});
        return;
    }
    try {
        // A large set's columns are mapped and filled on the point team.
        const std::size_t count = set.points.size();
        std::vector<double> x, y, w;
        for (std::vector<double>* column : {&x, &y, &w}) {
            ReserveOnTeam(*column, count);
            column->resize(count);
        }
        ForPointBlocks(count, [&](std::size_t first, std::size_t last) {
            for (std::size_t i = first; i < last; ++i) {
                const DataPoint& p = set.points[i];
                x[i] = p.X;
                y[i] = p.Y;
                w[i] = 1.0 / p.SD;
            }
        });
        const NonlinearSetInput input{x, y, w, set.setNumber, set.weighted};
        record.fits =
            nonlinear.FitSet(input, session, sinks.host, sinks.fileColumns, sinks.tableColumns);
    } catch (const std::bad_alloc&) {
        const std::string text = "Memory allocation error in Calc NL!";
        sinks.host.ShowMessage(text, MessageIcon::Error);
        sinks.messages.push_back({"error", text});
    }
}

SetRecord FitGatheredSet(const DataSet& set, ComputeSession& session, const SetFitSinks& sinks,
                         INonlinearFitter& nonlinear) {
    sinks.host.SendAnswer(AnswerHint::Memo, set.memo);
    SetRecord record;
    record.setNumber = set.setNumber;
    record.memo = set.memo;
    record.label = DeriveSetLabel(set.memo, set.setNumber);
    // The points are moved into the record when the set is passed on (FitSet,
    // ReplayJob), so a large set is not held twice.
    record.weighted = set.weighted;

    const FitSettings& settings = session.settings;
    const LinearFitContext context{settings, sinks.host, sinks.fileColumns, sinks.tableColumns};
    const ModelEntry* entry = settings.formula.empty() ? FindModel(settings.modelId) : nullptr;
    const ClosedForm form = entry != nullptr ? entry->closedForm : ClosedForm::None;
    if (form == ClosedForm::Line) {
        record.fits.push_back(LinearFitAB(set.points, set.weighted, set.setNumber, context));
    } else if (form == ClosedForm::ThroughOrigin) {
        record.fits.push_back(
            LinearFitThroughOrigin(set.points, set.weighted, set.setNumber, context));
    } else {
        FitNonlinearSet(set, session, sinks, nonlinear, record);
    }
    return record;
}

std::vector<std::string_view> LineViews(const std::vector<std::string>& lines) {
    return {lines.begin(), lines.end()};
}

}  // namespace

std::string ComputeHeader(int modelId) {
    std::string header = "Model function: Y =";
    header += ModelDisplayString(modelId);
    header += '\n';
    return header;
}

std::string ComputeHeader(const FitSettings& settings) {
    if (settings.formula.empty()) {
        return ComputeHeader(settings.modelId);
    }
    return "Model function: Y =" + FormulaDisplayString(settings.formula) + "\n";
}

unsigned ResolveJobCount(int jobs) {
    if (jobs > 0) {
        return static_cast<unsigned>(jobs);
    }
    return std::max(1U, std::thread::hardware_concurrency());
}

ComputeRecord ComputeParameters(std::span<const std::string_view> lines, ComputeSession& session,
                                IComputeHost& host, INonlinearFitter* nonlinear, int jobs) {
    ComputeRun run(session, host, nonlinear, ResolveJobCount(jobs));
    return run.Run(lines);
}

ComputeRecord ComputeParameters(const std::vector<std::string>& lines, ComputeSession& session,
                                IComputeHost& host, INonlinearFitter* nonlinear, int jobs) {
    return ComputeParameters(LineViews(lines), session, host, nonlinear, jobs);
}

}  // namespace quillon
