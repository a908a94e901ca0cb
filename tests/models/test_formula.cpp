// The formula language: what its expressions mean, where its refusals point,
// and that its exact derivatives agree with finite differences.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "models/formula_model.h"
#include "models/formula_parser.h"

namespace quillon {
namespace {

constexpr double kPiValue = 3.141592653589793;

// The formula's value at x with the parameters a; NaN when it is refused.
double Eval(const std::string& formula, double x, std::vector<double> a = {}) {
    const FormulaCompileResult compiled = CompileFormula(formula);
    if (!compiled.program) {
        ADD_FAILURE() << formula << ": " << FormulaErrorText(compiled.error);
        return std::nan("");
    }
    a.resize(kFormulaMaxParams, 0.0);
    return compiled.program->Value(a.data(), x);
}

struct ValueCase {
    const char* formula;
    double x;
    std::vector<double> a;
    double expected;
};

TEST(FormulaValue, PrecedenceAssociativityAndSigns) {
    const ValueCase cases[] = {
        {"A0 + 2*3", 0, {1}, 7},          // * before +
        {"(A0 + 2)*3", 0, {1}, 9},        // parentheses first
        {"A0 - 2 - 3", 0, {10}, 5},       // - groups to the left
        {"A0 / 2 / 5", 0, {20}, 2},       // / groups to the left
        {"2^3^2 + 0*A0", 0, {0}, 512},    // ^ groups to the right: 2^9
        {"2**3**2 + 0*A0", 0, {0}, 512},  // ** is ^
        {"-X^2 + A0", 3, {0}, -9},        // ^ binds tighter than a sign
        {"(-X)^2 + A0", 3, {0}, 9},       //
        {"2^-A0", 0, {1}, 0.5},           // a sign in the exponent
        {"A0*-X", 2, {3}, -6},            // a sign after *
        {"--A0", 0, {4}, 4},              // signs stack
        {"+A0 - -X", 1, {4}, 5},          //
        {"-A0*X", 2, {3}, -6},            //
        {"A0*2X", 0, {0}, std::nan("")},  // refused: no implicit product
        {"a1*x + A0", 2, {1, 3}, 7},      // names in lower case
        {"A0*PI + pi", 0, {1}, 2 * kPiValue},
        {"1.5e1 + .5 + A0", 0, {0}, 15.5},  // numbers as the data reader reads them
        {"0x10 + A0", 0, {0}, 16},          //
    };
    for (const ValueCase& c : cases) {
        if (std::isnan(c.expected)) {
            EXPECT_FALSE(CompileFormula(c.formula).program) << c.formula;
            continue;
        }
        EXPECT_DOUBLE_EQ(Eval(c.formula, c.x, c.a), c.expected) << c.formula;
    }
}

TEST(FormulaValue, FunctionsAndTheirDomains) {
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    const ValueCase cases[] = {
        {"exp(A0)", 0, {1}, std::exp(1.0)},
        {"log(A0)", 0, {std::exp(2.0)}, 2},
        {"log10(A0)", 0, {1000}, 3},
        {"sqrt(A0)", 0, {9}, 3},
        {"abs(A0)", 0, {-2}, 2},
        {"sin(A0) + cos(A0) + tan(A0)", 0, {0.3}, std::sin(0.3) + std::cos(0.3) + std::tan(0.3)},
        {"asin(A0) + acos(A0) + atan(A0)",
         0,
         {0.3},
         std::asin(0.3) + std::acos(0.3) + std::atan(0.3)},
        {"sinh(A0) + cosh(A0) + tanh(A0)",
         0,
         {0.3},
         std::sinh(0.3) + std::cosh(0.3) + std::tanh(0.3)},
        {"atan2(A0, X)", -1, {1}, std::atan2(1.0, -1.0)},
        {"min(A0, X) + 10*max(A0, X)", 2, {5}, 52},
        {"EXP(A0)", 0, {0}, 1},  // names take any case
        // Outside the domains the value is what the C library gives, never a refusal.
        {"log(A0)", 0, {-1}, nan},
        {"log(A0)", 0, {0}, -inf},
        {"sqrt(A0)", 0, {-4}, nan},
        {"asin(A0)", 0, {2}, nan},
        {"A0/X", 0, {1}, inf},
        {"A0^0.5", 0, {-4}, nan},
        {"min(A0, X)", 1, {nan}, nan},  // a NaN is passed on, whichever side
        {"max(X, A0)", 1, {nan}, nan},
    };
    for (const ValueCase& c : cases) {
        const double v = Eval(c.formula, c.x, c.a);
        if (std::isnan(c.expected)) {
            EXPECT_TRUE(std::isnan(v)) << c.formula << " gave " << v;
        } else {
            EXPECT_DOUBLE_EQ(v, c.expected) << c.formula;
        }
    }
}

TEST(FormulaProgram, ParameterCountIsOneMoreThanTheHighestIndex) {
    const FormulaCompileResult compiled = CompileFormula("A0 + A3*X");
    ASSERT_TRUE(compiled.program);
    EXPECT_EQ(compiled.program->ParamCount(), 4);
    EXPECT_TRUE(compiled.program->Uses(0));
    EXPECT_FALSE(compiled.program->Uses(1));
    EXPECT_FALSE(compiled.program->Uses(2));
    EXPECT_TRUE(compiled.program->Uses(3));
    EXPECT_EQ(CompileFormula("A31*X").program->ParamCount(), 32);

    EXPECT_EQ(FormulaStartNote(*compiled.program, {true, false, false, false}),
              "A3 starts at 1 (no initial value given); A1, A2 do not occur in the formula.\n");
    EXPECT_EQ(FormulaStartNote(*compiled.program, {true, true, true, true}),
              "A1, A2 do not occur in the formula.\n");
    EXPECT_EQ(FormulaStartNote(*CompileFormula("A0*X + A1").program, {true, true}), "");
}

TEST(FormulaProgram, ConstantPartsAreFoldedOnce) {
    const FormulaCompileResult compiled = CompileFormula("A0*(2*PI/4) + sqrt(16)");
    ASSERT_TRUE(compiled.program);
    // A0, the folded constant, *, the folded 4, +.
    EXPECT_EQ(compiled.program->Code().size(), 5U);
    const std::vector<double> a{2.0};
    EXPECT_DOUBLE_EQ(compiled.program->Value(a.data(), 0), kPiValue + 4);
}

struct ErrorCase {
    const char* formula;
    const char* what;
    int column;
};

TEST(FormulaErrors, SayWhatAndPointAtTheColumn) {
    const ErrorCase cases[] = {
        {"", "empty formula", 1},
        {"   ", "empty formula", 4},
        {"A0 +", "unexpected end of formula", 5},
        {"(A0*X", "missing ')'", 6},
        {"A0*X)", "unexpected ')'", 5},
        {"A0*foo(X)", "unknown function 'foo'", 4},
        {"A0*Y", "unknown variable 'Y'", 4},
        {"A32*X", "parameter 'A32' beyond A31 (32 parameters at most)", 1},
        {"atan2(A0)", "'atan2' takes 2 arguments", 1},
        {"A0*exp(X, 1)", "'exp' takes 1 argument", 4},
        {"exp X", "'exp' needs its argument in parentheses", 1},
        {"A0 X", "missing operator before 'X'", 4},
        {"A0(X)", "missing operator before '('", 3},
        {"A0 $ X", "unexpected character '$'", 4},
        {"é*A0 $", "unexpected character 'é'", 1},  // columns count characters
        {"A0*é", "unexpected character 'é'", 4},
        {"A0 * * X", "unexpected '*'", 6},
        {"2*X", "no parameter: the formula uses none of A0 to A31", 1},
    };
    for (const ErrorCase& c : cases) {
        const FormulaCompileResult compiled = CompileFormula(c.formula);
        EXPECT_FALSE(compiled.program) << c.formula;
        EXPECT_EQ(compiled.error.what, c.what) << c.formula;
        EXPECT_EQ(compiled.error.column, c.column) << c.formula;
    }
    EXPECT_EQ(FormulaErrorText({"missing ')'", 6}), "missing ')' at column 6");
    EXPECT_EQ(FormulaCaretLine("\tA0 $", 5), "\t   ^");
    EXPECT_EQ(FormulaCaretLine("é*Y", 3), "  ^");
}

TEST(FormulaErrors, DeepNestingIsRefusedNotOverflowed) {
    const std::string deep = std::string(5000, '(') + "A0" + std::string(5000, ')');
    const FormulaCompileResult parens = CompileFormula(deep);
    EXPECT_FALSE(parens.program);
    EXPECT_EQ(parens.error.what, "formula nested too deeply");
    std::string tower = "A0";
    for (int i = 0; i < 100; ++i) {
        tower += "^A0";  // each right-grouped ^ holds one more value on the stack
    }
    EXPECT_FALSE(CompileFormula(tower).program);
    EXPECT_FALSE(CompileFormula(std::string(5000, '-') + "A0").program);
}

// The exact derivatives against central differences, at points that reach
// every operation's derivative rule.
TEST(FormulaDerivatives, AgreeWithFiniteDifferences) {
    const char* formulas[] = {
        "A0/(1+A1*exp(-A2*X))",
        "A0*exp(-0.5*((X-A1)/A2)^2)",
        "A0*(X^2+X*A1)/(X^2+X*A2+A3)",
        "A0*X^A1 + A2^X",
        "log(A0*X) + log10(A1+X) + sqrt(A2*X)",
        "sin(A0*X) - cos(A1*X)*tan(A2) + abs(A0-X)",
        "asin(A0/4) + acos(A1/4) + atan(A2*X)",
        "sinh(A0) * cosh(A1*X) + tanh(A2-X)",
        "atan2(A0*X, A1) + min(A0, X) + max(A2*X, A1)",
        "-A0^2/A1 - -A2",
    };
    const std::vector<double> a{1.3, 0.7, 0.45, 0.9};
    const std::vector<double> x{0.5, 1.25, 2.0, 3.5};
    for (const char* formula : formulas) {
        const FormulaCompileResult compiled = CompileFormula(formula);
        ASSERT_TRUE(compiled.program) << formula;
        const FormulaProgram& program = *compiled.program;
        const auto m = static_cast<std::size_t>(program.ParamCount());
        std::vector<double> values(x.size());
        std::vector<double> gradients(m * x.size());
        FormulaEvaluator evaluator(program);
        evaluator.ValuesAndGradients(a.data(), x, values, gradients);
        for (std::size_t j = 0; j < x.size(); ++j) {
            EXPECT_EQ(values[j], program.Value(a.data(), x[j])) << formula;
            for (std::size_t i = 0; i < m; ++i) {
                const double h = 1e-6;
                std::vector<double> up = a;
                std::vector<double> down = a;
                up[i] += h;
                down[i] -= h;
                const double central =
                    (program.Value(up.data(), x[j]) - program.Value(down.data(), x[j])) / (2 * h);
                EXPECT_NEAR(gradients[i * x.size() + j], central, 1e-6 * (1 + std::fabs(central)))
                    << formula << " by A" << i << " at X = " << x[j];
            }
        }
    }
}

TEST(FormulaDerivatives, ConstantOperandsPassNoNonFiniteFactorOn) {
    // X^2 at X = 0 needs 2*0^1 only by X, and a negative base with a constant
    // exponent has no logarithm: neither may turn A0's derivative into NaN.
    const FormulaCompileResult compiled = CompileFormula("A0*X^2 + (X-5)^3*A0");
    ASSERT_TRUE(compiled.program);
    const std::vector<double> a{2.0};
    const std::vector<double> x{0.0, 1.0};
    std::vector<double> values(2);
    std::vector<double> gradients(2);
    FormulaEvaluator evaluator(*compiled.program);
    evaluator.ValuesAndGradients(a.data(), x, values, gradients);
    EXPECT_DOUBLE_EQ(gradients[0], -125.0);
    EXPECT_DOUBLE_EQ(gradients[1], 1.0 - 64.0);
}

TEST(FormulaModel, ValuesOverLongColumnsMatchPointByPoint) {
    // More points than one evaluation block, so the blocks join up.
    std::vector<double> x(150);
    std::vector<double> y(150);
    for (std::size_t i = 0; i < x.size(); ++i) {
        x[i] = 0.1 * static_cast<double>(i);
        y[i] = std::sin(x[i]);
    }
    auto model = CreateFormulaModel("A0*sin(A1*X) + A2", x.data(), y.data(), nullptr, 150, 1e-4);
    ASSERT_TRUE(model);
    ASSERT_EQ(model->Init(), 0);
    EXPECT_EQ(model->ParamCount(), 3);
    for (const double p : model->Params()) {
        EXPECT_EQ(p, 1.0);  // the start without directives
    }
    std::vector<double> a{2.0, 0.5, -1.0};
    ASSERT_TRUE(model->EvaluateAll(a.data()));
    for (std::size_t i = 0; i < x.size(); ++i) {
        EXPECT_EQ(model->PointValue(static_cast<int>(i)), model->Value(a.data(), x[i]));
    }
    EXPECT_FALSE(CreateFormulaModel("A0*", x.data(), y.data(), nullptr, 150, 1e-4));
    EXPECT_EQ(FormulaDisplayString("A0*X"), " A0*X; formula");
}

}  // namespace
}  // namespace quillon
