// CConstrainedModel: the model a method sees when some parameters are held or
// bounded. Its parameters are the free ones only, each bounded one on the
// unbounded scale of its BoundTransform; every evaluation hands the full
// vector (held values included) to the user's model.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "fit/dfpowell.h"
#include "fit/parameter_constraints.h"
#include "models/model_function.h"

namespace quillon {

class CConstrainedModel final : public CModelFunction, public IParameterLog {
  public:
    // Starts from the inner model's parameters: held ones take their held
    // value, bounded ones outside their bounds move to the nearest bound (the
    // log says so). The inner model must outlive this one.
    CConstrainedModel(CModelFunction& inner, const FitConstraints& constraints);

    bool EvaluateAll(double* internal) override;
    // The user's model's exact derivatives, when it has them, on the free
    // parameters' scales (by the chain rule through the maps).
    bool ValuesAndGradients(const double* internal, std::span<double> values,
                            std::span<double> gradients) override;
    // n minus the parameters the fit varies, those held at a bound by the
    // fit itself included.
    int DegreesOfFreedom() const override { return m_dof; }
    double Value(double* internal, double x) const override;
    // Value expands the internal parameters into a cache first.
    bool ValueIsThreadSafe() const override { return false; }

    // The inner model's parameters from the current free ones, and its steps
    // from the free ones' steps (standard errors after a method): 0 for a held
    // parameter, mapped to the parameter's own scale for a bounded one, and
    // not a number for one that ended at a bound.
    void WriteBack();
    // The full m x m inverse curvature from the free one (row by row): held
    // rows and columns 0, those of a parameter at a bound not a number.
    std::vector<double> FullInverseCurvature(const double* freeInverse) const;
    // Per parameter, after WriteBack: held, bounds, ended at a bound.
    FitConstraintMarks Marks() const;
    int FullParamCount() const { return static_cast<int>(m_full.size()); }
    // After WriteBack, per parameter: the bound it may be pressing against.
    // haveErrors: the steps hold standard errors (a run with statistics);
    // converged: the run converged.
    std::vector<std::optional<double>> PressedBounds(bool haveErrors, bool converged) const;

    void AppendInitialValues(std::string& log, const double* internal) const override;
    void AppendColumnTitles(std::string& log) const override;
    void AppendValues(std::string& log, const double* internal) const override;

  private:
    // The full vector for the free parameters u into m_full.
    void Expand(const double* internal) const;
    // The finite-difference step on the internal scale that moves a bounded
    // parameter by its own step, towards the inside of its bounds.
    double InternalStep(std::size_t k, double start, double step) const;

    CModelFunction& m_inner;
    FitConstraints m_constraints;
    std::vector<int> m_free;                       // full index of each free parameter
    std::vector<BoundTransform> m_transforms;      // per free parameter
    std::vector<std::optional<double>> m_atBound;  // per full index, after WriteBack
    std::vector<std::string> m_startNotes;         // lines for the log's start block
    int m_dof = 0;
    mutable std::vector<double> m_full;
    mutable std::vector<double> m_lastInternal;  // the u that m_full was expanded from
    mutable bool m_expanded = false;
    std::vector<double> m_fullGradients;  // the user's model's m rows of n
    bool m_noExactDerivatives = false;    // the user's model has none
};

}  // namespace quillon
