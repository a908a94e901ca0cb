// Where a compute sends the error texts of its reading ("Data invalid!"):
// with one thread straight to the host, with several held back so that the
// host receives them in reading order between the sets fitted meanwhile.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/set_jobs.h"
#include "records/host.h"
#include "records/records.h"

namespace quillon {

class IReadingOutput {
  public:
    virtual ~IReadingOutput() = default;
    // An error text for the answer pane and the compute's messages.
    virtual void ReportError(const std::string& text) = 0;
};

// One thread: each set is fitted as it is read, so a text goes on at once.
class SequentialOutput final : public IReadingOutput {
  public:
    SequentialOutput(IComputeHost& host, std::vector<MessageRecord>& messages)
        : m_host(host), m_messages(messages) {}
    void ReportError(const std::string& text) override {
        m_host.SendAnswer(AnswerHint::Error, text);
        m_messages.push_back({"error", text});
    }

  private:
    IComputeHost& m_host;
    std::vector<MessageRecord>& m_messages;
};

// Several threads: the texts wait in the pending output; each set read takes
// those read before it (SetJob::before), and those read after the last set
// are passed on when the reading is over.
class ThreadedOutput final : public IReadingOutput {
  public:
    void ReportError(const std::string& text) override {
        m_pending.host.SendAnswer(AnswerHint::Error, text);
        m_pending.messages.push_back({"error", text});
    }
    // The texts read since the previous set; the pending output starts empty.
    DeferredOutput TakePending() { return std::exchange(m_pending, {}); }
    void ReplayTo(IComputeHost& host, std::vector<MessageRecord>& messages) {
        m_pending.ReplayTo(host, messages);
    }

  private:
    DeferredOutput m_pending;
};

}  // namespace quillon
