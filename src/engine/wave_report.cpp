#include "engine/wave_report.h"

#include <cmath>
#include <limits>

namespace quillon {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The per-set values of parameter j, in set order.
std::vector<double> ParameterAcrossSets(const ResultColumnList& table, std::size_t j) {
    std::vector<double> values;
    values.reserve(table.size());
    for (const CResultColumn& column : table) {
        values.push_back(j < column.values.size() ? column.values[j] : kNaN);
    }
    return values;
}

struct PhaseLine {
    bool computed = false;  // a line exists (m >= 2, D != 0)
    double slope = 0.0;
    double intercept = 0.0;
    bool Valid() const { return computed && slope != 0.0; }
};

// Unweighted least squares of phase against label.
PhaseLine FitPhaseLine(const std::vector<double>& labels, const std::vector<double>& phases) {
    PhaseLine line;
    const std::size_t m = phases.size();
    if (m < 2) {
        return line;
    }
    double sx = 0.0, sxx = 0.0, sy = 0.0, sxy = 0.0;
    for (std::size_t k = 0; k < m; ++k) {
        const double x = k < labels.size() ? labels[k] : kNaN;
        sx += x;
        sxx += x * x;
        sy += phases[k];
        sxy += x * phases[k];
    }
    const double md = static_cast<double>(m);
    const double d = md * sxx - sx * sx;
    if (d == 0.0) {
        return line;
    }
    line.computed = true;
    line.slope = (md * sxy - sx * sy) / d;
    line.intercept = (sxx * sy - sx * sxy) / d;
    return line;
}

// More than half a cycle between neighbours; not a number is no jump.
bool IsJump(double difference) {
    return difference > 0.5 || difference < -0.5;
}

}  // namespace

void UnwrapPhases(std::vector<double>& phases) {
    const std::size_t m = phases.size();
    for (std::size_t pass = 0; pass < m; ++pass) {
        std::size_t k = 0;
        while (k + 1 < m && !IsJump(phases[k + 1] - phases[k])) {
            ++k;
        }
        if (k + 1 >= m) {
            return;
        }
        const double shift = phases[k + 1] - phases[k] > 0.5 ? -1.0 : 1.0;
        for (std::size_t i = k + 1; i < m; ++i) {
            phases[i] += shift;
        }
    }
}

void AppendWaveReport(const ResultColumnList& tableColumns,
                      const std::vector<std::string>& labelNames,
                      const std::vector<double>& labelValues, double framingRate,
                      ResultColumnList& fileColumns) {
    if (tableColumns.empty() || labelNames.empty() || labelValues.empty()) {
        return;
    }
    const std::string& label = labelNames.front();
    const std::size_t paramCount = tableColumns.front().values.size();
    const double m = static_cast<double>(tableColumns.size());
    const std::vector<double> amplitude = ParameterAcrossSets(tableColumns, 0);
    double meanPeriod = 0.0;
    double meanFrequency = 0.0;
    PhaseLine line;
    for (std::size_t j = 0; j + 1 < paramCount; ++j) {
        fileColumns.push_back({label, labelValues});
        if (j == 0) {
            fileColumns.push_back({"Amplitude", amplitude});
        } else if (j == 1) {
            const std::vector<double> period = ParameterAcrossSets(tableColumns, 1);
            fileColumns.push_back({"Period in Frame number", period});
            double sum = 0.0;
            for (double p : period) {
                sum += p;
            }
            meanPeriod = sum / m;
            fileColumns.push_back({label, labelValues});
            std::vector<double> frequency;
            double frequencySum = 0.0;
            for (double p : period) {
                frequency.push_back(framingRate / p);
                frequencySum += framingRate / p;
            }
            meanFrequency = frequencySum / m;
            fileColumns.push_back({"Frequency", std::move(frequency)});
        } else if (j == 2) {
            std::vector<double> phases = ParameterAcrossSets(tableColumns, 2);
            for (std::size_t k = 0; k < phases.size(); ++k) {
                phases[k] = phases[k] / meanPeriod;
                if (amplitude[k] < 0) {
                    phases[k] += 0.5;  // a negative amplitude is half a cycle on
                }
                phases[k] = phases[k] - std::floor(phases[k]);
            }
            UnwrapPhases(phases);
            fileColumns.push_back({"Phase of one cycle", phases});
            line = FitPhaseLine(labelValues, phases);
            const double first = labelValues.front();
            const double last = labelValues.back();
            fileColumns.push_back({label, {first, last}});
            // Without a line there is no phase to give at the ends.
            const std::vector<double> ends =
                line.computed ? std::vector<double>{line.slope * first + line.intercept,
                                                    line.slope * last + line.intercept}
                              : std::vector<double>{kNaN, kNaN};
            fileColumns.push_back({"f(" + label + ")", ends});
        }
    }
    fileColumns.push_back({"Period", {meanPeriod}});
    fileColumns.push_back({"Framing rate", {framingRate}});
    fileColumns.push_back({"Frequency", {meanFrequency}});
    if (line.Valid()) {
        fileColumns.push_back({"Wavelength", {std::fabs(1.0 / line.slope)}});
        fileColumns.push_back({"Wave velocity", {-meanFrequency / line.slope}});
    }
}

}  // namespace quillon
