#include "fit/sine_scan.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace quillon {
namespace {

constexpr std::size_t kMaxScanPoints = 4096;
constexpr double kCycleStep = 0.5;  // cycles over the X span between trials
constexpr int kResyncEvery = 32;    // exact sines again after this many rotations
// Decay lengths of the damped scan, in X spans.
constexpr std::array<double, 8> kDecaySpans{0.125, 0.25, 0.5, 1.0, 2.0, 4.0, 16.0, 64.0};
constexpr double kTwoPi = 6.283185307179586;

// The scanned points: X centred for the slope, the squared weights, and the
// sums that do not depend on the trial.
struct ScanPoints {
    std::vector<double> x;
    std::vector<double> y;
    std::vector<double> w2;
    double centre = 0.0;
    double span = 0.0;
};

ScanPoints Gather(const SineScanData& data) {
    ScanPoints p;
    const std::size_t n = std::min(data.x.size(), data.y.size());
    const std::size_t stride = n > kMaxScanPoints ? (n + kMaxScanPoints - 1) / kMaxScanPoints : 1;
    double lo = data.x.empty() ? 0.0 : data.x[0];
    double hi = lo;
    for (std::size_t j = 0; j < n; ++j) {
        lo = std::min(lo, data.x[j]);
        hi = std::max(hi, data.x[j]);
    }
    for (std::size_t j = 0; j < n; j += stride) {
        const double w = data.w.size() == n ? data.w[j] : 1.0;
        if (!std::isfinite(data.x[j]) || !std::isfinite(data.y[j]) || !std::isfinite(w)) {
            continue;
        }
        p.x.push_back(data.x[j]);
        p.y.push_back(data.y[j]);
        p.w2.push_back(w * w);
    }
    p.centre = (lo + hi) / 2;
    p.span = hi - lo;
    return p;
}

// Solves the k x k symmetric positive definite system g c = b by Cholesky,
// c into b; false when g is not positive definite.
bool SolveSmall(std::array<double, 16>& g, std::array<double, 4>& b, int k) {
    for (int i = 0; i < k; ++i) {
        for (int j = 0; j <= i; ++j) {
            double sum = g[static_cast<std::size_t>(i * 4 + j)];
            for (int l = 0; l < j; ++l) {
                sum -=
                    g[static_cast<std::size_t>(i * 4 + l)] * g[static_cast<std::size_t>(j * 4 + l)];
            }
            if (i == j) {
                if (!(sum > 0.0)) {
                    return false;
                }
                g[static_cast<std::size_t>(i * 4 + i)] = std::sqrt(sum);
            } else {
                g[static_cast<std::size_t>(i * 4 + j)] =
                    sum / g[static_cast<std::size_t>(j * 4 + j)];
            }
        }
    }
    for (int i = 0; i < k; ++i) {
        double sum = b[static_cast<std::size_t>(i)];
        for (int l = 0; l < i; ++l) {
            sum -= g[static_cast<std::size_t>(i * 4 + l)] * b[static_cast<std::size_t>(l)];
        }
        b[static_cast<std::size_t>(i)] = sum / g[static_cast<std::size_t>(i * 4 + i)];
    }
    for (int i = k - 1; i >= 0; --i) {
        double sum = b[static_cast<std::size_t>(i)];
        for (int l = i + 1; l < k; ++l) {
            sum -= g[static_cast<std::size_t>(l * 4 + i)] * b[static_cast<std::size_t>(l)];
        }
        b[static_cast<std::size_t>(i)] = sum / g[static_cast<std::size_t>(i * 4 + i)];
    }
    return true;
}

// The weighted sums of one trial: the basis is s, c (the damped sine and
// cosine), then 1 and x - centre as the terms ask.
struct TrialSums {
    double ss = 0.0, sc = 0.0, cc = 0.0, s1 = 0.0, c1 = 0.0, sx = 0.0, cx = 0.0, sy = 0.0, cy = 0.0;
};

// The sums that do not depend on the trial.
struct FixedSums {
    double w = 0.0, wx = 0.0, wxx = 0.0, wy = 0.0, wxy = 0.0, wyy = 0.0;
};

FixedSums SumFixed(const ScanPoints& p) {
    FixedSums f;
    for (std::size_t j = 0; j < p.x.size(); ++j) {
        const double d = p.x[j] - p.centre;
        f.w += p.w2[j];
        f.wx += p.w2[j] * d;
        f.wxx += p.w2[j] * d * d;
        f.wy += p.w2[j] * p.y[j];
        f.wxy += p.w2[j] * d * p.y[j];
        f.wyy += p.w2[j] * p.y[j] * p.y[j];
    }
    return f;
}

// Solves the trial's normal equations; the coefficients (s, c, offset,
// slope) into coef and the sum of squares left, or infinity when singular.
double SolveTrial(const TrialSums& t, const FixedSums& f, const SineScanTerms& terms,
                  std::array<double, 4>& coef) {
    std::array<double, 4> fs{};  // the products of each basis with 1 and x
    std::array<double, 4> fx{};
    std::array<double, 16> g{};
    int k = 2;
    g[0] = t.ss;
    g[1] = g[4] = t.sc;
    g[5] = t.cc;
    coef = {t.sy, t.cy, 0.0, 0.0};
    fs = {t.s1, t.c1, 0.0, 0.0};
    fx = {t.sx, t.cx, 0.0, 0.0};
    auto add = [&](const std::array<double, 4>& with, double self, double rhs, double other) {
        const auto r = static_cast<std::size_t>(k);
        g[r * 4 + 0] = g[0 * 4 + r] = with[0];
        g[r * 4 + 1] = g[1 * 4 + r] = with[1];
        if (k == 3) {
            g[r * 4 + 2] = g[2 * 4 + r] = other;
        }
        g[r * 4 + r] = self;
        coef[r] = rhs;
        ++k;
    };
    if (terms.offset) {
        add(fs, f.w, f.wy, 0.0);
    }
    if (terms.slope) {
        add(fx, f.wxx, f.wxy, f.wx);
    }
    std::array<double, 4> rhs = coef;
    if (!SolveSmall(g, coef, k)) {
        return std::numeric_limits<double>::infinity();
    }
    double explained = 0.0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(k); ++i) {
        explained += rhs[i] * coef[i];
    }
    return std::max(f.wyy - explained, 0.0);
}

