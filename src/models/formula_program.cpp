#include "models/formula_program.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace quillon {
namespace {

constexpr double kLn10 = 2.302585092994046;

// Min and max that pass a NaN on, so a point the formula cannot evaluate is
// never hidden by the other operand.
double NanMin(double u, double w) {
    if (std::isnan(u) || std::isnan(w)) {
        return std::nan("");
    }
    return w < u ? w : u;
}

double NanMax(double u, double w) {
    if (std::isnan(u) || std::isnan(w)) {
        return std::nan("");
    }
    return w > u ? w : u;
}

// d(op u)/du from u and the value v = op u.
double UnaryDerivative(FormulaOp op, double u, double v) {
    switch (op) {
        case FormulaOp::Negate:
            return -1.0;
        case FormulaOp::Exp:
            return v;
        case FormulaOp::Log:
            return 1.0 / u;
        case FormulaOp::Log10:
            return 1.0 / (u * kLn10);
        case FormulaOp::Sqrt:
            return 0.5 / v;
        case FormulaOp::Abs:
            return std::copysign(1.0, u);
        case FormulaOp::Sin:
            return std::cos(u);
        case FormulaOp::Cos:
            return -std::sin(u);
        case FormulaOp::Tan:
            return 1.0 + v * v;
        case FormulaOp::Asin:
            return 1.0 / std::sqrt(1.0 - u * u);
        case FormulaOp::Acos:
            return -1.0 / std::sqrt(1.0 - u * u);
        case FormulaOp::Atan:
            return 1.0 / (1.0 + u * u);
        case FormulaOp::Sinh:
            return std::cosh(u);
        case FormulaOp::Cosh:
            return std::sinh(u);
        case FormulaOp::Tanh:
            return 1.0 - v * v;
        default:
            return std::nan("");
    }
}

// The partial derivatives of v = u op w by u and by w.
std::pair<double, double> BinaryDerivatives(FormulaOp op, double u, double w, double v) {
    switch (op) {
        case FormulaOp::Add:
            return {1.0, 1.0};
        case FormulaOp::Subtract:
            return {1.0, -1.0};
        case FormulaOp::Multiply:
            return {w, u};
        case FormulaOp::Divide:
            return {1.0 / w, -v / w};
        case FormulaOp::Power:
            // w u^(w-1), taken from v where u is not 0; v ln u by the exponent.
            return {u != 0.0 ? w * v / u : w * std::pow(u, w - 1.0), v * std::log(u)};
        case FormulaOp::Atan2: {
            const double r2 = u * u + w * w;
            return {w / r2, -u / r2};
        }
        case FormulaOp::Min:
        case FormulaOp::Max: {
            const bool left = v == u;
            return {left ? 1.0 : 0.0, left ? 0.0 : 1.0};
        }
        default:
            return {std::nan(""), std::nan("")};
    }
}

// f * d, or 0 where d is 0: an operand that does not depend on a parameter
// passes nothing on, whatever the operation's own derivative.
double Chain(double f, double d) {
    return d == 0.0 ? 0.0 : f * d;
}

}  // namespace

double ApplyUnary(FormulaOp op, double u) {
    switch (op) {
        case FormulaOp::Negate:
            return -u;
        case FormulaOp::Exp:
            return std::exp(u);
        case FormulaOp::Log:
            return std::log(u);
        case FormulaOp::Log10:
            return std::log10(u);
        case FormulaOp::Sqrt:
            return std::sqrt(u);
        case FormulaOp::Abs:
            return std::fabs(u);
        case FormulaOp::Sin:
            return std::sin(u);
        case FormulaOp::Cos:
            return std::cos(u);
        case FormulaOp::Tan:
            return std::tan(u);
        case FormulaOp::Asin:
            return std::asin(u);
        case FormulaOp::Acos:
            return std::acos(u);
        case FormulaOp::Atan:
            return std::atan(u);
        case FormulaOp::Sinh:
            return std::sinh(u);
        case FormulaOp::Cosh:
            return std::cosh(u);
        case FormulaOp::Tanh:
            return std::tanh(u);
        default:
            return std::nan("");
    }
}

double ApplyBinary(FormulaOp op, double u, double w) {
    switch (op) {
        case FormulaOp::Add:
            return u + w;
        case FormulaOp::Subtract:
            return u - w;
        case FormulaOp::Multiply:
            return u * w;
        case FormulaOp::Divide:
            return u / w;
        case FormulaOp::Power:
            return std::pow(u, w);
        case FormulaOp::Atan2:
            return std::atan2(u, w);
        case FormulaOp::Min:
            return NanMin(u, w);
        case FormulaOp::Max:
            return NanMax(u, w);
        default:
            return std::nan("");
    }
}

FormulaProgram::FormulaProgram(std::vector<FormulaInstruction> code, int stackDepth)
    : m_code(std::move(code)), m_stackDepth(stackDepth) {
    for (const FormulaInstruction& in : m_code) {
        if (in.op == FormulaOp::Param) {
            m_used |= std::uint64_t{1} << in.param;
            m_paramCount = std::max(m_paramCount, in.param + 1);
        }
    }
}

bool FormulaProgram::Uses(int i) const {
    return i >= 0 && i < kFormulaMaxParams && (m_used >> i & 1U) != 0;
}

