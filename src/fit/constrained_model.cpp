#include "fit/constrained_model.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "records/number_format.h"

namespace quillon {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

int FreeCount(const CModelFunction& inner, const FitConstraints& constraints) {
    int count = 0;
    for (int i = 0; i < inner.ParamCount(); ++i) {
        count += constraints.At(i).fixed ? 0 : 1;
    }
    return count;
}

// " fixed", " [lo, hi]" or both, as the directive gave them; an open side
// stays empty.
std::string ConstraintSuffix(const ParameterConstraint& c) {
    std::string text = c.fixed && !c.atBound ? " fixed" : "";
    if (c.bounds) {
        const auto side = [](double b) { return std::isfinite(b) ? Sprintf("%lg", b) : " "; };
        text += " [" + side(c.bounds->lower) + ", " + side(c.bounds->upper) + "]";
        if (!std::isfinite(c.bounds->upper)) {
            text.erase(text.size() - 2, 1);  // "[0, ]" rather than "[0,  ]"
        }
    }
    return text;
}

bool Outside(double p, const ParameterBounds& bounds) {
    return p < bounds.lower || p > bounds.upper;
}

}  // namespace

CConstrainedModel::CConstrainedModel(CModelFunction& inner, const FitConstraints& constraints)
    : CModelFunction(inner.XData().data(), inner.YData().data(), inner.WData().data(),
                     inner.PointCount(), inner.ER(), FreeCount(inner, constraints)),
      m_inner(inner),
      m_constraints(constraints) {
    const std::span<double> a = inner.Params();
    const std::span<double> h = inner.Steps();
    m_full.assign(a.begin(), a.end());
    m_atBound.assign(m_full.size(), std::nullopt);
    int varied = 0;
    for (std::size_t i = 0; i < m_full.size(); ++i) {
        const ParameterConstraint c = constraints.At(static_cast<int>(i));
        varied += !c.fixed || c.atBound ? 1 : 0;
        if (c.atBound) {
            m_full[i] = c.value;
            m_atBound[i] = c.value;
            continue;
        }
        if (c.fixed) {
            m_full[i] = c.value;
            if (c.bounds && Outside(c.value, *c.bounds)) {
                m_startNotes.push_back(Sprintf("Held a[%d] = %lg lies outside its bounds.\n",
                                               static_cast<int>(i), c.value));
            }
            continue;
        }
        double start = a[i];
        BoundTransform transform;
        if (c.bounds) {
            if (Outside(start, *c.bounds)) {
                const double moved = ClampIntoBounds(start, *c.bounds);
                m_startNotes.push_back(Sprintf("Start of a[%d] moved into its bounds: %lg -> %lg\n",
                                               static_cast<int>(i), start, moved));
                start = moved;
            }
            m_full[i] = start;
            transform = BoundTransform(*c.bounds, start);
        }
        const std::size_t k = m_free.size();
        m_free.push_back(static_cast<int>(i));
        m_transforms.push_back(transform);
        m_pParams[k] = transform.ToInternal(start);
        m_pSteps[k] = InternalStep(k, start, h[i]);
    }
    m_lastInternal.assign(m_free.size(), 0.0);
    m_dof = inner.PointCount() - varied;
}

double CConstrainedModel::InternalStep(std::size_t k, double start, double step) const {
    const BoundTransform& t = m_transforms[k];
    if (t.Kind() == BoundKind::None) {
        return step;  // the free parameter is stepped exactly as without constraints
    }
    double h = std::fabs(step);
    if (!(h > 0.0) || !std::isfinite(h)) {
        h = std::max(std::fabs(start) * ER(), kMinStep);
    }
    // The step moves p by h where the map is steepest and by less towards
    // the bounds, so it is never coarser than the parameter's own step
    // wherever the fit goes; from a bound it still moves p a little.
    const double u = h / t.SteepestDerivative();
    return u >= kMinStep && std::isfinite(u) ? u : kMinStep;
}

void CConstrainedModel::Expand(const double* internal) const {
    const std::size_t free = m_free.size();
    if (m_expanded && std::equal(internal, internal + free, m_lastInternal.begin())) {
        return;
    }
    for (std::size_t i = 0; i < m_full.size(); ++i) {
        const ParameterConstraint c = m_constraints.At(static_cast<int>(i));
        if (c.fixed) {
            m_full[i] = c.value;
        }
    }
    for (std::size_t k = 0; k < free; ++k) {
        m_full[static_cast<std::size_t>(m_free[k])] = m_transforms[k].ToParameter(internal[k]);
    }
    std::copy(internal, internal + free, m_lastInternal.begin());
    m_expanded = true;
}

bool CConstrainedModel::EvaluateAll(double* internal) {
    Expand(internal);
    if (!m_inner.EvaluateAll(m_full.data())) {
        return false;
    }
    const std::span<const double> values = m_inner.PointValues();
    const std::span<double> out = PointValueBuffer();
    std::copy(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(out.size()),
              out.begin());
    return true;
}

