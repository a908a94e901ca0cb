// The wave report of the biased period sine: amplitude, period, frequency
// and an unwrapped phase across the sets, a straight line of phase against
// the sets' labels, and from it the wavelength and the wave velocity.
#pragma once

#include <string>
#include <vector>

#include "records/records.h"

namespace quillon {

// Unwraps phases in [0, 1) into a sequence without jumps of more than half a
// cycle, in at most as many passes as there are phases.
void UnwrapPhases(std::vector<double>& phases);

// Appends the wave columns to fileColumns. tableColumns hold A0..A3 of each
// set; labelNames/labelValues the sets' labels; framingRate the frames per
// time unit.
void AppendWaveReport(const ResultColumnList& tableColumns,
                      const std::vector<std::string>& labelNames,
                      const std::vector<double>& labelValues, double framingRate,
                      ResultColumnList& fileColumns);

}  // namespace quillon
