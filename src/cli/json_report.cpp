#include "cli/json_report.h"

#include <nlohmann/json.hpp>

#include "models/catalogue.h"

namespace quillon {
namespace {

using json = nlohmann::ordered_json;

json FitJson(const FitRecord& fit) {
    json j = {
        {"method", fit.method},   {"outcome", fit.outcome},
        {"message", fit.message}, {"parameters", fit.parameters},
        {"errors", fit.errors},   {"chisq_dof", fit.chisqDof ? json(*fit.chisqDof) : json(nullptr)},
        {"dof", fit.dof},         {"points", fit.points},
    };
    if (fit.method == "linear") {
        j["sigma_y"] = fit.sigmaY ? json(*fit.sigmaY) : json(nullptr);
    }
    return j;
}

json SetJson(const SetRecord& set) {
    json fits = json::array();
    for (const FitRecord& fit : set.fits) {
        fits.push_back(FitJson(fit));
    }
    return {
        {"set", set.setNumber},
        {"memo", set.memo},
        {"label", {{"name", set.label.name}, {"value", set.label.value}}},
        {"fits", std::move(fits)},
    };
}

}  // namespace

std::string JsonReport(const JsonReportInput& input) {
    json sets = json::array();
    for (const SetRecord& set : input.record.sets) {
        sets.push_back(SetJson(set));
    }
    json messages = json::array();
    for (const MessageRecord& message : input.record.messages) {
        messages.push_back({{"kind", message.kind}, {"text", message.text}});
    }
    json report = {
        {"model", input.modelId},
        {"model_name", std::string(ModelDisplayString(input.modelId))},
        {"method", std::string(MethodName(input.methodId))},
        {"sets", std::move(sets)},
        {"messages", std::move(messages)},
    };
    if (input.record.stopped) {
        report["stopped"] = true;  // the sets are those finished before the stop
    }
    if (input.columns != nullptr) {
        json columns = json::array();
        for (const CResultColumn& column : *input.columns) {
            columns.push_back({{"name", column.name}, {"values", column.values}});
        }
        report["columns"] = std::move(columns);
    }
    // Non-finite numbers are written as null; text that is not UTF-8 is
    // replaced rather than refused.
    return report.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
}

}  // namespace quillon
