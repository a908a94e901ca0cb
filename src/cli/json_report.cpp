#include "cli/json_report.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "models/catalogue.h"

namespace quillon {
namespace {

using json = nlohmann::ordered_json;

// An m x m matrix stored row by row as an array of rows.
json MatrixJson(const std::vector<double>& values, std::size_t m) {
    if (values.size() != m * m) {
        return nullptr;
    }
    json rows = json::array();
    for (std::size_t i = 0; i < m; ++i) {
        const auto row = values.begin() + static_cast<std::ptrdiff_t>(i * m);
        rows.push_back(std::vector<double>(row, row + static_cast<std::ptrdiff_t>(m)));
    }
    return rows;
}

// The statistics keys; every one is null for a fit without them.
void AddStatistics(json& j, const std::optional<FitStatistics>& stats) {
    if (!stats) {
        for (const char* key :
             {"covariance", "correlation", "confidence_95", "r_squared", "aic", "bic"}) {
            j[key] = nullptr;
        }
        return;
    }
    const std::size_t m = stats->lower95.size();
    json intervals = json::array();
    for (std::size_t i = 0; i < m; ++i) {
        intervals.push_back({stats->lower95[i], stats->upper95[i]});
    }
    j["covariance"] = MatrixJson(stats->covariance, m);
    j["correlation"] = MatrixJson(stats->correlation, m);
    j["confidence_95"] = std::move(intervals);
    j["r_squared"] = stats->rSquared;
    j["aic"] = stats->aic;
    j["bic"] = stats->bic;
}

// A bound side, null when open.
json BoundSide(double bound) {
    return std::isfinite(bound) ? json(bound) : json(nullptr);
}

// The keys of a fit that held or bounded a parameter.
void AddConstraints(json& j, const FitConstraintMarks& marks) {
    json bounds = json::array();
    for (const std::optional<ParameterBounds>& b : marks.bounds) {
        bounds.push_back(b ? json::array({BoundSide(b->lower), BoundSide(b->upper)})
                           : json(nullptr));
    }
    j["fixed"] = marks.fixed;
    j["bounds"] = std::move(bounds);
    j["at_bound"] = marks.atBound;
}

// The curve's band: its level, X and bounds, and the prediction band when
// the set gave no SDs.
json BandJson(const CurveBand& band) {
    // A whole level prints as it was given: 95, not 95.0.
    const json level = band.level == std::floor(band.level) && std::fabs(band.level) < 1e9
                           ? json(static_cast<int>(band.level))
                           : json(band.level);
    json j = {{"level", level}, {"x", band.x}, {"lower", band.lower}, {"upper", band.upper}};
    if (!band.predictionLower.empty()) {
        j["prediction_lower"] = band.predictionLower;
        j["prediction_upper"] = band.predictionUpper;
    }
    return j;
}

json FitJson(const FitRecord& fit) {
    json j = {
        {"method", fit.method},   {"outcome", static_cast<int>(fit.outcome)},
        {"message", fit.message}, {"parameters", fit.parameters},
        {"errors", fit.errors},   {"chisq_dof", fit.chisqDof ? json(*fit.chisqDof) : json(nullptr)},
        {"dof", fit.dof},         {"points", fit.points},
    };
    if (fit.method == "linear") {
        j["sigma_y"] = fit.sigmaY ? json(*fit.sigmaY) : json(nullptr);
    }
    AddStatistics(j, fit.statistics);
    if (fit.constraints) {
        AddConstraints(j, *fit.constraints);
    }
    if (fit.searchedStart) {
        j["start"] = "search";
    }
    if (fit.suspect) {
        j["suspect"] = *fit.suspect;
    }
    if (fit.band) {
        j["band"] = BandJson(*fit.band);
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

json OptionalNumber(const std::optional<double>& value) {
    return value ? json(*value) : json(nullptr);
}

// The "global" object of a compute whose sets shared parameters.
json GlobalJson(const GlobalFitRecord& global) {
    json shared = json::array();
    for (const SharedParameterRecord& p : global.shared) {
        json entry = {{"index", p.index}, {"value", p.value}, {"error", p.error}};
        if (p.bounds) {
            entry["bounds"] = json::array({BoundSide(p.bounds->lower), BoundSide(p.bounds->upper)});
            entry["at_bound"] = p.atBound.has_value();
        }
        shared.push_back(std::move(entry));
    }
    json sets = json::array();
    for (const GlobalSetRecord& set : global.sets) {
        json entry = {{"set", set.setNumber},
                      {"label", {{"name", set.label.name}, {"value", set.label.value}}},
                      {"parameters", set.parameters},
                      {"errors", set.errors},
                      {"chisq_dof", OptionalNumber(set.chisqDof)}};
        if (!set.atBound.empty()) {
            // Per parameter, as a single fit's "at_bound".
            json atBound = json::array();
            for (const std::optional<double>& bound : set.atBound) {
                atBound.push_back(bound.has_value());
            }
            entry["at_bound"] = std::move(atBound);
        }
        sets.push_back(std::move(entry));
    }
    json leftOut = json::array();
    for (const LeftOutSet& set : global.leftOut) {
        leftOut.push_back(set.setNumber);
    }
    const bool hasParameters = !global.shared.empty();
    return {
        {"shared", std::move(shared)},
        {"covariance", MatrixJson(global.covariance, global.shared.size())},
        {"sets", std::move(sets)},
        {"chisq", hasParameters ? json(global.chisq) : json(nullptr)},
        {"dof", global.dof},
        {"chisq_dof", OptionalNumber(global.chisqDof)},
        {"outcome", static_cast<int>(global.outcome)},
        {"iterations", global.iterations},
        {"left_out", std::move(leftOut)},
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
    const bool formula = !input.formula.empty();
    json report = {
        {"model", formula ? json("formula") : json(input.modelId)},
        {"model_name", formula ? input.formula : std::string(ModelDisplayString(input.modelId))},
        {"method", std::string(MethodName(input.method))},
        {"sets", std::move(sets)},
        {"messages", std::move(messages)},
    };
    if (input.record.stopped) {
        report["stopped"] = true;  // the sets are those finished before the stop
    }
    if (input.record.global) {
        report["global"] = GlobalJson(*input.record.global);
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
