#include "plot/plot_data.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "fit/confidence_band.h"
#include "models/formula_model.h"
#include "models/model_factory.h"
#include "models/model_registry.h"

namespace quillon::plot {
namespace {

// A nonlinear model with the arrays it was built on; the model keeps
// pointers to them, so they live together.
class BoundModel {
  public:
    BoundModel(const PlotModel& model, const SetRecord& set, std::size_t paramCount) {
        for (const DataPoint& p : set.points) {
            m_x.push_back(p.X);
            m_y.push_back(p.Y);
            m_w.push_back(1.0 / p.SD);
        }
        const int n = static_cast<int>(m_x.size());
        const double er = ConvergenceSettings{}.ER();
        // A staged model's runs end on its second stage, whose parameter
        // count tells them apart.
        const ModelEntry* entry = FindModel(model.modelId);
        if (!model.formula.empty()) {
            m_model = CreateFormulaModel(model.formula, m_x.data(), m_y.data(), m_w.data(), n, er);
        } else if (entry != nullptr && entry->secondStage != nullptr &&
                   static_cast<int>(paramCount) == entry->secondStageParamCount) {
            m_model = CreateSecondStage(model.modelId, m_x.data(), m_y.data(), m_w.data(), n, er);
        } else {
            m_model = CreateModel(model.modelId, m_x.data(), m_y.data(), m_w.data(), n, er,
                                  FixedCRadians(model.fixedCDegrees));
        }
        if (m_model) {
            m_model->Init();  // some models derive constants of the formula from the data
        }
    }

    bool Valid() const { return m_model != nullptr; }

    // Value may rewrite its parameters (the sawtooth normalises them), so
    // each call gets a copy.
    double Value(std::vector<double> params, double x) const {
        return m_model->Value(params.data(), x);
    }

    const CModelFunction& Model() const { return *m_model; }

  private:
    std::vector<double> m_x, m_y, m_w;
    std::unique_ptr<CModelFunction> m_model;
};

// The span of finite values, cut into equal cells.
struct Range {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();

