#include "engine/compute.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <thread>

#include "engine/data_grammar.h"
#include "engine/parameter_table.h"
#include "engine/wave_report.h"
#include "fit/fit_nonlinear.h"
#include "fit/linear_fit.h"
#include "models/catalogue.h"

namespace quillon {
namespace {

constexpr const char* kDataInvalid = "Data invalid!\n";
constexpr int kWaveModelId = 12;  // the biased period sine gets the wave report
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

// A host that keeps the texts and message boxes sent to it, to pass them on
// later, in the same order, to the real host on the calling thread.
class DeferredHost final : public IComputeHost {
  public:
    void SendAnswer(AnswerHint hint, const std::string& text) override {
        m_events.push_back({Event::kAnswer, hint, MessageIcon::Information, text});
    }
    void ShowMessage(const std::string& text, MessageIcon icon) override {
        m_events.push_back({Event::kMessage, AnswerHint::Memo, icon, text});
    }
    void Beep() override { m_events.push_back({Event::kBeep, AnswerHint::Memo, {}, {}}); }
    // Only the compute itself exports, at its end, never a set's fit.
    void ExportResults(const ResultColumnList&) override {}

    void ReplayTo(IComputeHost& host) const {
        for (const Event& event : m_events) {
            switch (event.kind) {
                case Event::kAnswer:
                    host.SendAnswer(event.hint, event.text);
                    break;
                case Event::kMessage:
                    host.ShowMessage(event.text, event.icon);
                    break;
                case Event::kBeep:
                    host.Beep();
                    break;
            }
        }
    }

  private:
    struct Event {
        enum Kind { kAnswer, kMessage, kBeep } kind;
        AnswerHint hint;
        MessageIcon icon;
        std::string text;
    };
    std::vector<Event> m_events;
};

// Report pieces held back until they can be passed on in reading order.
struct DeferredOutput {
    DeferredHost host;
    std::vector<MessageRecord> messages;

    void ReplayTo(IComputeHost& target, std::vector<MessageRecord>& targetMessages) {
        host.ReplayTo(target);
        std::move(messages.begin(), messages.end(), std::back_inserter(targetMessages));
        *this = {};
    }
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

// One set read by a compute with several threads: its input as it stood when
// the set ended, the texts read before it, and what its fit yields.
struct SetJob {
    DeferredOutput before;  // "Data invalid!" texts read since the previous set
    DataSet set;
    ComputeSession session;  // the settings and directive lists the set sees

    // What the fit yields, filled by one worker.
    DeferredOutput fit;
    ResultColumnList fileColumns;
    ResultColumnList tableColumns;
    SetRecord record;
    bool done = false;  // guarded by the pool's lock

    void Fit() {
        DriverFitter driver(fit.messages);
        const SetFitSinks sinks{fit.host, fit.messages, fileColumns, tableColumns};
        record = FitGatheredSet(set, session, sinks, driver);
    }
    // Fits again with directives a previous set left unconsumed ahead of its
    // own, as the sequential reading would have handed them over.
    void RefitWithCarriedDirectives(const std::vector<InitialValueDirective>& carried) {
        auto& thisSet = session.directives.thisSet;
        thisSet.insert(thisSet.begin(), carried.begin(), carried.end());
        fit = {};
        fileColumns.clear();
        tableColumns.clear();
        Fit();
    }
};

// The sets of a compute with several threads. Workers start on the first
// set and fit the sets while the reading goes on, each as soon as it is
// read; the calling thread adds them, then takes them back in reading order.
class SetJobPool {
  public:
    explicit SetJobPool(unsigned threadCount) : m_threadCount(threadCount) {}
    SetJobPool(const SetJobPool&) = delete;
    SetJobPool& operator=(const SetJobPool&) = delete;
    ~SetJobPool() { Halt(); }

    // Queues a set for fitting (calling thread only).
    void Add(std::unique_ptr<SetJob> job) {
        bool wake = false;
        {
            const std::lock_guard lock(m_mutex);
            m_jobs.push_back(std::move(job));
            wake = m_idleWorkers > 0;
        }
        // Waking only a worker that waits spares a system call per set.
        if (wake) {
            m_wake.notify_one();
        }
        if (m_workers.empty()) {
            m_workers.reserve(m_threadCount);
            for (unsigned t = 0; t < m_threadCount; ++t) {
                m_workers.emplace_back([this] { Work(); });
            }
        }
    }
    // No more sets come: the workers end when the queue is empty.
    void Close() {
        {
            const std::lock_guard lock(m_mutex);
            m_closed = true;
        }
        m_wake.notify_all();
    }
    // No new set starts; returns when the sets being fitted are finished.
    void Halt() {
        {
            const std::lock_guard lock(m_mutex);
            m_halted = true;
        }
        m_wake.notify_all();
        m_workers.clear();  // joins
    }
    std::size_t Size() const {
        const std::lock_guard lock(m_mutex);
        return m_jobs.size();
    }
    SetJob& At(std::size_t i) {
        const std::lock_guard lock(m_mutex);
        return *m_jobs[i];
    }
    bool IsDone(std::size_t i) const {
        const std::lock_guard lock(m_mutex);
        return m_jobs[i]->done;
    }
    // Waits until job i is fitted.
    SetJob& WaitFor(std::size_t i) {
        std::unique_lock lock(m_mutex);
        m_callerWaits = true;
        m_finished.wait(lock, [this, i] { return m_jobs[i]->done; });
        m_callerWaits = false;
        return *m_jobs[i];
    }
    // Frees a job that has been passed on; no worker touches it any more.
    void Release(std::size_t i) {
        std::unique_ptr<SetJob> released;
        {
            const std::lock_guard lock(m_mutex);
            released = std::move(m_jobs[i]);
        }
    }
    void Clear() {
        Halt();
        m_jobs.clear();
    }

