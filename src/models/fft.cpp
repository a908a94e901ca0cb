#include "models/fft.h"

#include <algorithm>
#include <cmath>

#include "models/model_function.h"
#include "records/point_team.h"

namespace quillon {

namespace {

// The largest transform the tables are built for: 2^30 points, the largest
// power of two an int holds.
constexpr int kMaxBits = 30;

}  // namespace

CFFT1d::CFFT1d(int bits, int windowType)
    : m_nBits(std::clamp(bits, 0, kMaxBits)),
      m_nSize(1 << m_nBits),
      m_nHalf(m_nSize / 2),
      m_dSize(m_nSize),
      m_dInvSize(1.0 / m_nSize) {
    BuildSwapPairs();
    BuildTwiddles();
    if (windowType != -1) {
        SetWindow(windowType);
    }
}

void CFFT1d::BuildSwapPairs() {
    // Every index but the 2^ceil(bits/2) that read the same reversed
    // belongs to exactly one pair.
    const int palindromes = 1 << ((m_nBits + 1) / 2);
    ReserveOnTeam(m_swapPairs, static_cast<std::size_t>((m_nSize - palindromes) / 2));
    // r steps through the reversed indices alongside i: adding one at the
    // top bit and carrying downwards.
    int r = 0;
    for (int i = 1; i <= m_nSize - 2; ++i) {
        int bit = m_nHalf;
        while ((r & bit) != 0) {
            r ^= bit;
            bit >>= 1;
        }
        r |= bit;
        if (i < r) {
            m_swapPairs.emplace_back(i, r);
        }
    }
}

void CFFT1d::BuildTwiddles() {
    for (auto* table : {&m_pForward, &m_pInverse}) {
        ReserveOnTeam(*table, static_cast<std::size_t>(m_nHalf));
        table->resize(static_cast<std::size_t>(m_nHalf));
    }
    const std::complex<double> forwardStep(0.0, -kTwoPi / m_nSize);
    const std::complex<double> inverseStep(0.0, kTwoPi / m_nSize);
    // Each factor is computed on its own, so a large table is shared
    // among the point team.
    ForPointBlocks(static_cast<std::size_t>(m_nHalf), [&](std::size_t first, std::size_t last) {
        for (std::size_t k = first; k < last; ++k) {
            m_pForward[k] = std::exp(forwardStep * static_cast<double>(k));
            m_pInverse[k] = std::exp(inverseStep * static_cast<double>(k));
        }
    });
}

void CFFT1d::SetWindow(int type) {
    if (type == m_nWindow) {
        return;
    }
    m_nWindow = type;
    if (type == 0) {
        m_pWindow.clear();
        m_pWindow.shrink_to_fit();
    } else if (type >= 1 && type <= 3) {
        FillWindow();
    }
}

void CFFT1d::FillWindow() {
    m_pWindow.resize(static_cast<std::size_t>(m_nSize));
    for (int i = 0; i < m_nSize; ++i) {
        const double theta = kTwoPi * i / m_nSize;
        double weight = 0.0;
        switch (m_nWindow) {
            case 1:  // Hann
                weight = 0.5 - 0.5 * std::cos(theta);
                break;
            case 2:  // Hamming
                weight = 0.5 - 0.46 * std::cos(theta);
                break;
            default:  // 3, Blackman
                weight = 0.42 - 0.5 * std::cos(theta) + 0.08 * std::cos(2 * theta);
                break;
        }
        m_pWindow[static_cast<std::size_t>(i)] = weight;
    }
}

void CFFT1d::FinalStage(std::span<std::complex<double>> z) const {
    for (std::size_t j = 0; j + 1 < z.size(); j += 2) {
        const std::complex<double> a = z[j];
        const std::complex<double> b = z[j + 1];
        z[j] = a + b;
        z[j + 1] = a - b;
    }
}

void CFFT1d::Forward(std::span<std::complex<double>> z) const {
    const std::size_t n = static_cast<std::size_t>(m_nSize);
    if (z.size() < n || n < 2) {
        return;
    }
    // Decimation in frequency: block half-widths N/2, N/4, ..., 2, then 1.
    // The butterflies of a stage are independent, so every butterfly is
    // the same sum whatever order they are taken in. A stage whose groups
    // span more than kBlock values sweeps the whole array, shared among the
    // point team; from there on each block of kBlock values lies within
    // one group of every later stage, and goes through all of them at once
    // while it is in the cache.
    constexpr std::size_t kBlock = 4096;
    std::size_t c = n / 2;
    std::size_t stride = 1;
    for (; stride < n / 2 && 2 * c > kBlock; c /= 2, stride *= 2) {
        ForPointBlocks(n / 2, [&](std::size_t first, std::size_t last) {
            ButterflyRange(z, c, stride, first, last);
        });
    }
    const std::size_t block = std::min(n, kBlock);
    const std::size_t blocks = n / block;
    ForPointBlocks(blocks, 1, std::max<std::size_t>(2, kPointTeamMinimum / block),
                   [&](std::size_t first, std::size_t last) {
                       for (std::size_t b = first; b < last; ++b) {
                           const std::span<std::complex<double>> part = z.subspan(b * block, block);
                           std::size_t partStride = stride;
                           for (std::size_t half = c; partStride < n / 2;
                                half /= 2, partStride *= 2) {
                               ButterflyRange(part, half, partStride, 0, block / 2);
                           }
                           FinalStage(part);
                       }
                   });
    // The pairs are disjoint, so they are swapped in any order.
    ForPointBlocks(m_swapPairs.size(), [&](std::size_t first, std::size_t last) {
        for (std::size_t p = first; p < last; ++p) {
            const auto [i, r] = m_swapPairs[p];
            std::swap(z[static_cast<std::size_t>(i)], z[static_cast<std::size_t>(r)]);
        }
    });
}

void CFFT1d::ButterflyRange(std::span<std::complex<double>> z, std::size_t c, std::size_t stride,
                            std::size_t first, std::size_t last) const {
    // Butterfly b pairs z[g + k] with z[g + k + c], g = (b / c) * 2c, k = b % c.
    std::size_t k = first % c;
    std::size_t g = (first / c) * 2 * c;
    for (std::size_t b = first; b < last; ++b) {
        const std::complex<double> a = z[g + k];
        const std::complex<double> d = z[g + k + c];
        z[g + k + c] = (a - d) * m_pForward[k * stride];
        z[g + k] = a + d;
        if (++k == c) {
            k = 0;
            g += 2 * c;
        }
    }
}

}  // namespace quillon
