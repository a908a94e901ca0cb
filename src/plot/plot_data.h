// What a graph of one fitted set shows, worked out from a compute's record:
// the data points, one sampled curve per method run and the weighted
// residuals. Plain numbers only, so the Qt drawing stays thin.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "plot/plot_module.h"
#include "records/records.h"

namespace quillon::plot {

// The model the record was fitted with.
struct PlotModel {
    PlotModel() = default;
    PlotModel(int id, double fixedC, std::string formulaText = {})
        : modelId(id), fixedCDegrees(fixedC), formula(std::move(formulaText)) {}

    int modelId = 0;
    double fixedCDegrees = 20.0;  // the fixed phase C of the fixed-C models
    std::string formula;          // not empty: the record fitted this formula
    double bandLevel = 0.0;       // percent of the confidence bands drawn; 0: none
};

// One method run: its sampled curve (empty when the run ended without
// parameters) and its residuals at the data points.
struct CurveData {
    std::string legend;
    std::vector<double> x, y;
    std::vector<double> residualX, residuals;
    std::string method;  // the run's method, "linear" for the closed forms
};

// The bands of one run's curve at the curve's x: the confidence band when
// one was asked for and the run has a covariance, else empty; the
// prediction band only for sets without SDs.
struct CurveBands {
    std::vector<double> lower, upper;
    std::vector<double> predictionLower, predictionUpper;
};

struct SetPlotData {
    int setNumber = 0;
    std::string title;
    std::vector<DataPoint> points;
    bool errorBars = false;          // every point gave its SD
    bool weightedResiduals = false;  // residuals are scaled by 1/SD
    std::vector<CurveData> curves;
    std::vector<CurveBands> bands;  // one per curve when bands are asked for, else none
    double bandLevel = 0.0;         // the bands' level in percent
};

// The fitted model as a function of X for a run's final parameters; empty
// when the run gave no parameters.
std::function<double(double)> FittedCurve(const PlotModel& model, const SetRecord& set,
                                          const FitRecord& fit);

// "Marquardt: <outcome>" from the run's method and the first line of its
// outcome text; linear fits that succeeded read "linear: fitted".
std::string CurveLegend(const FitRecord& fit);

// The first memo line without its "//", or "Set N" when the memo is empty.
std::string SetTitle(const SetRecord& set);

// The X values a curve is drawn at: samples evenly spaced values from x0 to
// x1 and, when the range is positive, as many spaced evenly on a log scale,
// so the curve is smooth whichever way the X axis is shown.
std::vector<double> CurveSampleX(double x0, double x1, int samples);

// The points worth drawing of a large cloud: with more than maxPoints finite
// points, the cloud's box is cut into a 240 × 120 grid and each cell keeps
// its first point, so the drawing keeps the cloud's shape, its outliers and
// its inside at a few thousand markers; otherwise every finite point.
// Indices into x and y, ascending.
std::vector<std::size_t> DisplayIndices(const std::vector<double>& x, const std::vector<double>& y,
                                        std::size_t maxPoints);

// Everything the graph draws for one set; curves are sampled across the
// data's X range at CurveSampleX, or not at all with samples 0 (a set of the
// grey cloud, of which only the points and residuals are drawn).
SetPlotData BuildSetPlot(const PlotModel& model, const SetRecord& set, int samples = 200);

// The sets of the record's global fit, each with one curve ("Global") at its
// joint parameters; the sets after the first maxApart get none sampled.
// Empty without a global fit.
std::vector<SetPlotData> BuildGlobalPlot(const PlotModel& model, const ComputeRecord& record,
                                         std::size_t maxApart);

}  // namespace quillon::plot
