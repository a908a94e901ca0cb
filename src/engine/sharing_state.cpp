#include "engine/sharing_state.h"

#include <algorithm>

#include "models/formula_model.h"
#include "models/model_registry.h"

namespace quillon {

int SettingsParamCount(const FitSettings& settings) {
    if (!settings.formula.empty()) {
        const auto model = CreateFormulaModel(settings.formula, nullptr, nullptr, nullptr, 0, 1.0);
        return model ? model->ParamCount() : 0;
    }
    const ModelEntry* entry = FindModel(settings.modelId);
    if (entry == nullptr) {
        return 0;
    }
    return entry->secondStage != nullptr ? entry->secondStageParamCount : entry->paramCount;
}

SharingState::SharingState(const FitSettings& settings)
    : m_paramCount(SettingsParamCount(settings)) {
    for (const int index : settings.sharedParameters) {
        // The command line checks its indices against the model.
        if (index >= 0 && index < m_paramCount) {
            Share(index, std::nullopt);
        }
    }
}

std::string SharingState::Apply(const ParsedDirective& parsed, std::string_view line) {
    if (!parsed.laterSets) {
        return {};
    }
    const int index = parsed.directive.index;
    if (parsed.sharing == DirectiveSharing::Shared) {
        if (index < 0 || index >= m_paramCount) {
            return "Shared parameter invalid! " + std::string(line) + "\n";
        }
        const std::optional<double> start = parsed.directive.hasValue
                                                ? std::optional<double>(parsed.directive.value)
                                                : std::nullopt;
        Share(index, start);
        return {};
    }
    // A plain "<<a[i] = v>>" or "<<a[i] local>>" ends the sharing.
    EndSharing(index);
    return {};
}

void SharingState::RecordSet() {
    m_perSet.push_back(m_current);
    m_any = m_any || !m_current.empty();
}

std::optional<double> SharingState::Start(int index) const {
    const auto at = static_cast<std::size_t>(index);
    return index >= 0 && at < m_starts.size() ? m_starts[at] : std::nullopt;
}

// The first start given for an index stays: a later "shared" line only
// continues the one shared parameter.
void SharingState::Share(int index, std::optional<double> start) {
    const auto at = static_cast<std::size_t>(index);
    if (at >= m_starts.size()) {
        m_starts.resize(at + 1);
    }
    if (!m_starts[at]) {
        m_starts[at] = start;
    }
    if (!std::ranges::binary_search(m_current, index)) {
        m_current.insert(std::ranges::upper_bound(m_current, index), index);
    }
}

void SharingState::EndSharing(int index) {
    std::erase(m_current, index);
}

}  // namespace quillon