  private:
    void Work() {
        for (;;) {
            SetJob* job = nullptr;
            {
                std::unique_lock lock(m_mutex);
                ++m_idleWorkers;
                m_wake.wait(lock,
                            [this] { return m_halted || m_closed || m_next < m_jobs.size(); });
                --m_idleWorkers;
                if (m_halted || m_next >= m_jobs.size()) {
                    return;  // halted, or closed with every set taken
                }
                job = m_jobs[m_next++].get();
            }
            job->Fit();
            bool wake = false;
            {
                // Marked under the lock: once it is seen done the job may be
                // freed, so the worker does not touch it after this.
                const std::lock_guard lock(m_mutex);
                job->done = true;
                wake = m_callerWaits;
            }
            if (wake) {
                m_finished.notify_all();
            }
        }
    }

    unsigned m_threadCount;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_finished;
    // A deque keeps each job where it is while more are added.
    std::deque<std::unique_ptr<SetJob>> m_jobs;
    std::size_t m_next = 0;
    int m_idleWorkers = 0;
    bool m_callerWaits = false;
    bool m_closed = false;
    bool m_halted = false;
    std::vector<std::jthread> m_workers;
};

unsigned ResolveJobCount(int jobs) {
    if (jobs > 0) {
        return static_cast<unsigned>(jobs);
    }
    return std::max(1U, std::thread::hardware_concurrency());
}

// The state of one compute, from the first line to the hand-over of the
// result columns.
class ComputeRun {
  public:
    ComputeRun(ComputeSession& session, IComputeHost& host, INonlinearFitter* nonlinear,
               unsigned jobCount)
        : m_session(session),
          m_settings(session.settings),
          m_host(host),
          m_driver(m_record.messages),
          m_nonlinear(nonlinear != nullptr ? nonlinear : &m_driver),
          // Only the built-in driver is known to be safe to run on several
          // threads at once.
          m_jobCount(nonlinear == nullptr ? jobCount : 1U),
          m_reportsProgress(host.WantsProgress()),
          m_out(&host),
          m_outMessages(&m_record.messages),
          m_jobs(m_jobCount) {
        if (m_jobCount > 1) {
            m_out = &m_pending.host;
            m_outMessages = &m_pending.messages;
        }
    }

    ComputeRecord Run(std::span<const std::string_view> lines);

  private:
    bool IsNonlinear() const { return !IsLinearModel(m_settings.modelId); }
    std::size_t PointCount() const { return m_set.points.size(); }

    void ReadLine(std::string_view line);
    void OnBlankLine();
    void OnSingleCharacter();
    void OnMemoLine(std::string_view line);
    void OnDirectiveLine(std::string_view line);
    void OnOptionLine(std::string_view line);
    void OnPointLine(std::string_view line);

    void FitSet();
    void GatherSet();
    void AddSetRecord(SetRecord record);
    void FitGatheredJobs();
    void ReplayJobs(std::size_t keepPending);
    void StopJobs();
    void ReplayJob(SetJob& job, std::vector<InitialValueDirective>& carried);
    void StartNextSet(std::string memo);
    void ReportError(const std::string& text);
    bool ProceedToSet(int setNumber);
    void Finish();
    void FinishStopped();

    ComputeSession& m_session;
    const FitSettings& m_settings;
    IComputeHost& m_host;
    ComputeRecord m_record;
    DriverFitter m_driver;
    INonlinearFitter* m_nonlinear;
    unsigned m_jobCount;
    bool m_reportsProgress;
    int m_setCount = 0;  // counted ahead only for a host that shows progress
    bool m_stopped = false;

    // With several threads the sets are gathered while reading and fitted
    // after it; the texts read meanwhile wait in m_pending.
    IComputeHost* m_out;
    std::vector<MessageRecord>* m_outMessages;
    DeferredOutput m_pending;
    SetJobPool m_jobs;
    std::size_t m_replayed = 0;  // the jobs passed on to the host so far
    bool m_readingDone = false;
    // The this-set directives a flat set left for the next one.
    std::vector<InitialValueDirective> m_carried;

