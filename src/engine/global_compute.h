// The global fit after the separate fits of a compute: the sets that share
// parameters are fitted jointly, starting from their separate values, and
// the "Global fit" block, record and result columns follow the last set.
#pragma once

#include <optional>
#include <vector>

#include "engine/sharing_state.h"
#include "records/host.h"
#include "records/records.h"

namespace quillon {

struct GlobalComputeInput {
    const FitSettings& settings;
    const SharingState& sharing;
    const std::vector<SetRecord>& sets;  // in reading order, as PerSet()
    IComputeHost& host;
    unsigned jobs = 1;
};

struct GlobalComputeOutput {
    std::optional<GlobalFitRecord> record;
    bool stopped = false;  // the host asked to stop during the joint fit
};

// Runs the global fit when some set shares a parameter; sends its block (or
// the line saying why there is none) and appends its result columns while
// the File switch is on.
GlobalComputeOutput RunGlobalCompute(const GlobalComputeInput& input,
                                     std::vector<MessageRecord>& messages,
                                     ResultColumnList& fileColumns);

}  // namespace quillon
