#include "fit/parameter_constraints.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quillon {
namespace {

// How close to a bound, as a part of the map's scale, a parameter counts as
// sitting on it. The maps flatten towards the bounds, so a fit that presses
// against one stops a little inside it.
constexpr double kAtBoundFraction = 1e-6;
// Closer than this part of the scale, a fit may be pressing against a bound.
constexpr double kPressedFraction = 1e-3;
// ... and after a run that did not converge.
constexpr double kNearFraction = 5e-2;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

BoundKind KindOf(const ParameterBounds& bounds) {
    const bool lower = std::isfinite(bounds.lower);
    const bool upper = std::isfinite(bounds.upper);
    if (lower && upper) {
        return BoundKind::Both;
    }
    if (lower) {
        return BoundKind::Lower;
    }
    return upper ? BoundKind::Upper : BoundKind::None;
}

// The distance scale of a one-sided map: the start's distance from the
// bound, or the bound's size, or 1.
double OneSidedScale(double bound, double start) {
    const double distance = std::fabs(start - bound);
    if (distance > 0.0 && std::isfinite(distance)) {
        return distance;
    }
    return std::fabs(bound) > 0.0 ? std::fabs(bound) : 1.0;
}

// u^2 / (sqrt(u^2 + s^2) + s) = sqrt(u^2 + s^2) - s without cancellation.
double RiseAboveBound(double u, double s) {
    return u * u / (std::sqrt(u * u + s * s) + s);
}

}  // namespace

bool FitConstraints::Any() const {
    return std::any_of(params.begin(), params.end(), [](const ParameterConstraint& c) {
        return c.fixed || c.bounds.has_value();
    });
}

ParameterConstraint FitConstraints::At(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= params.size()) {
        return {};
    }
    return params[static_cast<std::size_t>(index)];
}

FitConstraints ConstraintsFromDirectives(const DirectiveLists& directives) {
    FitConstraints constraints;
    auto take = [&](const InitialValueDirective& d) {
        if (d.index < 0) {
            return;
        }
        const auto at = static_cast<std::size_t>(d.index);
        if (at >= constraints.params.size()) {
            constraints.params.resize(at + 1);
        }
        ParameterConstraint& c = constraints.params[at];
        if (d.hasValue) {
            c = ParameterConstraint{.fixed = d.fixed, .value = d.value, .bounds = d.bounds};
        } else {
            c.bounds = d.bounds;
        }
        if (!c.fixed && c.bounds && c.bounds->lower == c.bounds->upper) {
            c.fixed = true;
            c.value = c.bounds->lower;
        }
    };
    std::for_each(directives.laterSets.begin(), directives.laterSets.end(), take);
    std::for_each(directives.thisSet.begin(), directives.thisSet.end(), take);
    return constraints;
}

BoundTransform::BoundTransform(const ParameterBounds& bounds, double start)
    : m_kind(KindOf(bounds)), m_lower(bounds.lower), m_upper(bounds.upper) {
    if (m_kind == BoundKind::Lower) {
        m_scale = OneSidedScale(m_lower, start);
    } else if (m_kind == BoundKind::Upper) {
        m_scale = OneSidedScale(m_upper, start);
    }
}

double BoundTransform::ToParameter(double u) const {
    switch (m_kind) {
        case BoundKind::Both:
            return m_lower + (m_upper - m_lower) * (std::sin(u) + 1.0) / 2.0;
        case BoundKind::Lower:
            return m_lower + RiseAboveBound(u, m_scale);
        case BoundKind::Upper:
            return m_upper - RiseAboveBound(u, m_scale);
        default:
            return u;
    }
}

double BoundTransform::ToInternal(double p) const {
    switch (m_kind) {
        case BoundKind::Both: {
            const double s = 2.0 * (p - m_lower) / (m_upper - m_lower) - 1.0;
            return std::asin(std::clamp(s, -1.0, 1.0));
        }
        case BoundKind::Lower: {
            const double d = std::max(p - m_lower, 0.0);
            return std::sqrt(d * (d + 2.0 * m_scale));
        }
        case BoundKind::Upper: {
            const double d = std::max(m_upper - p, 0.0);
            return std::sqrt(d * (d + 2.0 * m_scale));
        }
        default:
            return p;
    }
}

double BoundTransform::Derivative(double u) const {
    switch (m_kind) {
        case BoundKind::Both:
            return (m_upper - m_lower) * std::cos(u) / 2.0;
        case BoundKind::Lower:
            return u / std::sqrt(u * u + m_scale * m_scale);
        case BoundKind::Upper:
            return -u / std::sqrt(u * u + m_scale * m_scale);
        default:
            return 1.0;
    }
}

double BoundTransform::SteepestDerivative() const {
    return m_kind == BoundKind::Both ? (m_upper - m_lower) / 2.0 : 1.0;
}

std::optional<double> BoundTransform::BoundReached(double p) const {
    return Within(p, kAtBoundFraction * Scale());
}

std::optional<double> BoundTransform::BoundPressed(double p, double sigma, bool converged) const {
    const double distance = (converged ? kPressedFraction : kNearFraction) * Scale();
    return Within(p, std::isfinite(sigma) ? std::max(distance, sigma) : distance);
}

double BoundTransform::Scale() const {
    return m_kind == BoundKind::Both ? m_upper - m_lower : m_scale;
}

std::optional<double> BoundTransform::Within(double p, double tolerance) const {
    if (m_kind == BoundKind::None || !std::isfinite(p)) {
        return std::nullopt;
    }
    // The nearer bound (an open side is infinitely far).
    const double below = m_kind == BoundKind::Upper ? kInfinity : p - m_lower;
    const double above = m_kind == BoundKind::Lower ? kInfinity : m_upper - p;
    const double nearer = std::min(below, above);
    if (!(nearer <= tolerance)) {
        return std::nullopt;
    }
    return below <= above ? m_lower : m_upper;
}

double ClampIntoBounds(double p, const ParameterBounds& bounds) {
    if (p < bounds.lower) {
        return bounds.lower;
    }
    return p > bounds.upper ? bounds.upper : p;
}

}  // namespace quillon