    DataSet m_set;
    std::string m_lineBuffer;
    ResultColumnList m_fileColumns;
    ResultColumnList m_tableColumns;
    std::vector<std::string> m_labelNames;
    std::vector<double> m_labelValues;
};

ComputeRecord ComputeRun::Run(std::span<const std::string_view> lines) {
    m_session.header = ComputeHeader(m_settings.modelId);
    m_session.directives.thisSet.clear();
    m_session.directives.laterSets.clear();
    const WaitCursor wait(m_host);
    if (m_reportsProgress) {
        m_setCount = CountComputeSets(lines);
    }
    m_host.SendAnswer(AnswerHint::Header, m_session.header);
    for (const std::string_view line : lines) {
        ReadLine(line);
        if (m_stopped) {
            break;
        }
    }
    if (!m_stopped && PointCount() >= 2) {
        FitSet();
    }
    m_set.memo.clear();
    m_set.points.clear();
    if (m_jobCount > 1) {
        FitGatheredJobs();
    }
    if (m_stopped) {
        FinishStopped();
    } else {
        Finish();
    }
    return std::move(m_record);
}

void ComputeRun::ReadLine(std::string_view line) {
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

void ComputeRun::OnMemoLine(std::string_view line) {
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
        StartNextSet(std::string(line) + '\n');
    }
}

void ComputeRun::OnDirectiveLine(std::string_view line) {
    if (const auto parsed = ParseDirectiveLine(line)) {
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

void ComputeRun::OnPointLine(std::string_view line) {
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
    if (m_jobCount > 1) {
        GatherSet();
        return;
    }
    if (!ProceedToSet(m_set.setNumber)) {
        return;
    }
    const SetFitSinks sinks{m_host, m_record.messages, m_fileColumns, m_tableColumns};
    SetRecord record = FitGatheredSet(m_set, m_session, sinks, *m_nonlinear);
    record.points = std::move(m_set.points);
    m_set.points.clear();
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
        // The count is the reading rules' own; it cannot fall short, but
        // stays at least the set number should the two ever differ.
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
// for fitting after the reading. The nonlinear fit consumes the this-set
// directives; the next set starts without them unless this one's fit leaves
// them (see ReplayJob).
void ComputeRun::GatherSet() {
    auto job = std::make_unique<SetJob>();
    job->before = std::move(m_pending);
    m_pending = {};
    job->set.points = std::move(m_set.points);
    m_set.points = {};
    job->set.weighted = m_set.weighted;
    job->set.memo = m_set.memo;
    job->set.setNumber = m_set.setNumber;
    job->session.settings = m_session.settings;
    job->session.directives = m_session.directives;
    if (IsNonlinear()) {
        m_session.directives.thisSet.clear();
    }
    m_jobs.Add(std::move(job));
    // The sets already fitted are passed on while the reading goes on, and
    // the reading waits once it is far ahead of the fitting, so a text of
    // many sets is never held whole in fitted form.
    ReplayJobs(kMaxPendingSets);
}

void ComputeRun::FitGatheredJobs() {
    m_readingDone = true;
    m_jobs.Close();
    if (!m_stopped) {
        ReplayJobs(0);
    }
    m_jobs.Clear();
    m_out = &m_host;
    m_outMessages = &m_record.messages;
    if (m_stopped) {
        return;  // nothing read after the first set not fitted is passed on
    }
    // The texts read after the last set, and the this-set directives as the
    // sequential reading leaves them.
    m_pending.ReplayTo(m_host, m_record.messages);
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
        job.RefitWithCarriedDirectives(carried);
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

void ComputeRun::ReportError(const std::string& text) {
    m_out->SendAnswer(AnswerHint::Error, text);
    m_outMessages->push_back({"error", text});
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
        std::vector<double> x, y, w;
        x.reserve(set.points.size());
        y.reserve(set.points.size());
        w.reserve(set.points.size());
        for (const DataPoint& p : set.points) {
            x.push_back(p.X);
            y.push_back(p.Y);
            w.push_back(1.0 / p.SD);
        }
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
    if (settings.modelId == kLinearModelId) {
        record.fits.push_back(LinearFitAB(set.points, set.weighted, set.setNumber, context));
    } else if (settings.modelId == kThroughOriginModelId) {
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

int CountComputeSets(std::span<const std::string_view> lines) {
    int sets = 0;
    std::size_t points = 0;
    std::string buffer;
    for (const std::string_view line : lines) {
        switch (ClassifyLine(line)) {
            case LineClass::Blank:
                if (points >= 2) {
                    ++sets;
                    points = 0;
                }
                break;
            case LineClass::Memo:
                if (points > 2) {
                    ++sets;
                }
                points = 0;
                break;
            case LineClass::Point:
                buffer = line;
                buffer += '\n';
                if (ScanPointLine(buffer.c_str()).converted >= 3) {
                    ++points;
                }
                break;
            case LineClass::SingleCharacter:
            case LineClass::Directive:
            case LineClass::Option:
                break;
        }
    }
    return points >= 2 ? sets + 1 : sets;
}

std::string ComputeHeader(int modelId) {
    std::string header = "Model function: Y =";
    header += ModelDisplayString(modelId);
    header += '\n';
    return header;
}

int CountComputeSets(const std::vector<std::string>& lines) {
    return CountComputeSets(LineViews(lines));
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
