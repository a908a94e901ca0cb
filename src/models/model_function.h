// CModelFunction: the base of every nonlinear model. A model knows its formula
// and how to guess starting values and step sizes from the data it is fitted to.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "records/fit_codes.h"
#include "records/point_team.h"

namespace quillon {

struct WaveFields;
class CModelFunction;

// Runs a Marquardt fit on a model with the given log and returns its outcome;
// the fit driver supplies it to the pre-fit hook.
using MarquardtRunner = std::function<FitOutcome(CModelFunction&, std::string&)>;

// Numerical constants written out as the estimates use them.
inline constexpr double kPi = 3.141592653589793;
inline constexpr double kTwoPi = 6.283185307179586;
inline constexpr double kHalfPi = 1.5707963267948966;
inline constexpr double kInvTwoPi = 0.15915494309189535;  // 1/(2*pi)
inline constexpr double kDblMin = 2.2250738585072014e-308;
inline constexpr double kDblMax = 1.7976931348623157e308;
inline constexpr double kFltMin = 1.1754943508222875e-38;
// Smallest step a fit may use: 2^-52, the relative spacing of doubles near 1.
inline constexpr double kMinStep = 2.220446049250313e-16;

class CModelFunction {
  public:
    // x, y and w (the weights 1/SD) are n long and stay owned by the caller;
    // they must outlive the model. er is the relative step, m the parameter count.
    CModelFunction(const double* x, const double* y, const double* w, int n, double er, int m);
    CModelFunction(const CModelFunction&) = delete;
    CModelFunction& operator=(const CModelFunction&) = delete;

    // Computes the model at every point into the point values. False means the
    // caller evaluates Value point by point instead.
    virtual bool EvaluateAll(double* params);
    virtual int ParamCount() const;
    virtual int PointCount() const;
    virtual int DegreesOfFreedom() const;
    virtual std::span<double> Params();
    virtual std::span<double> SavedParams();
    virtual std::span<double> Steps();
    virtual std::span<double> SavedSteps();
    // The formula at x for the m parameters in params. Only the sawtooth models
    // write to params (they normalise the vector in place).
    virtual double Value(double* params, double x) const = 0;
    // True when Value may run for several points at once, on several
    // threads, with the same params: it writes neither params nor the
    // model. The sawtooth models, which normalise params, say false.
    virtual bool ValueIsThreadSafe() const { return true; }
    // Element i of the values computed by EvaluateAll (NaN outside 0..n-1).
    virtual double PointValue(int i) const;
    // All the values computed by the last EvaluateAll.
    std::span<const double> PointValues() const { return m_pPointValues; }
    virtual double ValueAt(double x);
    // Runs Estimate, then takes the first min(m, count) values as parameters.
    virtual int SetParams(const double* values, int count);
    // Fills the parameters and steps from the data: 0, or -1 for unusable data.
    virtual int Estimate();
    // Estimate, FixSteps, and saves parameters and steps.
    virtual int Init();
    virtual void Restore();
    // Raises every step that is not at least kMinStep (also NaN) to kMinStep.
    virtual void FixSteps();
    // Hook run once before the methods; the log receives its text. Nonzero
    // when the hook fitted the model.
    virtual int PreFit(std::string& log, const MarquardtRunner& runMarquardt);
    // Exact derivatives: the values at every point into values (n) and the
    // derivative of each by parameter i into row i of gradients (m rows of
    // n). False, the default, for a model without them; the methods then
    // take finite differences with the steps.
    virtual bool ValuesAndGradients(const double* params, std::span<double> values,
                                    std::span<double> gradients);
    virtual ~CModelFunction();

    std::span<const double> XData() const { return {m_pX, Count()}; }
    std::span<const double> YData() const { return {m_pY, Count()}; }
    // Empty when the model was built without weights.
    std::span<const double> WData() const { return {m_pW, m_pW ? Count() : 0}; }
    double ER() const { return m_dER; }
    double XMin() const { return m_dXMin; }
    double XMax() const { return m_dXMax; }
    double YMin() const { return m_dYMin; }
    double YMax() const { return m_dYMax; }
    int XMinIndex() const { return m_iXMin; }
    int XMaxIndex() const { return m_iXMax; }
    int YMinIndex() const { return m_iYMin; }
    int YMaxIndex() const { return m_iYMax; }
    // Twice the X distance between the highest and the lowest point, clamped
    // to [DBL_MIN, DBL_MAX]; valid after the range scan of an estimate.
    double PeriodGuess() const;

  protected:
    std::size_t Count() const { return m_nPoints > 0 ? static_cast<std::size_t>(m_nPoints) : 0; }
    // Range scan of X and then Y into the range fields; false when there are
    // no points or either array is flat (every estimate starts with it).
    bool ScanDataRanges();
    // The wave estimate of the period-sine models: after the range scan, A0,
    // the period A1, the shift A2 with steps s0 and s1, the level in
    // wave.m_dLevel and the Y range of the window used. 0, or -1 on failure.
    // Defined with the rest of the wave estimate (wave_estimate.cpp).
    int EstimateWave(WaveFields& wave);
    void SetYRange(double yMin, double yMax, int iYMin, int iYMax);
    // The point values sized to the points, for an EvaluateAll to fill.
    std::span<double> PointValueBuffer();
    // Narrows X, Y, W and n to the points first..last (inclusive).
    void NarrowPoints(int first, int last);
    // The peak trim of the peak models: narrows the points to the peak when
    // more than two remain (defined with the peak models).
    void NarrowToPeak();

    int m_nParams;
    std::vector<double> m_pParams;
    std::vector<double> m_pSavedParams;
    std::vector<double> m_pSteps;
    std::vector<double> m_pSavedSteps;
    double m_dER;
    int m_nPoints;
    const double* m_pX;
    const double* m_pY;
    const double* m_pW;
    // Used by the smoothed models only; empty otherwise.
    std::vector<double> m_pExtended;
    PointArray m_pPointValues;
    double m_dXMin = 0.0;
    double m_dXMax = 0.0;
    double m_dYMin = 0.0;
    double m_dYMax = 0.0;
    int m_iXMin = 0;
    int m_iXMax = 0;
    int m_iYMin = 0;
    int m_iYMax = 0;
};

}  // namespace quillon
