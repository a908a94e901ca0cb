// The parameter table: each parameter across the fitted sets, paired with the
// sets' labels, appended to the result file's columns.
#pragma once

#include <string>
#include <vector>

#include "records/records.h"

namespace quillon {

// Appends one (label, parameter) column pair per parameter to fileColumns.
// The parameter columns are "A0", "A1", ...; for the linear models the first
// two are "a(y-intercept)" and "b(slope)".
void AppendParameterTable(int modelId, const ResultColumnList& tableColumns,
                          const std::vector<std::string>& labelNames,
                          const std::vector<double>& labelValues, ResultColumnList& fileColumns);

}  // namespace quillon
