// Held and bounded parameters of a nonlinear fit: which parameters the
// initial-value directives hold, the ranges they keep the others in, and the
// smooth maps that let the methods work on bounded parameters without bounds.
#pragma once

#include <optional>
#include <vector>

#include "records/records.h"

namespace quillon {

struct ParameterConstraint {
    bool fixed = false;  // held at the directive's value
    double value = 0.0;  // the held value
    // Held at a bound by the fit itself: the parameter pressed against the
    // bound and is finished there; it still counts as a fitted parameter.
    bool atBound = false;
    std::optional<ParameterBounds> bounds;
};

// The constraints of one fit by parameter index; indices beyond the list are
// free and unbounded.
struct FitConstraints {
    std::vector<ParameterConstraint> params;

    // True when some parameter is held or bounded.
    bool Any() const;
    // The constraint of a parameter; a free, unbounded one past the list.
    ParameterConstraint At(int index) const;
};

// The constraints the directives give, the later-set list first and the
// this-set list after it: the last line for an index decides whether it is
// held and how it is bounded. A line without a value (the command line's
// bound) adds its bounds only. Equal bounds hold the parameter at that value.
FitConstraints ConstraintsFromDirectives(const DirectiveLists& directives);

enum class BoundKind { None, Lower, Upper, Both };

// The map between a parameter p and the unbounded variable u the methods
// vary: p = lo + (hi - lo) (sin u + 1) / 2 between two bounds, and
// p = lo + u^2 / (sqrt(u^2 + s^2) + s) (mirrored for an upper bound) above
// one; s is the distance of the start from the bound, so the map is close to
// linear where the fit begins.
class BoundTransform {
  public:
    BoundTransform() = default;
    // For a parameter starting at start, which must lie within bounds.
    BoundTransform(const ParameterBounds& bounds, double start);

    BoundKind Kind() const { return m_kind; }
    double ToParameter(double u) const;
    double ToInternal(double p) const;
    // dp/du at u.
    double Derivative(double u) const;
    // The largest |dp/du| anywhere: half the range between two bounds, 1
    // (far from the bound) above or below one.
    double SteepestDerivative() const;
    // The bound p has reached: within a small part of the map's scale (the
    // range, or the start's distance from a single bound). Nothing inside.
    std::optional<double> BoundReached(double p) const;
    // The bound a fit that ended at p (with standard error sigma, NaN when
    // unknown) may be pressing against: p within a thousandth of the map's
    // scale of it (a twentieth after a run that did not converge, which may
    // have stopped circling near the bound), or within sigma. Nothing when p
    // is clear of both.
    std::optional<double> BoundPressed(double p, double sigma, bool converged = true) const;

  private:
    // The range between two bounds, the start's distance from a single one.
    double Scale() const;
    // The bound p lies within tolerance of.
    std::optional<double> Within(double p, double tolerance) const;

    BoundKind m_kind = BoundKind::None;
    double m_lower = 0.0;
    double m_upper = 0.0;
    double m_scale = 1.0;
};

// p moved into bounds: the nearest bound when it lies outside (NaN stays).
double ClampIntoBounds(double p, const ParameterBounds& bounds);

}  // namespace quillon
