// Starting values (amplitude, period, shift, level) of the period-sine models,
// from the FFT spectrum of large data sets or from a window of about one and a
// half periods in the middle of smaller ones.
#pragma once

#include <complex>
#include <optional>
#include <span>
#include <vector>

namespace quillon {

// Filled by the wave estimate; held by the period-sine models.
struct WaveFields {
    double m_dLevel = 0.0;
    double m_dWavePeriod = 0.0;
    double m_dWaveAmplitude = 0.0;
    double m_dWaveShift = 0.0;
};

// Data sets of at least this many points are estimated from the spectrum.
inline constexpr int kWaveFftMinPoints = 8192;
// Below this many points the cycle count is not computed (taken as 1).
inline constexpr int kCountCyclesMinPoints = 16;

// The spectrum of the first N points, N the largest power of two not above n.
struct Spectrum {
    std::vector<std::complex<double>> z;  // the transform Z[0..N-1]
    std::vector<double> magnitude;        // |Z[k]|/H for k = 0..H-1 (H = N/2)
    double length = 0.0;                  // X length of the N points, equally spaced
    int peakBin = 1;                      // largest magnitude among bins 1..H-1
    double cycles = 0.0;                  // peak frequency in cycles over the N points
};

// Needs at least 16 points (so H >= 8); empty with fewer, or when the memory
// for the transform cannot be obtained.
std::optional<Spectrum> AnalyseSpectrum(std::span<const double> x, std::span<const double> y);

// From the spectrum of the first 2^floor(log2 n) points: 0 with all four
// fields filled when n >= 8192, otherwise -1 without any work.
int EstimateWaveFft(std::span<const double> x, std::span<const double> y, WaveFields& wave);

// Cycles of the dominant frequency over the transformed points, refined
// between bins; 1.0 when there are fewer than 16 points.
double CountCyclesFft(std::span<const double> x, std::span<const double> y);

// X positions refined around point i from the points up to two away on
// either side, weighted by their height above (peak) or below (trough) level.
double PeakCentroid(std::span<const double> x, std::span<const double> y, int i, double level);
double TroughCentroid(std::span<const double> x, std::span<const double> y, int i, double level);

}  // namespace quillon