inline void Accumulate(TrialSums& t, double s, double c, double w2, double dx, double y) {
    const double ws = w2 * s;
    const double wc = w2 * c;
    t.ss += ws * s;
    t.sc += ws * c;
    t.cc += wc * c;
    t.s1 += ws;
    t.c1 += wc;
    t.sx += ws * dx;
    t.cx += wc * dx;
    t.sy += ws * y;
    t.cy += wc * y;
}

std::vector<double> Damping(const ScanPoints& p, double onset, double decay) {
    std::vector<double> d(p.x.size(), 1.0);
    if (std::isfinite(decay)) {
        for (std::size_t j = 0; j < p.x.size(); ++j) {
            d[j] = p.x[j] > onset ? std::exp(-(p.x[j] - onset) / decay) : 1.0;
        }
    }
    return d;
}

// One trial solved with exact sines.
SineTrial SolveAt(const ScanPoints& p, const FixedSums& f, const SineScanTerms& terms,
                  const std::vector<double>& damping, double omega, double decay) {
    TrialSums t;
    for (std::size_t j = 0; j < p.x.size(); ++j) {
        const double s = std::sin(omega * p.x[j]) * damping[j];
        const double c = std::cos(omega * p.x[j]) * damping[j];
        Accumulate(t, s, c, p.w2[j], p.x[j] - p.centre, p.y[j]);
    }
    std::array<double, 4> coef{};
    SineTrial trial;
    trial.omega = omega;
    trial.decay = decay;
    trial.squares = SolveTrial(t, f, terms, coef);
    trial.amplitude = std::hypot(coef[0], coef[1]);
    trial.phase = std::atan2(coef[1], coef[0]);
    const std::size_t slot = terms.offset ? 3 : 2;
    trial.slope = terms.slope ? coef[slot] : 0.0;
    trial.offset = (terms.offset ? coef[2] : 0.0) - trial.slope * p.centre;
    return trial;
}

// The per-point factors of the trial sums: the squared weight times the
// damping squared, and the weight times the damping alone, times y and
// times x - centre.
struct PointFactors {
    std::vector<double> a2, a1, ay, ax;
};

PointFactors Factors(const ScanPoints& p, const std::vector<double>& damping) {
    PointFactors f;
    for (std::size_t j = 0; j < p.x.size(); ++j) {
        const double wd = p.w2[j] * damping[j];
        f.a2.push_back(wd * damping[j]);
        f.a1.push_back(wd);
        f.ay.push_back(wd * p.y[j]);
        f.ax.push_back(wd * (p.x[j] - p.centre));
    }
    return f;
}

template <bool withSlope>
TrialSums SumTrial(const PointFactors& f, const std::vector<double>& s,
                   const std::vector<double>& c) {
    TrialSums t;
    for (std::size_t j = 0; j < s.size(); ++j) {
        const double as = f.a2[j] * s[j];
        t.ss += as * s[j];
        t.sc += as * c[j];
        t.cc += f.a2[j] * c[j] * c[j];
        t.s1 += f.a1[j] * s[j];
        t.c1 += f.a1[j] * c[j];
        t.sy += f.ay[j] * s[j];
        t.cy += f.ay[j] * c[j];
        if constexpr (withSlope) {
            t.sx += f.ax[j] * s[j];
            t.cx += f.ax[j] * c[j];
        }
    }
    return t;
}

