// The one interface between a compute and whatever shows it: the window, the
// command line or a recorder in the tests.
#pragma once

#include <string>

#include "records/answer_hint.h"
#include "records/records.h"

namespace quillon {

enum class MessageIcon { Information, Exclamation, Error };

class IComputeHost {
  public:
    virtual ~IComputeHost() = default;

    // A piece of report text for the answer pane, with its kind.
    virtual void SendAnswer(AnswerHint hint, const std::string& text) = 0;
    // A message box with its icon; a beep goes with it where asked.
    virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
    virtual void Beep() {}
    // The compute's result columns: ask for the result file and write it, or
    // decline. The columns stay owned by the compute.
    virtual void ExportResults(const ResultColumnList& columns) = 0;
    virtual void BeginWaitCursor() {}
    virtual void EndWaitCursor() {}

    // Asked between sets, never during a fit: true ends the compute before
    // the next set (the set being fitted finishes first).
    virtual bool StopRequested() { return false; }
    // Whether the host shows progress; only then are the sets counted ahead.
    virtual bool WantsProgress() const { return false; }
    // Set setIndex (1 to setCount) is about to be fitted.
    virtual void ReportProgress(int /*setIndex*/, int /*setCount*/) {}
};

// Shows the wait cursor for the life of the object.
class WaitCursor {
  public:
    explicit WaitCursor(IComputeHost& host) : m_host(host) { m_host.BeginWaitCursor(); }
    ~WaitCursor() { m_host.EndWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

  private:
    IComputeHost& m_host;
};

}  // namespace quillon
