// A compute host that records everything a compute sends, for the tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "records/host.h"

namespace quillon::testing {

class RecordingHost : public IComputeHost {
  public:
    void SendAnswer(AnswerHint hint, const std::string& text) override {
        answers.emplace_back(hint, text);
        if (ReplacesText(hint)) {
            pane = text;
            if (hint == AnswerHint::Header) {
                pane += '\n';
            }
        } else {
            pane += text;
        }
    }
    void ShowMessage(const std::string& text, MessageIcon icon) override {
        messages.emplace_back(text, icon);
    }
    void ExportResults(const ResultColumnList& columns) override {
        ++exportCalls;
        exported = columns;
    }
    void BeginWaitCursor() override {
        ++waitDepth;
        ++waitShown;
    }
    void EndWaitCursor() override { --waitDepth; }

    // Texts sent with one kind, in order.
    std::vector<std::string> TextsOf(AnswerHint hint) const {
        std::vector<std::string> texts;
        for (const auto& [h, text] : answers) {
            if (h == hint) {
                texts.push_back(text);
            }
        }
        return texts;
    }

    const CResultColumn* Column(const std::string& name) const {
        for (const CResultColumn& column : exported) {
            if (column.name == name) {
                return &column;
            }
        }
        return nullptr;
    }

    std::vector<std::string> ColumnNames() const {
        std::vector<std::string> names;
        for (const CResultColumn& column : exported) {
            names.push_back(column.name);
        }
        return names;
    }

    std::vector<std::pair<AnswerHint, std::string>> answers;
    std::vector<std::pair<std::string, MessageIcon>> messages;
    std::string pane;  // what the answer pane would hold
    ResultColumnList exported;
    int exportCalls = 0;
    int waitDepth = 0;
    int waitShown = 0;
};

}  // namespace quillon::testing
