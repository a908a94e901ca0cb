// Small hand-made models for the fit workspace and its methods, whose sums
// of squares, Jacobians and steps can be worked out by hand.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "fit/dfpowell.h"
#include "models/model_function.h"

namespace quillon::testing {

// Any method that fails to end kills the test program instead of hanging it.
class Workspace : public ::testing::Test {
  protected:
    void SetUp() override { alarm(60); }
    void TearDown() override { alarm(0); }
};

// A model given by a function of the parameters and x.
class LambdaModel : public CModelFunction {
  public:
    using Formula = std::function<double(const double*, double)>;
    LambdaModel(const std::vector<double>& x, const std::vector<double>& y,
                const std::vector<double>& w, std::vector<double> start, std::vector<double> steps,
                Formula formula)
        : CModelFunction(x.data(), y.data(), w.data(), static_cast<int>(x.size()), 1e-4,
                         static_cast<int>(start.size())),
          m_formula(std::move(formula)) {
        m_pParams = std::move(start);
        m_pSteps = std::move(steps);
        m_pSavedParams = m_pParams;
        m_pSavedSteps = m_pSteps;
    }
    double Value(double* params, double x) const override {
        if (onValue) {
            onValue(params, x);
        }
        return m_formula(params, x);
    }
    std::function<void(const double*, double)> onValue;

  private:
    Formula m_formula;
};

// Data and model together, so the arrays outlive the model.
struct Problem {
    std::vector<double> x, y, w;
    std::unique_ptr<LambdaModel> model;
    std::string log;
    Problem(std::vector<double> xs, std::vector<double> ys, std::vector<double> start,
            std::vector<double> steps, LambdaModel::Formula formula,
            std::vector<double> weights = {})
        : x(std::move(xs)), y(std::move(ys)), w(std::move(weights)) {
        if (w.empty()) {
            w.assign(x.size(), 1.0);
        }
        model = std::make_unique<LambdaModel>(x, y, w, std::move(start), std::move(steps),
                                              std::move(formula));
    }
    double A(int i) const { return model->Params()[static_cast<std::size_t>(i)]; }
    double H(int i) const { return model->Steps()[static_cast<std::size_t>(i)]; }
};

inline double Constant(const double* p, double) {
    return p[0];
}
inline double Line(const double* p, double x) {
    return p[0] + p[1] * x;
}

// Lines of the log that start with an iteration number, as those numbers.
inline std::vector<int> LogNumbers(const std::string& log) {
    std::vector<int> numbers;
    std::istringstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (line.size() > 5 && line[4] == ':' && line.find_first_not_of(" 0123456789") == 4) {
            numbers.push_back(std::stoi(line.substr(0, 4)));
        }
    }
    return numbers;
}

inline void ExpectNumberedFromZero(const std::vector<int>& numbers) {
    for (std::size_t i = 0; i < numbers.size(); ++i) {
        EXPECT_EQ(numbers[i], static_cast<int>(i));
    }
}

// The four methods, in the order of the method list.
inline const std::vector<MethodRun (DFPowell::*)()> kMethods{
    &DFPowell::Marquardt, &DFPowell::Expansion, &DFPowell::Powell, &DFPowell::GradientSearch};

// A run's iterations are the numbered log lines, less the closing line a
// converged run adds.
inline void ExpectIterationsAsLogged(const MethodRun& run, const std::string& log) {
    const auto lines = static_cast<int>(LogNumbers(log).size());
    EXPECT_EQ(run.iterations, run.outcome == FitOutcome::Converged ? lines - 1 : lines);
}

inline const std::vector<double> kX3{0, 1, 2};
inline const std::vector<double> kY3{1, 2, 3};

}  // namespace quillon::testing
