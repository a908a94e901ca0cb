// Sines written with their period (ids 11, 12, 41), the sines damped after an
// onset (ids 13, 14, 15) and the asymmetric sine (second stage of id 35). All
// start from the wave estimate.
#pragma once

#include <span>
#include <string>

#include "models/model_function.h"
#include "models/sine_term_cache.h"
#include "models/wave_estimate.h"

namespace quillon {

// Amplitude and period made positive (each sign change moves the shift by
// half a period), then the shift brought into (-A1, 0].
void NormalisePeriodSine(std::span<double> a);

// The pre-fit of the biased period sines: a Marquardt run, normalised when it
// converged. Returns 1 then, else 0.
int PreFitPeriodSine(CModelFunction& model, std::string& log, const MarquardtRunner& runMarquardt);

// Id 11: A0*sin(2*pi*(x + A2)/A1).
class CSinePeriodModel : public CModelFunction {
  public:
    CSinePeriodModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CSinePeriodModel() override = default;
    // Reuses the sine terms of an earlier evaluation with the same A1 and A2.
    bool EvaluateAll(double* params) override;
    double Value(double* params, double x) const override;
    int Estimate() override;
    const WaveFields& Wave() const { return m_wave; }

  protected:
    WaveFields m_wave;
    SineTermCache m_sineTerms;
};

// Id 12, and the first stage of id 35: A0*sin(2*pi*(x + A2)/A1) + A3.
class CSinePeriodBiasedModel : public CModelFunction {
  public:
    CSinePeriodBiasedModel(const double* x, const double* y, const double* w, int n, double er,
                           int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CSinePeriodBiasedModel() override = default;
    // As CSinePeriodModel::EvaluateAll.
    bool EvaluateAll(double* params) override;
    double Value(double* params, double x) const override;
    int Estimate() override;
    // A preliminary Marquardt fit; when it converges the amplitude and period
    // are made positive and the shift brought into (-A1, 0]. 1 when it
    // converged, else 0.
    int PreFit(std::string& log, const MarquardtRunner& runMarquardt) override;
    const WaveFields& Wave() const { return m_wave; }

  protected:
    WaveFields m_wave;
    SineTermCache m_sineTerms;
};

// Id 41: A0*sin(2*pi*(x + A2)/A1) + A3 + A4*x.
class CSinePeriodLinearModel : public CSinePeriodModel {
  public:
    CSinePeriodLinearModel(const double* x, const double* y, const double* w, int n, double er,
                           int m)
        : CSinePeriodModel(x, y, w, n, er, m) {}
    ~CSinePeriodLinearModel() override = default;
    bool EvaluateAll(double* params) override;
    double Value(double* params, double x) const override;
    int Estimate() override;
    // As CSinePeriodBiasedModel::PreFit.
    int PreFit(std::string& log, const MarquardtRunner& runMarquardt) override;
};

// Id 13: A0*sin(2*pi*(x + A2)/A1), damped by exp(-(x - A4)/A3) for x > A4:
// A4 is the onset of the damping and A3 its decay length.
class CDampedAfterModel : public CModelFunction {
  public:
    CDampedAfterModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CDampedAfterModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
    const WaveFields& Wave() const { return m_wave; }

  protected:
    WaveFields m_wave;
};

// Id 14: id 13's value + A5.
class CDampedAfterBiasedModel : public CSinePeriodModel {
  public:
    CDampedAfterBiasedModel(const double* x, const double* y, const double* w, int n, double er,
                            int m)
        : CSinePeriodModel(x, y, w, n, er, m) {}
    ~CDampedAfterBiasedModel() override = default;
    // Point by point: the damping makes every value depend on more than the
    // sine term.
    bool EvaluateAll(double* params) override;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Id 15: id 13's value + A5 + A6*x.
class CDampedAfterSlopeModel : public CDampedAfterModel {
  public:
    CDampedAfterSlopeModel(const double* x, const double* y, const double* w, int n, double er,
                           int m)
        : CDampedAfterModel(x, y, w, n, er, m) {}
    ~CDampedAfterSlopeModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
};

// Second stage of id 35: a sine of period A1 and offset A3 whose falling time
// is A4 times its rising time (A4 = 1 is the plain sine).
class CAsymmetricSineModel : public CModelFunction {
  public:
    CAsymmetricSineModel(const double* x, const double* y, const double* w, int n, double er, int m)
        : CModelFunction(x, y, w, n, er, m) {}
    ~CAsymmetricSineModel() override = default;
    double Value(double* params, double x) const override;
    int Estimate() override;
    const WaveFields& Wave() const { return m_wave; }

  protected:
    WaveFields m_wave;
};

}  // namespace quillon
