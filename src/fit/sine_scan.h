// The period scan of the start search: for trial angular frequencies over
// the range the data can show, the amplitude and phase (as sine and cosine
// coefficients), offset and slope solved by weighted linear least squares;
// the trials that fit best are the candidates for a periodic model's start.
#pragma once

#include <limits>
#include <span>
#include <vector>

namespace quillon {

// What the linear part of the scanned curve holds besides the sine.
struct SineScanTerms {
    bool offset = false;
    bool slope = false;
    // Damping exp(-(x - onset) / decay) is scanned over a few decay lengths.
    bool damped = false;
    double onset = 0.0;
};

// One trial: A*sin(omega*x + phase)*damping + offset + slope*x and the
// weighted sum of squares it leaves.
struct SineTrial {
    double omega = 0.0;
    double amplitude = 0.0;  // not negative
    double phase = 0.0;      // in (-pi, pi]
    double offset = 0.0;
    double slope = 0.0;
    double decay = std::numeric_limits<double>::infinity();
    double squares = std::numeric_limits<double>::infinity();
};

// The points a scan reads: X, Y and the weights 1/SD of the fit (empty: all
// one). Sets above a few thousand points are scanned on an evenly thinned
// subset.
struct SineScanData {
    std::span<const double> x;
    std::span<const double> y;
    std::span<const double> w;
};

// The best `keep` trials that are local minima of the sum of squares over
// the frequency grid, best first, each refined by a parabola through its
// neighbours. From half a cycle to (n - 1) / 2 cycles over the X span in
// steps of half a cycle. Empty when the data cannot show a period (fewer
// than four points or no X span).
std::vector<SineTrial> ScanSine(const SineScanData& data, const SineScanTerms& terms, int keep);

}  // namespace quillon