double FormulaProgram::Value(const double* params, double x) const {
    std::array<double, kFormulaMaxStack> stack{};
    int top = -1;
    for (const FormulaInstruction& in : m_code) {
        if (in.op == FormulaOp::Constant) {
            stack[static_cast<std::size_t>(++top)] = in.constant;
        } else if (in.op == FormulaOp::X) {
            stack[static_cast<std::size_t>(++top)] = x;
        } else if (in.op == FormulaOp::Param) {
            stack[static_cast<std::size_t>(++top)] = params[in.param];
        } else if (IsUnaryOp(in.op)) {
            double& u = stack[static_cast<std::size_t>(top)];
            u = ApplyUnary(in.op, u);
        } else {
            --top;
            double& u = stack[static_cast<std::size_t>(top)];
            u = ApplyBinary(in.op, u, stack[static_cast<std::size_t>(top + 1)]);
        }
    }
    return top == 0 ? stack[0] : std::nan("");
}

FormulaEvaluator::FormulaEvaluator(const FormulaProgram& program)
    : m_program(program),
      m_components(1 + static_cast<std::size_t>(program.ParamCount())),
      m_stack(static_cast<std::size_t>(std::max(program.StackDepth(), 1)) * m_components * kBlock),
      m_factorU(kBlock),
      m_factorW(kBlock) {}

void FormulaEvaluator::Values(const double* params, std::span<const double> x,
                              std::span<double> values) {
    for (std::size_t first = 0; first < x.size(); first += kBlock) {
        const int count = static_cast<int>(std::min(kBlock, x.size() - first));
        ValueBlock(params, x.data() + first, count, values.data() + first);
    }
}

void FormulaEvaluator::ValueBlock(const double* params, const double* x, int count,
                                  double* values) {
    int top = -1;
    for (const FormulaInstruction& in : m_program.Code()) {
        if (in.op == FormulaOp::Constant || in.op == FormulaOp::Param) {
            const double c = in.op == FormulaOp::Constant ? in.constant : params[in.param];
            std::fill_n(Slot(++top), count, c);
        } else if (in.op == FormulaOp::X) {
            std::copy_n(x, count, Slot(++top));
        } else if (IsUnaryOp(in.op)) {
            double* u = Slot(top);
            for (int p = 0; p < count; ++p) {
                u[p] = ApplyUnary(in.op, u[p]);
            }
        } else {
            --top;
            double* u = Slot(top);
            const double* w = Slot(top + 1);
            for (int p = 0; p < count; ++p) {
                u[p] = ApplyBinary(in.op, u[p], w[p]);
            }
        }
    }
    std::copy_n(Slot(0), count, values);
}

void FormulaEvaluator::ValuesAndGradients(const double* params, std::span<const double> x,
                                          std::span<double> values, std::span<double> gradients) {
    const std::size_t n = x.size();
    const int m = m_program.ParamCount();
    for (std::size_t first = 0; first < n; first += kBlock) {
        const int count = static_cast<int>(std::min(kBlock, n - first));
        DualBlock(params, x.data() + first, count);
        std::copy_n(DualSlot(0, 0), count, values.data() + first);
        for (int i = 0; i < m; ++i) {
            std::copy_n(DualSlot(0, 1 + i), count,
                        gradients.data() + static_cast<std::size_t>(i) * n + first);
        }
    }
}

void FormulaEvaluator::DualBlock(const double* params, const double* x, int count) {
    const int m = m_program.ParamCount();
    int top = -1;
    for (const FormulaInstruction& in : m_program.Code()) {
        if (in.op == FormulaOp::Constant || in.op == FormulaOp::Param || in.op == FormulaOp::X) {
            ++top;
            if (in.op == FormulaOp::X) {
                std::copy_n(x, count, DualSlot(top, 0));
            } else {
                const double c = in.op == FormulaOp::Constant ? in.constant : params[in.param];
                std::fill_n(DualSlot(top, 0), count, c);
            }
            for (int i = 0; i < m; ++i) {
                const bool own = in.op == FormulaOp::Param && in.param == i;
                std::fill_n(DualSlot(top, 1 + i), count, own ? 1.0 : 0.0);
            }
        } else if (IsUnaryOp(in.op)) {
            DualUnary(in.op, top, count);
        } else {
            --top;
            DualBinary(in.op, top, count);
        }
    }
}

void FormulaEvaluator::DualUnary(FormulaOp op, int slot, int count) {
    double* u = DualSlot(slot, 0);
    double* f = m_factorU.data();
    for (int p = 0; p < count; ++p) {
        const double v = ApplyUnary(op, u[p]);
        f[p] = UnaryDerivative(op, u[p], v);
        u[p] = v;
    }
    for (std::size_t k = 1; k < m_components; ++k) {
        double* d = DualSlot(slot, static_cast<int>(k));
        for (int p = 0; p < count; ++p) {
            d[p] = Chain(f[p], d[p]);
        }
    }
}

void FormulaEvaluator::DualBinary(FormulaOp op, int slot, int count) {
    double* u = DualSlot(slot, 0);
    const double* w = DualSlot(slot + 1, 0);
    double* fu = m_factorU.data();
    double* fw = m_factorW.data();
    for (int p = 0; p < count; ++p) {
        const double v = ApplyBinary(op, u[p], w[p]);
        const auto [du, dw] = BinaryDerivatives(op, u[p], w[p], v);
        fu[p] = du;
        fw[p] = dw;
        u[p] = v;
    }
    for (std::size_t k = 1; k < m_components; ++k) {
        double* du = DualSlot(slot, static_cast<int>(k));
        const double* dw = DualSlot(slot + 1, static_cast<int>(k));
        for (int p = 0; p < count; ++p) {
            du[p] = Chain(fu[p], du[p]) + Chain(fw[p], dw[p]);
        }
    }
}

}  // namespace quillon
