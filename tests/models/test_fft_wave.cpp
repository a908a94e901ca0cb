#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "model_test_data.h"
#include "models/fft.h"
#include "models/period_sine_models.h"
#include "models/wave_estimate.h"
#include "records/point_team.h"

namespace quillon {
namespace {

using testing::DataSet;

std::vector<std::complex<double>> DirectDft(const std::vector<std::complex<double>>& z) {
    const std::size_t n = z.size();
    std::vector<std::complex<double>> out(n);
    for (std::size_t k = 0; k < n; ++k) {
        std::complex<double> sum = 0;
        for (std::size_t j = 0; j < n; ++j) {
            const double angle =
                -2 * M_PI * static_cast<double>((k * j) % n) / static_cast<double>(n);
            sum += z[j] * std::polar(1.0, angle);
        }
        out[k] = sum;
    }
    return out;
}

TEST(FFT, MatchesTheDirectTransformOnRandomData) {
    std::mt19937_64 random(12345);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (int bits : {1, 2, 3, 7, 10}) {
        const CFFT1d fft(bits, -1);
        std::vector<std::complex<double>> z(static_cast<std::size_t>(fft.Size()));
        for (auto& c : z) {
            c = {value(random), value(random)};
        }
        const auto expected = DirectDft(z);
        fft.Forward(z);
        double largest = 0;
        for (const auto& c : expected) {
            largest = std::max(largest, std::abs(c));
        }
        for (std::size_t k = 0; k < z.size(); ++k) {
            EXPECT_LE(std::abs(z[k] - expected[k]), 1e-9 * largest) << bits << " bin " << k;
        }
    }
}

TEST(FFT, TablesOfSwapPairsAndTwiddles) {
    const CFFT1d fft(3, -1);
    EXPECT_EQ(fft.Size(), 8);
    EXPECT_EQ(fft.Half(), 4);
    EXPECT_EQ(fft.InvSize(), 0.125);
    // 1 <-> 4 and 3 <-> 6; 2, 5 and the ends are their own reversal.
    const std::vector<std::pair<int, int>> pairs{{1, 4}, {3, 6}};
    EXPECT_EQ(fft.SwapPairs(), pairs);
    ASSERT_EQ(fft.ForwardTwiddles().size(), 4u);
    EXPECT_NEAR(fft.ForwardTwiddles()[2].imag(), -1.0, 1e-15);
    EXPECT_NEAR(fft.InverseTwiddles()[1].imag(), std::sqrt(0.5), 1e-15);
}

// The swap pairs are the indices i < reverse(i) in increasing i, for every
// size: each index but the palindromes in exactly one pair.
TEST(FFT, SwapPairsAreTheBitReversalsInOrder) {
    for (int bits = 0; bits <= 14; ++bits) {
        const CFFT1d fft(bits, -1);
        std::vector<std::pair<int, int>> expected;
        for (int i = 1; i <= fft.Size() - 2; ++i) {
            int reversed = 0;
            for (int b = 0; b < bits; ++b) {
                reversed = (reversed << 1) | ((i >> b) & 1);
            }
            if (i < reversed) {
                expected.emplace_back(i, reversed);
            }
        }
        EXPECT_EQ(fft.SwapPairs(), expected) << bits << " bits";
        EXPECT_EQ(fft.SwapPairs().capacity(), expected.size()) << bits << " bits";
    }
}

// Whatever order the butterflies are taken in (the late stages block by
// block, the point team's threads), every value is the one of the stages
// run one after another over the whole array, to the bit.
TEST(FFT, ForwardGivesTheBitsOfOneStageAfterAnother) {
    const auto stageByStage = [](const CFFT1d& fft, std::vector<std::complex<double>> z) {
        const std::size_t n = z.size();
        const auto& twiddles = fft.ForwardTwiddles();
        for (std::size_t c = n / 2, stride = 1; c >= 1; c /= 2, stride *= 2) {
            for (std::size_t g = 0; g < n; g += 2 * c) {
                for (std::size_t k = 0; k < c; ++k) {
                    const std::complex<double> a = z[g + k];
                    const std::complex<double> d = z[g + k + c];
                    z[g + k + c] = c == 1 ? a - d : (a - d) * twiddles[k * stride];
                    z[g + k] = a + d;
                }
            }
        }
        for (const auto& [i, r] : fft.SwapPairs()) {
            std::swap(z[static_cast<std::size_t>(i)], z[static_cast<std::size_t>(r)]);
        }
        return z;
    };
    std::mt19937_64 random(7);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    for (const unsigned threads : {1U, 3U}) {
        const PointTeamScope team(threads);
        for (const int bits : {1, 4, 12, 13, 17}) {
            const CFFT1d fft(bits, -1);
            std::vector<std::complex<double>> z(static_cast<std::size_t>(fft.Size()));
            for (auto& c : z) {
                c = {value(random), value(random)};
            }
            const auto expected = stageByStage(fft, z);
            fft.Forward(z);
            EXPECT_TRUE(z == expected) << bits << " bits, " << threads << " threads";
        }
    }
}

TEST(FFT, WindowWeightsAreFilledOnceAndFreedByTypeZero) {
    CFFT1d fft(3, 2);
    ASSERT_EQ(fft.Window().size(), 8u);
    EXPECT_DOUBLE_EQ(fft.Window()[0], 0.04);  // Hamming at theta 0
    EXPECT_DOUBLE_EQ(fft.Window()[4], 0.96);  // and at pi
    const double* weights = fft.Window().data();
    fft.SetWindow(2);
    EXPECT_EQ(fft.Window().data(), weights);
    fft.SetWindow(1);
    EXPECT_DOUBLE_EQ(fft.Window()[4], 1.0);  // Hann
    fft.SetWindow(3);
    EXPECT_NEAR(fft.Window()[0], 0.0, 1e-16);  // Blackman: 0.42 - 0.5 + 0.08
    fft.SetWindow(5);
    EXPECT_EQ(fft.WindowType(), 5);
    fft.SetWindow(0);
    EXPECT_TRUE(fft.Window().empty());
    EXPECT_TRUE(CFFT1d(3, 0).Window().empty());
}

std::vector<double> Sine(int n, double cycles, int size, double amplitude, double level) {
    std::vector<double> y(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j) {
        y[static_cast<std::size_t>(j)] = amplitude * std::sin(2 * M_PI * cycles * j / size) + level;
    }
    return y;
}

std::vector<double> Spaced(int n, double step) {
    std::vector<double> x(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j) {
        x[static_cast<std::size_t>(j)] = j * step;
    }
    return x;
}

TEST(WaveFft, EightCyclesOf16384PointsGiveBinAndCountEight) {
    const int n = 16384;
    const std::vector<double> x = Spaced(n, 0.5);
    const std::vector<double> y = Sine(n, 8, n, 3.0, 1.0);
    const auto spectrum = AnalyseSpectrum(x, y);
    ASSERT_TRUE(spectrum);
    EXPECT_EQ(spectrum->peakBin, 8);
    EXPECT_NEAR(spectrum->cycles, 8.0, 1e-9);
    EXPECT_NEAR(CountCyclesFft(x, y), 8.0, 1e-9);
    WaveFields wave;
    ASSERT_EQ(EstimateWaveFft(x, y, wave), 0);
    EXPECT_NEAR(wave.m_dWavePeriod, 0.5 * n / 8, 1e-6);  // T/8
    EXPECT_NEAR(wave.m_dWaveAmplitude, 3.0, 1e-9);
    EXPECT_NEAR(wave.m_dLevel, 1.0, 1e-12);
    EXPECT_NEAR(wave.m_dWaveShift, 0.0, 1e-6);  // a sine starting at X = 0 with phase 0
}

TEST(WaveFft, EstimatedSineFollowsTheData) {
    // A sine that does not start at X = 0, with a phase: the estimated curve
    // must lie on the data, not half a period away.
    const int n = 8192;
    std::vector<double> x = Spaced(n, 0.25);
    std::vector<double> y(static_cast<std::size_t>(n));
    for (int j = 0; j < n; ++j) {
        x[static_cast<std::size_t>(j)] += 10.0;
        y[static_cast<std::size_t>(j)] =
            2 * std::sin(2 * M_PI * (x[static_cast<std::size_t>(j)] + 3.0) / 128.0) + 5;
    }
    const DataSet d(x, y);
    auto model = d.Model(12);
    ASSERT_EQ(model->Estimate(), 0);
    EXPECT_NEAR(model->Params()[1], 128.0, 1e-6);
    for (int j : {0, 100, 4000, 8191}) {
        EXPECT_NEAR(model->ValueAt(x[static_cast<std::size_t>(j)]), y[static_cast<std::size_t>(j)],
                    1e-6)
            << j;
    }
}

TEST(WaveFft, UsedFrom8192PointsOnWhileTheRangeCoversAllPoints) {
    // A spike near the start lies outside the middle window of the window estimate.
    for (int n : {8191, 8192}) {
        const std::vector<double> x = Spaced(n, 1.0);
        std::vector<double> y = Sine(n, 64, 4096, 1.0, 0.0);
        y[10] = 50.0;
        const DataSet d(x, y);
        auto model = d.Model(12);
        ASSERT_EQ(model->Estimate(), 0) << n;
        WaveFields wave;
        EXPECT_EQ(EstimateWaveFft(x, y, wave), n == 8192 ? 0 : -1);
        if (n == 8192) {
            EXPECT_EQ(model->YMax(), 50.0);
            EXPECT_NEAR(model->Params()[1], 64.0, 0.5);
        } else {
            // 64 cycles over the 4096 points of the spectrum: a window of
            // 1.5*8191/64 points in the middle, holding the sine's own peak.
            EXPECT_NEAR(model->YMax(), 1.0, 1e-3);
            EXPECT_GT(model->YMaxIndex(), 4000);
            EXPECT_LT(model->YMaxIndex(), 4200);
            EXPECT_NEAR(model->Params()[0], 1.0, 1e-3);
        }
    }
}

TEST(CountCycles, FewerThanSixteenPointsCountOneCycle) {
    const std::vector<double> x = Spaced(15, 1.0);
    EXPECT_EQ(CountCyclesFft(x, Sine(15, 5, 15, 1.0, 0.0)), 1.0);
    EXPECT_FALSE(AnalyseSpectrum(x, Sine(15, 5, 15, 1.0, 0.0)));
}

TEST(CountCycles, PeakInTheLastBinKeepsTheCentroidInsideTheSpectrum) {
    // 16 points alternating: all power in bin 8 = H, beyond the stored bins;
    // a period-2.3 signal puts its peak in the last stored bin 7.
    const std::vector<double> x = Spaced(16, 1.0);
    std::vector<double> y(16);
    for (int j = 0; j < 16; ++j) {
        y[static_cast<std::size_t>(j)] = std::cos(2 * M_PI * 7 * j / 16.0);
    }
    const auto spectrum = AnalyseSpectrum(x, y);
    ASSERT_TRUE(spectrum);
    EXPECT_EQ(spectrum->peakBin, 7);
    EXPECT_NEAR(spectrum->cycles, 7.0, 1e-9);  // bins 5 and 6 are empty
}

TEST(Centroids, WeighTheHeightAboveOrBelowTheLevel) {
    const std::vector<double> x{0, 1, 2, 3, 4, 5, 6};
    const std::vector<double> y{0, 1, 2, 4, 3, 1, 0};
    // Weights 1, 2, 4, 3, 1 above level 0 at X 1..5.
    EXPECT_DOUBLE_EQ(PeakCentroid(x, y, 3, 0.0), (1 + 4 + 12 + 12 + 5) / 11.0);
    // The last point of the window at the level: the point's own X.
    EXPECT_EQ(PeakCentroid(x, y, 3, 1.0), 3.0);
    // At either end of the data: the point's own X.
    EXPECT_EQ(PeakCentroid(x, y, 0, -1.0), 0.0);
    EXPECT_EQ(PeakCentroid(x, y, 6, -1.0), 6.0);
    EXPECT_EQ(TroughCentroid(x, y, 1, 5.0), 1.0);
    // Below level 2.5 at X 0..4: weights 2.5, 1.5, 0.5, 0 (negative), 0 -> last weight 0.
    EXPECT_EQ(TroughCentroid(x, y, 2, 2.5), 2.0);
    // Below level 5 at X 3..6 around point 5: 1, 2, 4, 5 -> last nonzero.
    EXPECT_DOUBLE_EQ(TroughCentroid(x, y, 5, 5.0), (3 * 1 + 4 * 2 + 5 * 4 + 6 * 5) / 12.0);
}

}  // namespace
}  // namespace quillon
