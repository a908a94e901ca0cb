// Small data sets and helpers shared by the model tests.
#pragma once

#include <memory>
#include <vector>

#include "models/model_factory.h"
#include "models/model_function.h"

namespace quillon::testing {

// A relative step that keeps the expected steps easy to read.
inline constexpr double kER = 1e-3;

// The staged model: a biased period sine, then the asymmetric sine.
inline constexpr int kStagedSineId = 35;

// X, Y and unit weights that outlive the model built on them.
struct DataSet {
    std::vector<double> x;
    std::vector<double> y;
    std::vector<double> w;

    DataSet(std::vector<double> xs, std::vector<double> ys)
        : x(std::move(xs)), y(std::move(ys)), w(x.size(), 1.0) {}

    std::unique_ptr<CModelFunction> Model(int id, double fixedCRadians = 0.0) const {
        return CreateModel(id, x.data(), y.data(), w.data(), static_cast<int>(x.size()), kER,
                           fixedCRadians);
    }
    std::unique_ptr<CModelFunction> SecondStage(int id = kStagedSineId) const {
        return CreateSecondStage(id, x.data(), y.data(), w.data(), static_cast<int>(x.size()), kER);
    }
};

}  // namespace quillon::testing
