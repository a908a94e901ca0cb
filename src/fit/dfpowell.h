// DFPowell: the workspace all four minimisation methods of a nonlinear fit
// (Marquardt, Expansion, Powell, Gradient-search) run on, each in a file of
// its own. It works in place on the model's parameters a and steps h; after a
// method h holds the standard errors.
#pragma once

#include <limits>
#include <string>
#include <vector>

#include "models/model_function.h"
#include "records/fit_codes.h"
#include "records/point_team.h"
#include "records/records.h"

namespace quillon {

// What one run of a method ends with.
struct MethodRun {
    FitOutcome outcome = FitOutcome::NotConverged;
    // Chi-square per degree of freedom after Converged and IterationLimit;
    // not a number otherwise, and without degrees of freedom.
    double chisqDof = std::numeric_limits<double>::quiet_NaN();
    // Marquardt's damping factor at the end (the value LambdaAbnormal
    // reports); not a number for the other methods.
    double lambda = std::numeric_limits<double>::quiet_NaN();
    // The iterations begun, as numbered in the log from 0; the closing line
    // of a converged run is not one of them.
    int iterations = 0;
};

// How a method's log shows the parameters when the workspace runs on a
// model whose parameters are not the user's (a fit with held or bounded
// parameters); the workspace hands it its own parameter vector.
class IParameterLog {
  public:
    virtual ~IParameterLog() = default;
    // The lines of the "Initial values of parameters:" block.
    virtual void AppendInitialValues(std::string& log, const double* internal) const = 0;
    // The column titles of the iteration table after "Sum of sqrs".
    virtual void AppendColumnTitles(std::string& log) const = 0;
    // One iteration line's parameter values.
    virtual void AppendValues(std::string& log, const double* internal) const = 0;
};

class DFPowell {
  public:
    // Takes a, h, x, y, w and the counts from the model. The log string is
    // the caller's; the methods append their iteration logs to it. Ends the
    // process with status -1 when the arrays cannot be allocated.
    DFPowell(CModelFunction& model, std::string& log, int nCut, double chiCut);
    // As above with n_cut and chi_cut from the settings, and central
    // differences when they ask for precise derivatives.
    DFPowell(CModelFunction& model, std::string& log, const ConvergenceSettings& convergence);
    DFPowell(const DFPowell&) = delete;
    DFPowell& operator=(const DFPowell&) = delete;
    ~DFPowell() = default;

    // Damped Gauss-Newton.
    MethodRun Marquardt();
    // Undamped Gauss-Newton; every step is taken.
    MethodRun Expansion();
    // Direction-set method with a parabolic line search.
    MethodRun Powell();
    // Steepest descent scaled by the steps, with halving, expansion and a
    // closing parabola.
    MethodRun GradientSearch();

    // Fills residual block `block` for the parameters p and returns their sum
    // of squares. p may be normalised in place by the model.
    double ChiSquare(double* p, int block);
    // f[0], beta and alpha at a, by forward differences.
    void BuildCurvature();
    // f[0] and beta only.
    void BuildHalfGradient();
    // f[0] and the curvature into work; beta untouched.
    void BuildWorkCurvature();
    // work = alpha with the diagonal multiplied by (1 + lambda).
    void DampWork();
    // trial = a + work * beta.
    void NewtonStep();
    // Gauss-Jordan on work without pivoting; false on a zero pivot.
    bool InvertInPlace();
    // Standard errors into h; returns chi-square per degree of freedom.
    double FinishStatistics();
    // The start values and the title of one of the four methods.
    void LogHeader(FitMethod method);
    void LogLine(int k);

    // Logs the parameters through view instead of as they are; the view
    // must outlive the workspace.
    void SetParameterLog(const IParameterLog* view) { m_view = view; }

    double ChisqPrev() const { return m_chisqPrev; }
    const double* Work() const { return m_work.data(); }
    const double* Alpha() const { return m_alpha.data(); }
    const double* Beta() const { return m_beta.data(); }
    double F0() const { return m_f[0]; }
    int ParamCount() const { return m_m; }

  private:
    double* Block(int block) { return m_residuals.data() + static_cast<std::size_t>(block) * m_nn; }
    double& At(std::vector<double>& matrix, int row, int col) {
        return matrix[static_cast<std::size_t>(row) * m_mm + static_cast<std::size_t>(col)];
    }
    template <class Array>
    static double* Row(Array& matrix, int row, std::size_t width) {
        return matrix.data() + static_cast<std::size_t>(row) * width;
    }
    // The end of a run that leaves the steps as they are.
    static MethodRun EndWithoutStatistics(FitOutcome outcome, int iterations);
    // The end of a run with parameters: standard errors into h.
    MethodRun EndWithStatistics(FitOutcome outcome, int iterations);
    // Marquardt's iterations from the current lambda.
    MethodRun DampedIterations();

