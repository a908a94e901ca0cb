#include "models/wave_estimate.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <new>
#include <optional>
#include <vector>

#include "models/estimate_steps.h"
#include "models/fft.h"
#include "models/model_function.h"
#include "records/point_team.h"

namespace quillon {

namespace {

int FloorLog2(std::size_t n) {
    int bits = 0;
    while (n > 1) {
        n /= 2;
        ++bits;
    }
    return bits;
}

// Bin 0 (the mean) is never the peak; the first strictly largest bin wins.
int FindPeakBin(const std::vector<double>& m) {
    int best = 1;
    for (std::size_t k = 2; k < m.size(); ++k) {
        if (m[k] > m[static_cast<std::size_t>(best)]) {
            best = static_cast<int>(k);
        }
    }
    return best;
}

// Magnitude-weighted mean bin of the peak and its neighbours. Three bins from
// 1 to H-1: at the low end the window starts at bin 1, at the high end it ends
// at the last stored bin H-1.
double PeakCentroidBin(const std::vector<double>& m, int peak) {
    const int half = static_cast<int>(m.size());
    int first = peak >= 2 ? peak - 1 : 1;
    first = std::min(first, half - 3);
    double weighted = 0.0;
    double total = 0.0;
    for (int j = first; j <= first + 2; ++j) {
        weighted += j * m[static_cast<std::size_t>(j)];
        total += m[static_cast<std::size_t>(j)];
    }
    return weighted / total;
}

}  // namespace

std::optional<Spectrum> AnalyseSpectrum(std::span<const double> x, std::span<const double> y) {
    if (y.size() < static_cast<std::size_t>(kCountCyclesMinPoints) || x.size() < 2) {
        return std::nullopt;
    }
    try {
        const int bits = FloorLog2(y.size());
        const CFFT1d fft(bits, 0);
        const std::size_t size = static_cast<std::size_t>(fft.Size());
        const std::size_t half = static_cast<std::size_t>(fft.Half());
        Spectrum s;
        ReserveOnTeam(s.z, size);
        s.z.resize(size);
        ForPointBlocks(size, [&](std::size_t first, std::size_t last) {
            for (std::size_t j = first; j < last; ++j) {
                s.z[j] = {y[j], 0.0};
            }
        });
        fft.Forward(s.z);
        ReserveOnTeam(s.magnitude, half);
        s.magnitude.resize(half);
        ForPointBlocks(half, [&](std::size_t first, std::size_t last) {
            for (std::size_t k = first; k < last; ++k) {
                s.magnitude[k] = std::abs(s.z[k]) / static_cast<double>(half);
            }
        });
        s.length = (x[1] - x[0]) * static_cast<double>(size);
        s.peakBin = FindPeakBin(s.magnitude);
        s.cycles = PeakCentroidBin(s.magnitude, s.peakBin);
        return s;
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

namespace {

// Centroid of the points within two of i; weight(j) is the height of point j
// on the side of the level that counts, negative heights counting as 0.
template <typename Weight>
double Centroid(std::span<const double> x, int i, std::size_t n, Weight weight) {
    if (i < 0 || static_cast<std::size_t>(i) >= n) {
        return std::nan("");
    }
    const int lo = std::max(i - 2, 0);
    const int hi = std::min(i + 2, static_cast<int>(n) - 1);
    const double xi = x[static_cast<std::size_t>(i)];
    if (i == lo || i == hi) {
        return xi;
    }
    double weighted = 0.0;
    double total = 0.0;
    double last = 0.0;
    for (int j = lo; j <= hi; ++j) {
        double w = weight(static_cast<std::size_t>(j));
        if (w < 0) {
            w = 0;
        }
        weighted += w * x[static_cast<std::size_t>(j)];
        total += w;
        last = w;
    }
    if (last == 0) {
        return xi;
    }
    return weighted / total;
}

}  // namespace

int EstimateWaveFft(std::span<const double> x, std::span<const double> y, WaveFields& wave) {
    if (y.size() < static_cast<std::size_t>(kWaveFftMinPoints) || x.size() < y.size()) {
        return -1;
    }
    const std::optional<Spectrum> s = AnalyseSpectrum(x, y);
    if (!s) {
        return -1;
    }
    const std::complex<double> peak = s->z[static_cast<std::size_t>(s->peakBin)];
    wave.m_dWavePeriod = s->length / s->cycles;
    wave.m_dWaveAmplitude = s->magnitude[static_cast<std::size_t>(s->peakBin)];
    // The peak bin holds (A*N/2)*exp(i*(phi - pi/2)) for A*sin(2*pi*f*j/N + phi):
    // the sine's phase at the first point is the bin's angle plus pi/2, and the
    // shift of A*sin(2*pi*(x + shift)/period) moves it back to X[0].
    const double phase = std::atan2(peak.imag(), peak.real()) + kHalfPi;
    wave.m_dWaveShift = wave.m_dWavePeriod * phase * kInvTwoPi - x[0];
    wave.m_dLevel = s->z[0].real() / static_cast<double>(s->z.size());
    return 0;
}

double CountCyclesFft(std::span<const double> x, std::span<const double> y) {
    if (y.size() < static_cast<std::size_t>(kCountCyclesMinPoints) || x.size() < y.size()) {
        return 1.0;
    }
    const std::optional<Spectrum> s = AnalyseSpectrum(x, y);
    // Without memory for the transform the count stays at one cycle, so the
    // window estimate looks at all points.
    return s ? s->cycles : 1.0;
}

double PeakCentroid(std::span<const double> x, std::span<const double> y, int i, double level) {
    return Centroid(x, i, std::min(x.size(), y.size()),
                    [&](std::size_t j) { return y[j] - level; });
}

double TroughCentroid(std::span<const double> x, std::span<const double> y, int i, double level) {
    return Centroid(x, i, std::min(x.size(), y.size()),
                    [&](std::size_t j) { return level - y[j]; });
}

int CModelFunction::EstimateWave(WaveFields& wave) {
    if (!ScanDataRanges()) {
        return -1;
    }
    const std::span<const double> x = XData();
    const std::span<const double> y = YData();
    if (EstimateWaveFft(x, y, wave) == 0) {
        m_pParams[0] = wave.m_dWaveAmplitude;
        m_pParams[1] = wave.m_dWavePeriod;
        m_pParams[2] = wave.m_dWaveShift;
    } else {
        // A window of one and a half periods in the middle of the data, or all
        // of it when the data hold at most one and a half cycles.
        const long long n = m_nPoints;
        long long lo = 0;
        long long hi = n;
        const double cycles = CountCyclesFft(x, y);
        if (cycles > 1.5) {
            const auto w = static_cast<long long>(1.5 * static_cast<double>(n) / cycles);
            lo = std::max((n - w) / 2, 0LL);
            hi = std::min((n + w) / 2, n);
        }
        if (!(n >= 1 && lo >= 0 && lo <= hi && hi <= n) || lo == hi) {
            return -1;
        }
        const Extremes window =
            RangeScan(y.subspan(static_cast<std::size_t>(lo), static_cast<std::size_t>(hi - lo)));
        if (window.Flat()) {
            return -1;
        }
        const int offset = static_cast<int>(lo);
        SetYRange(window.min, window.max, window.iMin + offset, window.iMax + offset);
        m_pParams[0] = (m_dYMax - m_dYMin) / 2;
        wave.m_dLevel = (m_dYMin + m_dYMax) / 2;
        const double p = PeakCentroid(x, y, m_iYMax, wave.m_dLevel);
        const double q = TroughCentroid(x, y, m_iYMin, wave.m_dLevel);
        m_pParams[1] = PeriodFromHalfDistance(std::fabs(p - q));
        // The peak centroid lies a quarter period into a cycle (not wrapped).
        m_pParams[2] = m_pParams[1] / 4 - p;
    }
    m_pSteps[0] = m_pParams[0] * m_dER;
    m_pSteps[1] = m_pParams[1] * m_dER;
    return 0;
}

}  // namespace quillon
