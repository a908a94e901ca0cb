#include "engine/parameter_table.h"

#include "models/catalogue.h"
#include "records/number_format.h"

namespace quillon {

void AppendParameterTable(int modelId, const ResultColumnList& tableColumns,
                          const std::vector<std::string>& labelNames,
                          const std::vector<double>& labelValues, ResultColumnList& fileColumns) {
    if (tableColumns.empty() || labelNames.empty() || labelValues.empty()) {
        return;
    }
    const std::size_t paramCount = tableColumns.front().values.size();
    std::vector<std::vector<double>> perParameter(paramCount);
    for (const CResultColumn& column : tableColumns) {
        for (std::size_t i = 0; i < paramCount && i < column.values.size(); ++i) {
            perParameter[i].push_back(column.values[i]);
        }
    }
    for (std::size_t i = 0; i < paramCount; ++i) {
        fileColumns.push_back({labelNames.front(), labelValues});
        std::string name = Sprintf("A%d", static_cast<int>(i));
        if (IsLinearModel(modelId) && i < 2) {
            name = i == 0 ? "a(y-intercept)" : "b(slope)";
        }
        fileColumns.push_back({std::move(name), std::move(perParameter[i])});
    }
}

}  // namespace quillon
