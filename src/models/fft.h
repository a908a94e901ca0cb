// CFFT1d: tables for a radix-2 complex FFT of 2^bits points (bit-reversal swap
// pairs, twiddle factors, optional window weights) and the forward transform.
#pragma once

#include <complex>
#include <span>
#include <utility>
#include <vector>

namespace quillon {

class CFFT1d {
  public:
    // windowType -1 leaves the window unset (type 0, no weights).
    CFFT1d(int bits, int windowType);
    CFFT1d(const CFFT1d&) = delete;
    CFFT1d& operator=(const CFFT1d&) = delete;

    // 0 none, 1 Hann, 2 Hamming, 3 Blackman; 4 and above are stored without
    // weights. Setting the current type again does nothing.
    void SetWindow(int type);
    // The last butterfly stage: (a, b) -> (a + b, a - b) on each pair (z[2j], z[2j+1]).
    void FinalStage(std::span<std::complex<double>> z) const;
    // Unnormalised forward DFT of Size() values in place:
    // Z[k] = sum_j z[j] * exp(-2*pi*i*k*j/N).
    void Forward(std::span<std::complex<double>> z) const;

    int Bits() const { return m_nBits; }
    int Size() const { return m_nSize; }
    int Half() const { return m_nHalf; }
    int WindowType() const { return m_nWindow; }
    double SizeAsDouble() const { return m_dSize; }
    double InvSize() const { return m_dInvSize; }
    const std::vector<std::pair<int, int>>& SwapPairs() const { return m_swapPairs; }
    const std::vector<std::complex<double>>& ForwardTwiddles() const { return m_pForward; }
    const std::vector<std::complex<double>>& InverseTwiddles() const { return m_pInverse; }
    // The weights of the last type 1 to 3 set; empty before one is set and
    // after type 0. Types 4 and above keep whatever weights there are.
    const std::vector<double>& Window() const { return m_pWindow; }

  private:
    // Butterflies first .. last-1 of the stage with half-width c.
    void ButterflyRange(std::span<std::complex<double>> z, std::size_t c, std::size_t stride,
                        std::size_t first, std::size_t last) const;
    void BuildSwapPairs();
    void BuildTwiddles();
    void FillWindow();

    int m_nBits;
    int m_nSize;
    int m_nHalf;
    int m_nWindow = 0;
    double m_dSize;
    double m_dInvSize;
    std::vector<std::pair<int, int>> m_swapPairs;
    std::vector<std::complex<double>> m_pForward;
    std::vector<std::complex<double>> m_pInverse;
    std::vector<double> m_pWindow;
};

}  // namespace quillon
