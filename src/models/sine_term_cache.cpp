#include "models/sine_term_cache.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "models/model_function.h"
#include "records/point_team.h"

namespace quillon {

std::span<const double> SineTermCache::Terms(std::span<const double> x, double period,
                                             double shift) {
    const auto periodBits = std::bit_cast<std::uint64_t>(period);
    const auto shiftBits = std::bit_cast<std::uint64_t>(shift);
    ++m_clock;
    for (Slot& slot : m_slots) {
        if (slot.filled && slot.period == periodBits && slot.shift == shiftBits &&
            slot.x == x.data() && slot.count == x.size()) {
            slot.lastUse = m_clock;
            return slot.terms;
        }
    }
    // A miss refills the slot used longest ago (an empty one first).
    Slot& slot =
        *std::min_element(m_slots.begin(), m_slots.end(),
                          [](const Slot& a, const Slot& b) { return a.lastUse < b.lastUse; });
    slot.filled = false;  // stays unusable should the resize throw
    if (slot.terms.size() != x.size()) {
        AssignPoints(slot.terms, x.size(), 0.0);
    }
    double* terms = slot.terms.data();
    ForPointBlocks(x.size(), [&](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) {
            terms[i] = std::sin(((x[i] + shift) * kTwoPi) / period);
        }
    });
    slot.period = periodBits;
    slot.shift = shiftBits;
    slot.x = x.data();
    slot.count = x.size();
    slot.lastUse = m_clock;
    slot.filled = true;
    return slot.terms;
}

}  // namespace quillon
