// The results of one compute as one JSON object.
#pragma once

#include <string>

#include "records/records.h"

namespace quillon {

struct JsonReportInput {
    int modelId = 0;
    std::string formula;  // not empty: the model is this formula, not modelId
    FitMethod method = FitMethod::Marquardt;
    const ComputeRecord& record;
    const ResultColumnList* columns = nullptr;  // only when the File switch is on
};

std::string JsonReport(const JsonReportInput& input);

}  // namespace quillon
