// The compiled form of a user's model formula: a postfix program over X and
// the parameters A0..A31, evaluated for one point, for a column of points, or
// for a column together with the exact derivatives by every parameter
// (forward-mode automatic differentiation over the same instructions).
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quillon {

inline constexpr int kFormulaMaxParams = 32;
// The deepest value stack a program may need; the parser refuses formulas
// nested deeper, so one point is evaluated on a fixed array.
inline constexpr int kFormulaMaxStack = 64;

enum class FormulaOp : std::uint8_t {
    Constant,
    X,
    Param,
    // Unary, on the top of the stack.
    Negate,
    Square,  // X^2 as X*X
    Exp,
    Log,
    Log10,
    Sqrt,
    Abs,
    Sin,
    Cos,
    Tan,
    Asin,
    Acos,
    Atan,
    Sinh,
    Cosh,
    Tanh,
    // Binary, on the two values on top (the left operand below).
    Add,
    Subtract,
    Multiply,
    Divide,
    Power,
    Atan2,
    Min,
    Max,
};

struct FormulaInstruction {
    FormulaOp op = FormulaOp::Constant;
    int param = 0;          // Param: the parameter index
    double constant = 0.0;  // Constant: the value
};

constexpr bool IsUnaryOp(FormulaOp op) {
    return op >= FormulaOp::Negate && op <= FormulaOp::Tanh;
}
constexpr bool IsBinaryOp(FormulaOp op) {
    return op >= FormulaOp::Add;
}

// The value of one operation; the one definition every evaluation uses, so
// a point's value is the same whichever way it is computed.
double ApplyUnary(FormulaOp op, double u);
double ApplyBinary(FormulaOp op, double u, double w);

// A program the parser has checked: it leaves exactly one value and never
// needs more than kFormulaMaxStack. Read-only once built, so several fits
// may share one.
class FormulaProgram {
  public:
    FormulaProgram() = default;
    FormulaProgram(std::vector<FormulaInstruction> code, int stackDepth);

    // One more than the highest parameter index used.
    int ParamCount() const { return m_paramCount; }
    // Whether parameter i occurs in the formula.
    bool Uses(int i) const;
    int StackDepth() const { return m_stackDepth; }
    std::span<const FormulaInstruction> Code() const { return m_code; }

    // The formula at x.
    double Value(const double* params, double x) const;

  private:
    std::vector<FormulaInstruction> m_code;
    int m_stackDepth = 0;
    int m_paramCount = 0;
    std::uint64_t m_used = 0;  // bit i: Ai occurs
};

// Evaluates a program over columns of points, a block at a time, in scratch
// memory of its own (one evaluator per fit; the program may be shared).
class FormulaEvaluator {
  public:
    explicit FormulaEvaluator(const FormulaProgram& program);

    // The formula at every x into values (as long as x).
    void Values(const double* params, std::span<const double> x, std::span<double> values);
    // The values and, row i of gradients (ParamCount rows of x.size()), the
    // derivative of each value by parameter i. A derivative whose operand
    // does not depend on the parameter is 0 even where the operation's own
    // derivative is not finite (X^2 at X = 0, sqrt of a constant 0).
    void ValuesAndGradients(const double* params, std::span<const double> x,
                            std::span<double> values, std::span<double> gradients);

  private:
    void ValueBlock(const double* params, const double* x, int count, double* values);
    void DualBlock(const double* params, const double* x, int count);
    double* Slot(int slot) { return m_stack.data() + static_cast<std::size_t>(slot) * kBlock; }
    // Component k (0: value, 1 + i: derivative by Ai) of a dual slot.
    double* DualSlot(int slot, int k) {
        return m_stack.data() + (static_cast<std::size_t>(slot) * m_components + k) * kBlock;
    }
    void PushDual(const FormulaInstruction& in, const double* params, const double* x, int count,
                  int slot);
    // varies: the operand depends on a parameter (its derivatives are stored).
    void DualUnary(FormulaOp op, int slot, int count, bool varies);
    void DualBinary(FormulaOp op, int slot, int count, bool uVaries, bool wVaries);

    static constexpr std::size_t kBlock = 64;  // points per pass over the program
    const FormulaProgram& m_program;
    std::size_t m_components;  // 1 + ParamCount
    std::vector<double> m_stack;
    std::vector<double> m_factorU;  // the partial derivatives of one operation
    std::vector<double> m_factorW;
};

}  // namespace quillon