    // For a model with exact derivatives: f[0], the residuals in block 0,
    // the Jacobian of the residuals and beta = -J r, all at a. False for any
    // other model, which takes finite differences instead.
    bool ExactDerivatives();
    // True unless the model has exact derivatives and the step from a to
    // the trial point moved some parameter by more than the tolerance.
    bool StepSettled();
    // With central differences switched on: f[0] and the residuals in block
    // 0, the Jacobian (r(a + h e_i) - r(a - h e_i)) / 2h and beta = -J r, all
    // at a. False when they are off.
    bool CentralDerivatives();
    // The exact derivatives, else the central ones; false for neither.
    bool JacobianDerivatives() { return ExactDerivatives() || CentralDerivatives(); }
    // Row i of rows: a with the step h[i] added to a[i].
    void BuildTrialRows();
    // Jacobian row i from blocks 1 and 0; returns nothing, sums are taken later.
    void JacobianRow(int i);
    // ChiSquare at trial row i into block 1, then JacobianRow(i); a large
    // set forms each block's Jacobian entries as soon as its residuals are
    // there, so the team works on them while this thread adds the squares.
    double TrialRowChiSquare(int i);
    // The symmetric sums of the Jacobian rows into matrix (alpha or work).
    void CurvatureFromJacobian(std::vector<double>& matrix);
    // One pass of those sums: row i against rows k0 .. k0+3 (fewer at the end).
    void CurvaturePass(std::vector<double>& matrix, int i, int k0);
    static constexpr int kCurvatureLanes = 4;
    // True when the set is large enough, and threads are lent, to share the
    // per-point work among them.
    bool SharesPoints() const;
    // ChiSquare with the per-point work shared; the sum is still one pass in
    // point order on this thread. alsoPerBlock(first, last) runs for every
    // range of points once its residuals are formed.
    template <class AlsoPerBlock>
    double SharedChiSquare(double* p, int block, AlsoPerBlock&& alsoPerBlock);

    // Gradient search: the downhill direction scaled by the steps; false
    // when it is not a number (chi-square flat in every parameter).
    bool GradientDirection();
    // trial = a + s * direction.
    void TrialAlongDirection(double s);
    bool TrialEqualsA() const;

    // Powell: derivative vectors, directions and the inverse Gram matrix;
    // false when the Gram matrix is singular.
    bool PowellStart();
    // The Gauss-Newton step in the directions, as a direction in parameter
    // space; returns the shortest line step that moves some parameter by its
    // step h (1e30 when every component is negligible).
    double PowellLineDirection();
    void PowellLineSearch();
    double PowellRelabel(double c);
    // Moves a to the last point tried on the line just searched and puts the
    // line in place of one direction; false when the new direction set is
    // singular.
    bool PowellReplaceDirection();
    // The line in place of direction q, the one that gave most to the step,
    // with its unit derivative vector; leaves that vector's products with
    // every derivative vector in direction, and rhs from the residuals of the
    // newest point, which then counts as the best. Returns q.
    int PowellNewDirection();
    // The inverse Gram matrix in work for the new direction q, by removing
    // the old one and bordering; false when it is singular.
    bool PowellBorderInverse(int q);
    double GammaDot(int i, int k);
    void SwapWorkRowAndColumn(int q, int last);

    // Powell's own state between its steps.
    struct PowellState {
        // Positions on the searched line of the three points whose residuals
        // are in blocks 0, 1 and 2, and which block holds the lowest, the second
        // and the newest chi-square.
        double t[3] = {0.0, 0.0, 0.0};
        int best = 0;
        int second = 1;
        int newest = 2;
        // Per direction: minus the derivative vector against the residuals of the
        // best point.
        std::vector<double> rhs;
        // The Gauss-Newton step in the directions, G^-1 rhs; replacing a
        // direction spends it and uses the vector as scratch.
        std::vector<double> coefficients;
    };

    // The model's arrays, worked on in place, and their sizes.
    CModelFunction& m_model;
    double* m_a;
    double* m_h;
    const double* m_x;
    const double* m_y;
    const double* m_w;  // the model's weights, or m_unitWeights
    int m_m;
    int m_n;
    std::size_t m_mm;  // m as a size, the row width of the m x m matrices
    std::size_t m_nn;  // n as a size, the row width of residuals and Jacobian
    double m_dof;

    int m_nCut;
    double m_chiCut;
    std::string& m_log;

    // Shared by the methods: chi-square at up to three points, the last
    // iteration's chi-square, the residual blocks 0..2, the Jacobian, the
    // curvature alpha and its working copy, the half gradient beta, the
    // trial rows and points, and a direction in parameter space. Powell
    // keeps its directions in alpha and the inverse Gram matrix in work.
    double m_f[3] = {0.0, 0.0, 0.0};
    double m_chisqPrev = 0.0;
    PointArray m_residuals;
    PointArray m_jacobian;
    std::vector<double> m_alpha;
    std::vector<double> m_work;
    std::vector<double> m_beta;
    std::vector<double> m_rows;
    std::vector<double> m_trial;
    std::vector<double> m_direction;
    PointArray m_unitWeights;  // used when the model carries no weights

    const IParameterLog* m_view = nullptr;
    bool m_central = false;       // central differences (precise derivatives)
    bool m_exactModel = false;    // the model gave exact derivatives
    std::vector<double> m_minus;  // a - h e_i for central differences
    double m_lambda = 0.001;      // Marquardt's damping factor
    PowellState m_powell;
};

}  // namespace quillon