bool CConstrainedModel::ValuesAndGradients(const double* internal, std::span<double> values,
                                           std::span<double> gradients) {
    if (m_noExactDerivatives) {
        return false;
    }
    Expand(internal);
    const std::size_t n = values.size();
    m_fullGradients.resize(m_full.size() * n);
    if (!m_inner.ValuesAndGradients(m_full.data(), values, m_fullGradients)) {
        m_noExactDerivatives = true;  // asked once; the buffer is not needed
        m_fullGradients = {};
        return false;
    }
    for (std::size_t k = 0; k < m_free.size(); ++k) {
        const double slope = m_transforms[k].Derivative(internal[k]);
        const double* full = m_fullGradients.data() + static_cast<std::size_t>(m_free[k]) * n;
        double* row = gradients.data() + k * n;
        for (std::size_t j = 0; j < n; ++j) {
            row[j] = full[j] * slope;
        }
    }
    return true;
}

double CConstrainedModel::Value(double* internal, double x) const {
    Expand(internal);
    return m_inner.Value(m_full.data(), x);
}

void CConstrainedModel::WriteBack() {
    m_expanded = false;
    Expand(m_pParams.data());
    const std::span<double> a = m_inner.Params();
    const std::span<double> h = m_inner.Steps();
    std::copy(m_full.begin(), m_full.end(), a.begin());
    for (std::size_t i = 0; i < m_full.size(); ++i) {
        const ParameterConstraint c = m_constraints.At(static_cast<int>(i));
        if (c.fixed) {
            h[i] = c.atBound ? kNaN : 0.0;
        }
    }
    for (std::size_t k = 0; k < m_free.size(); ++k) {
        const auto i = static_cast<std::size_t>(m_free[k]);
        const BoundTransform& t = m_transforms[k];
        if (t.Kind() == BoundKind::None) {
            h[i] = m_pSteps[k];
            continue;
        }
        m_atBound[i] = t.BoundReached(a[i]);
        // At a bound the map is flat, so a mapped error would be a fake small one.
        h[i] = m_atBound[i] ? kNaN : std::fabs(t.Derivative(m_pParams[k])) * m_pSteps[k];
    }
}

std::vector<double> CConstrainedModel::FullInverseCurvature(const double* freeInverse) const {
    const std::size_t m = m_full.size();
    const std::size_t free = m_free.size();
    std::vector<double> derivative(free);
    for (std::size_t k = 0; k < free; ++k) {
        derivative[k] = m_transforms[k].Derivative(m_pParams[k]);
    }
    std::vector<double> full(m * m, 0.0);
    for (std::size_t r = 0; r < free; ++r) {
        const auto i = static_cast<std::size_t>(m_free[r]);
        for (std::size_t c = 0; c < free; ++c) {
            const auto j = static_cast<std::size_t>(m_free[c]);
            full[i * m + j] = derivative[r] * derivative[c] * freeInverse[r * free + c];
        }
    }
    for (std::size_t i = 0; i < m; ++i) {
        if (!m_atBound[i]) {
            continue;
        }
        for (std::size_t j = 0; j < m; ++j) {
            full[i * m + j] = kNaN;
            full[j * m + i] = kNaN;
        }
    }
    return full;
}

FitConstraintMarks CConstrainedModel::Marks() const {
    FitConstraintMarks marks;
    for (std::size_t i = 0; i < m_full.size(); ++i) {
        const ParameterConstraint c = m_constraints.At(static_cast<int>(i));
        marks.fixed.push_back(c.fixed && !c.atBound);
        marks.bounds.push_back(c.bounds);
        marks.atBound.push_back(m_atBound[i].has_value());
    }
    return marks;
}

std::vector<std::optional<double>> CConstrainedModel::PressedBounds(bool haveErrors,
                                                                    bool converged) const {
    std::vector<std::optional<double>> pressed(m_full.size());
    for (std::size_t k = 0; k < m_free.size(); ++k) {
        const BoundTransform& t = m_transforms[k];
        if (t.Kind() == BoundKind::None) {
            continue;
        }
        const auto i = static_cast<std::size_t>(m_free[k]);
        const double sigma =
            haveErrors ? std::fabs(t.Derivative(m_pParams[k])) * m_pSteps[k] : kNaN;
        pressed[i] = t.BoundPressed(m_full[i], sigma, converged);
    }
    return pressed;
}

void CConstrainedModel::AppendInitialValues(std::string& log, const double* internal) const {
    Expand(internal);
    for (std::size_t i = 0; i < m_full.size(); ++i) {
        const ParameterConstraint c = m_constraints.At(static_cast<int>(i));
        AppendSprintf(log, "<a[%3d] = %lg", static_cast<int>(i), m_full[i]);
        log += ConstraintSuffix(c) + ">\n";
    }
    for (const std::string& note : m_startNotes) {
        log += note;
    }
}

void CConstrainedModel::AppendColumnTitles(std::string& log) const {
    for (const int i : m_free) {
        AppendSprintf(log, "   a[%3d]   ", i);
    }
}

void CConstrainedModel::AppendValues(std::string& log, const double* internal) const {
    Expand(internal);
    for (const int i : m_free) {
        AppendSprintf(log, "%10lg  ", m_full[static_cast<std::size_t>(i)]);
    }
}

}  // namespace quillon
