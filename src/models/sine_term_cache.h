// The sine term sin(((x + A2) * 2*pi) / A1) of the period sines at every
// point, kept for the last few (A1, A2) pairs. A finite-difference fit moves
// one parameter at a time, so most of its evaluations change only the
// amplitude or the level and can reuse a term computed before; the sine,
// the dearest part of the model, is then not taken again.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "records/point_team.h"

namespace quillon {

class SineTermCache {
  public:
    // The terms for this period and shift at every x, computed on a miss in
    // exactly the operations the scalar formula uses, so every value is the
    // same to the bit.
    std::span<const double> Terms(std::span<const double> x, double period, double shift);

  private:
    struct Slot {
        std::uint64_t period = 0;  // the keys' bit patterns: NaN and -0 compare as themselves
        std::uint64_t shift = 0;
        std::size_t count = 0;
        const double* x = nullptr;
        std::uint64_t lastUse = 0;
        bool filled = false;
        PointArray terms;
    };
    // Three slots hold what one iteration needs: the base point (also the
    // accepted trial) and the two other keys its period and shift steps make.
    std::array<Slot, 3> m_slots;
    std::uint64_t m_clock = 0;
};

}  // namespace quillon