    void Add(double v) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    std::size_t Cell(double v, std::size_t cells) const {
        if (!(hi > lo)) {
            return 0;
        }
        const double at = (v - lo) / (hi - lo) * static_cast<double>(cells);
        return std::min(static_cast<std::size_t>(at), cells - 1);
    }
};

std::string FirstLine(const std::string& text) {
    std::string line = text.substr(0, text.find('\n'));
    const std::string stop = "。";
    if (line.size() >= stop.size() && line.ends_with(stop)) {
        line.resize(line.size() - stop.size());
    }
    return line;
}

std::string TrimMemoLine(std::string line) {
    if (line.starts_with("//")) {
        line.erase(0, 2);
    }
    const auto first = line.find_first_not_of(" \t");
    const auto last = line.find_last_not_of(" \t\r");
    return first == std::string::npos ? std::string() : line.substr(first, last - first + 1);
}

// The values and parameter gradients of a run's curve at xs: the closed
// forms' own, or the model's (empty when it cannot be built).
CurveJacobian RunJacobian(const PlotModel& model, const SetRecord& set, const FitRecord& fit,
                          const std::vector<double>& xs) {
    const std::vector<double>& a = fit.parameters;
    const ModelEntry* entry = model.formula.empty() ? FindModel(model.modelId) : nullptr;
    const ClosedForm form = entry != nullptr ? entry->closedForm : ClosedForm::None;
    if (form == ClosedForm::Line && a.size() == 2) {
        return LineJacobian(a[0], a[1], xs);
    }
    if (form == ClosedForm::ThroughOrigin) {
        return OriginJacobian(a.back(), xs);
    }
    const BoundModel bound(model, set, a.size());
    if (!bound.Valid()) {
        return {};
    }
    return ModelJacobian(bound.Model(), a, xs, HeldParameters(fit));
}

// The curve's bands at its x; empty when the run has no covariance.
CurveBands BandsOfCurve(const PlotModel& model, const SetRecord& set, const FitRecord& fit,
                        const CurveData& curve) {
    if (curve.x.empty()) {
        return {};
    }
    std::optional<CurveBand> band =
        FitBand(fit, set.weighted, model.bandLevel, curve.x, RunJacobian(model, set, fit, curve.x));
    if (!band) {
        return {};
    }
    return {std::move(band->lower), std::move(band->upper), std::move(band->predictionLower),
            std::move(band->predictionUpper)};
}

}  // namespace

std::vector<double> CurveSampleX(double x0, double x1, int samples) {
    const int count = std::max(samples, 2);
    std::vector<double> xs;
    xs.reserve(2 * static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        xs.push_back(x0 + (x1 - x0) * i / (count - 1));
    }
    if (x0 > 0.0 && x1 > x0) {
        const double ratio = std::log(x1 / x0);
        for (int i = 1; i + 1 < count; ++i) {
            xs.push_back(x0 * std::exp(ratio * i / (count - 1)));
        }
        std::sort(xs.begin(), xs.end());
        xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    }
    return xs;
}

std::vector<std::size_t> DisplayIndices(const std::vector<double>& x, const std::vector<double>& y,
                                        std::size_t maxPoints) {
    constexpr std::size_t kColumns = 240;
    constexpr std::size_t kRows = 120;
    std::vector<std::size_t> finite;
    finite.reserve(x.size());
    Range xr, yr;
    for (std::size_t i = 0; i < x.size() && i < y.size(); ++i) {
        if (std::isfinite(x[i]) && std::isfinite(y[i])) {
            finite.push_back(i);
            xr.Add(x[i]);
            yr.Add(y[i]);
        }
    }
    if (finite.size() <= maxPoints) {
        return finite;
    }
    std::vector<bool> taken(kColumns * kRows, false);
    std::vector<std::size_t> kept;
    for (const std::size_t i : finite) {
        const std::size_t cell = yr.Cell(y[i], kRows) * kColumns + xr.Cell(x[i], kColumns);
        if (!taken[cell]) {
            taken[cell] = true;
            kept.push_back(i);
        }
    }
    return kept;
}

std::function<double(double)> FittedCurve(const PlotModel& model, const SetRecord& set,
                                          const FitRecord& fit) {
    const std::vector<double>& a = fit.parameters;
    if (a.empty()) {
        return {};
    }
    const ModelEntry* entry = model.formula.empty() ? FindModel(model.modelId) : nullptr;
    const ClosedForm form = entry != nullptr ? entry->closedForm : ClosedForm::None;
    if (form == ClosedForm::Line && a.size() == 2) {
        return [a0 = a[0], b = a[1]](double x) { return a0 + b * x; };
    }
    if (form == ClosedForm::ThroughOrigin) {
        // The through-origin record carries a = 0 ahead of b when it has two.
        const double b = a.back();
        return [b](double x) { return b * x; };
    }
    auto bound = std::make_shared<BoundModel>(model, set, a.size());
    if (!bound->Valid()) {
        return {};
    }
    return [bound, a](double x) { return bound->Value(a, x); };
}

std::string CurveLegend(const FitRecord& fit) {
    if (fit.method == "linear" && fit.outcome == FitOutcome::Converged) {
        return "linear: fitted";
    }
    return fit.method + ": " + FirstLine(fit.message);
}

std::string SetTitle(const SetRecord& set) {
    std::string memo = set.memo;
    std::size_t start = 0;
    while (start < memo.size()) {
        const std::size_t end = memo.find('\n', start);
        const std::string line =
            TrimMemoLine(memo.substr(start, end == std::string::npos ? end : end - start));
        if (!line.empty()) {
            return line;
        }
        if (end == std::string::npos) {
            break;
        }
        start = end + 1;
    }
    return "Set " + std::to_string(set.setNumber);
}

SetPlotData BuildSetPlot(const PlotModel& model, const SetRecord& set, int samples) {
    SetPlotData data;
    data.setNumber = set.setNumber;
    data.title = SetTitle(set);
    data.points = set.points;
    data.errorBars = set.weighted && !set.points.empty();
    data.weightedResiduals = set.weighted;
    if (set.points.empty()) {
        for (const FitRecord& fit : set.fits) {
            data.curves.push_back({CurveLegend(fit), {}, {}, {}, {}, fit.method});
        }
        return data;
    }
    const auto [lo, hi] =
        std::minmax_element(set.points.begin(), set.points.end(),
                            [](const DataPoint& l, const DataPoint& r) { return l.X < r.X; });
    const std::vector<double> sampleX =
        samples > 0 ? CurveSampleX(lo->X, hi->X, samples) : std::vector<double>{};
    for (const FitRecord& fit : set.fits) {
        CurveData curve;
        curve.legend = CurveLegend(fit);
        curve.method = fit.method;
        if (const auto f = FittedCurve(model, set, fit)) {
            for (const double x : sampleX) {
                const double y = f(x);
                if (std::isfinite(y)) {
                    curve.x.push_back(x);
                    curve.y.push_back(y);
                }
            }
            for (const DataPoint& p : set.points) {
                const double w = set.weighted ? 1.0 / p.SD : 1.0;
                const double r = (p.Y - f(p.X)) * w;
                if (std::isfinite(r)) {
                    curve.residualX.push_back(p.X);
                    curve.residuals.push_back(r);
                }
            }
        }
        if (model.bandLevel > 0.0) {
            data.bands.push_back(BandsOfCurve(model, set, fit, curve));
            data.bandLevel = model.bandLevel;
        }
        data.curves.push_back(std::move(curve));
    }
    return data;
}

std::vector<SetPlotData> BuildGlobalPlot(const PlotModel& model, const ComputeRecord& record,
                                         std::size_t maxApart) {
    std::vector<SetPlotData> sets;
    if (!record.global) {
        return sets;
    }
    const GlobalFitRecord& global = *record.global;
    for (const GlobalSetRecord& joint : global.sets) {
        const auto found =
            std::find_if(record.sets.begin(), record.sets.end(),
                         [&](const SetRecord& s) { return s.setNumber == joint.setNumber; });
        if (found == record.sets.end()) {
            continue;
        }
        SetRecord set;
        set.setNumber = found->setNumber;
        set.memo = found->memo;
        set.label = found->label;
        set.points = found->points;
        set.weighted = found->weighted;
        FitRecord fit;
        fit.method = "Global";
        fit.outcome = global.outcome;
        fit.message = "global fit";
        fit.parameters = joint.parameters;
        set.fits.push_back(std::move(fit));
        sets.push_back(BuildSetPlot(model, set, sets.size() < maxApart ? 200 : 0));
    }
    return sets;
}

}  // namespace quillon::plot
