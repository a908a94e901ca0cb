// Which parameters the sets share as the data text is read: the "shared" and
// "local" words of the "<<a[i] ...>>" lines and the command line's --share.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/data_grammar.h"
#include "records/records.h"

namespace quillon {

class SharingState {
  public:
    explicit SharingState(const FitSettings& settings);

    // Applies a "<<...>>" line; returns the error line when it shares an
    // index beyond the model's parameters (the line is then not applied).
    std::string Apply(const ParsedDirective& parsed, std::string_view line);
    // Takes the sharing in force for the set just read.
    void RecordSet();

    // True when some set shares a parameter.
    bool Any() const { return m_any; }
    // Per set in reading order, the indices it shares (ascending).
    const std::vector<std::vector<int>>& PerSet() const { return m_perSet; }
    // The start a "= v shared" line gave an index; nothing when none did.
    std::optional<double> Start(int index) const;

  private:
    void Share(int index, std::optional<double> start);
    void EndSharing(int index);

    int m_paramCount = 0;
    std::vector<int> m_current;
    std::vector<std::optional<double>> m_starts;  // by index
    std::vector<std::vector<int>> m_perSet;
    bool m_any = false;
};

// The parameter count of the settings' model (its last stage for a staged
// model); 0 for a formula that does not compile.
int SettingsParamCount(const FitSettings& settings);

}  // namespace quillon