// The sum of squares at every grid frequency omega0 + k*step, the sines
// carried from one trial to the next by rotation.
std::vector<double> GridSquares(const ScanPoints& p, const FixedSums& f, const SineScanTerms& terms,
                                const std::vector<double>& damping, double omega0, double step,
                                int count) {
    const std::size_t n = p.x.size();
    const PointFactors factors = Factors(p, damping);
    std::vector<double> s(n), c(n), rs(n), rc(n);
    for (std::size_t j = 0; j < n; ++j) {
        rs[j] = std::sin(step * p.x[j]);
        rc[j] = std::cos(step * p.x[j]);
    }
    std::vector<double> squares(static_cast<std::size_t>(count));
    std::array<double, 4> coef{};
    for (int k = 0; k < count; ++k) {
        const double omega = omega0 + k * step;
        if (k % kResyncEvery == 0) {
            for (std::size_t j = 0; j < n; ++j) {
                s[j] = std::sin(omega * p.x[j]);
                c[j] = std::cos(omega * p.x[j]);
            }
        } else {
            for (std::size_t j = 0; j < n; ++j) {
                const double sn = s[j] * rc[j] + c[j] * rs[j];
                c[j] = c[j] * rc[j] - s[j] * rs[j];
                s[j] = sn;
            }
        }
        const TrialSums t =
            terms.slope ? SumTrial<true>(factors, s, c) : SumTrial<false>(factors, s, c);
        squares[static_cast<std::size_t>(k)] = SolveTrial(t, f, terms, coef);
    }
    return squares;
}

// A local minimum of the grid: where, its sum of squares and the shift of
// the parabola through it and its neighbours (in grid steps).
struct GridMinimum {
    double omega = 0.0;
    double decay = 0.0;
    double squares = 0.0;
    double shift = 0.0;
};

void CollectMinima(const std::vector<double>& squares, double omega0, double step, double decay,
                   std::vector<GridMinimum>& out) {
    const int count = static_cast<int>(squares.size());
    for (int k = 0; k < count; ++k) {
        const double r0 = squares[static_cast<std::size_t>(k)];
        const double rm = k > 0 ? squares[static_cast<std::size_t>(k - 1)] : r0;
        const double rp = k + 1 < count ? squares[static_cast<std::size_t>(k + 1)] : r0;
        if (!std::isfinite(r0) || r0 > rm || r0 > rp || (k > 0 && r0 == rm)) {
            continue;
        }
        const double curve = rm - 2 * r0 + rp;
        const double shift = curve > 0.0 ? std::clamp(0.5 * (rm - rp) / curve, -0.5, 0.5) : 0.0;
        out.push_back({omega0 + k * step, decay, r0, shift});
    }
}

// The minimum solved with exact sines at its grid point and at the
// parabola's vertex; the better of the two.
SineTrial Refine(const ScanPoints& p, const FixedSums& f, const SineScanTerms& terms,
                 const GridMinimum& m, double step) {
    const std::vector<double> damping = Damping(p, terms.onset, m.decay);
    SineTrial best = SolveAt(p, f, terms, damping, m.omega, m.decay);
    if (m.shift != 0.0) {
        const SineTrial refined = SolveAt(p, f, terms, damping, m.omega + m.shift * step, m.decay);
        if (refined.squares < best.squares) {
            best = refined;
        }
    }
    return best;
}

}  // namespace

std::vector<SineTrial> ScanSine(const SineScanData& data, const SineScanTerms& terms, int keep) {
    const ScanPoints p = Gather(data);
    if (p.x.size() < 4 || !(p.span > 0.0) || keep <= 0) {
        return {};
    }
    const FixedSums f = SumFixed(p);
    const double step = kTwoPi * kCycleStep / p.span;
    const double omega0 = step;  // half a cycle over the span
    const double maxCycles = (static_cast<double>(p.x.size()) - 1.0) / 2.0;
    const int count = std::max(1, static_cast<int>(maxCycles / kCycleStep));
    std::vector<double> decays{std::numeric_limits<double>::infinity()};
    if (terms.damped) {
        decays.clear();
        for (double spans : kDecaySpans) {
            decays.push_back(spans * p.span);
        }
    }
    std::vector<GridMinimum> minima;
    for (double decay : decays) {
        const std::vector<double> damping = Damping(p, terms.onset, decay);
        CollectMinima(GridSquares(p, f, terms, damping, omega0, step, count), omega0, step, decay,
                      minima);
    }
    std::stable_sort(minima.begin(), minima.end(), [](const GridMinimum& a, const GridMinimum& b) {
        return a.squares < b.squares;
    });
    // One trial per frequency: the same minimum at another decay length
    // adds nothing. Only the kept ones are solved again exactly.
    std::vector<SineTrial> kept;
    std::vector<double> keptOmegas;
    for (const GridMinimum& m : minima) {
        const bool near = std::any_of(keptOmegas.begin(), keptOmegas.end(), [&](double omega) {
            return std::fabs(omega - m.omega) < step;
        });
        if (near) {
            continue;
        }
        keptOmegas.push_back(m.omega);
        kept.push_back(Refine(p, f, terms, m, step));
        if (static_cast<int>(kept.size()) == keep) {
            break;
        }
    }
    return kept;
}

}  // namespace quillon
