#include "models/formula_program.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <type_traits>
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

template <FormulaOp op>
using OpTag = std::integral_constant<FormulaOp, op>;

// The value of a unary operation; any other op gives NaN.
template <FormulaOp op>
double Unary(double u) {
    if constexpr (op == FormulaOp::Negate) {
        return -u;
    } else if constexpr (op == FormulaOp::Square) {
        return u * u;
    } else if constexpr (op == FormulaOp::Exp) {
        return std::exp(u);
    } else if constexpr (op == FormulaOp::Log) {
        return std::log(u);
    } else if constexpr (op == FormulaOp::Log10) {
        return std::log10(u);
    } else if constexpr (op == FormulaOp::Sqrt) {
        return std::sqrt(u);
    } else if constexpr (op == FormulaOp::Abs) {
        return std::fabs(u);
    } else if constexpr (op == FormulaOp::Sin) {
        return std::sin(u);
    } else if constexpr (op == FormulaOp::Cos) {
        return std::cos(u);
    } else if constexpr (op == FormulaOp::Tan) {
        return std::tan(u);
    } else if constexpr (op == FormulaOp::Asin) {
        return std::asin(u);
    } else if constexpr (op == FormulaOp::Acos) {
        return std::acos(u);
    } else if constexpr (op == FormulaOp::Atan) {
        return std::atan(u);
    } else if constexpr (op == FormulaOp::Sinh) {
        return std::sinh(u);
    } else if constexpr (op == FormulaOp::Cosh) {
        return std::cosh(u);
    } else if constexpr (op == FormulaOp::Tanh) {
        return std::tanh(u);
    } else {
        return std::nan("");
    }
}

// d(op u)/du from u and the value v = op u.
template <FormulaOp op>
double UnaryDerivative(double u, double v) {
    if constexpr (op == FormulaOp::Negate) {
        return -1.0;
    } else if constexpr (op == FormulaOp::Square) {
        return 2.0 * u;
    } else if constexpr (op == FormulaOp::Exp) {
        return v;
    } else if constexpr (op == FormulaOp::Log) {
        return 1.0 / u;
    } else if constexpr (op == FormulaOp::Log10) {
        return 1.0 / (u * kLn10);
    } else if constexpr (op == FormulaOp::Sqrt) {
        return 0.5 / v;
    } else if constexpr (op == FormulaOp::Abs) {
        return std::copysign(1.0, u);
    } else if constexpr (op == FormulaOp::Sin) {
        return std::cos(u);
    } else if constexpr (op == FormulaOp::Cos) {
        return -std::sin(u);
    } else if constexpr (op == FormulaOp::Tan || op == FormulaOp::Tanh) {
        return op == FormulaOp::Tan ? 1.0 + v * v : 1.0 - v * v;
    } else if constexpr (op == FormulaOp::Asin || op == FormulaOp::Acos) {
        return (op == FormulaOp::Asin ? 1.0 : -1.0) / std::sqrt(1.0 - u * u);
    } else if constexpr (op == FormulaOp::Atan) {
        return 1.0 / (1.0 + u * u);
    } else if constexpr (op == FormulaOp::Sinh) {
        return std::cosh(u);
    } else if constexpr (op == FormulaOp::Cosh) {
        return std::sinh(u);
    } else {
        return std::nan("");
    }
}

// Calls fn with the unary operation as a compile-time tag, so that a loop
// over points inside fn runs without a choice per point.
template <class Fn>
void WithUnary(FormulaOp op, Fn&& fn) {
    switch (op) {
        case FormulaOp::Negate:
            return fn(OpTag<FormulaOp::Negate>{});
        case FormulaOp::Square:
            return fn(OpTag<FormulaOp::Square>{});
        case FormulaOp::Exp:
            return fn(OpTag<FormulaOp::Exp>{});
        case FormulaOp::Log:
            return fn(OpTag<FormulaOp::Log>{});
        case FormulaOp::Log10:
            return fn(OpTag<FormulaOp::Log10>{});
        case FormulaOp::Sqrt:
            return fn(OpTag<FormulaOp::Sqrt>{});
        case FormulaOp::Abs:
            return fn(OpTag<FormulaOp::Abs>{});
        case FormulaOp::Sin:
            return fn(OpTag<FormulaOp::Sin>{});
        case FormulaOp::Cos:
            return fn(OpTag<FormulaOp::Cos>{});
        case FormulaOp::Tan:
            return fn(OpTag<FormulaOp::Tan>{});
        case FormulaOp::Asin:
            return fn(OpTag<FormulaOp::Asin>{});
        case FormulaOp::Acos:
            return fn(OpTag<FormulaOp::Acos>{});
        case FormulaOp::Atan:
            return fn(OpTag<FormulaOp::Atan>{});
        case FormulaOp::Sinh:
            return fn(OpTag<FormulaOp::Sinh>{});
        case FormulaOp::Cosh:
            return fn(OpTag<FormulaOp::Cosh>{});
        case FormulaOp::Tanh:
            return fn(OpTag<FormulaOp::Tanh>{});
        default:
            return fn(OpTag<FormulaOp::Constant>{});  // not unary: NaN
    }
}

// The value of a binary operation; any other op gives NaN.
template <FormulaOp op>
double Binary(double u, double w) {
    if constexpr (op == FormulaOp::Add) {
        return u + w;
    } else if constexpr (op == FormulaOp::Subtract) {
        return u - w;
    } else if constexpr (op == FormulaOp::Multiply) {
        return u * w;
    } else if constexpr (op == FormulaOp::Divide) {
        return u / w;
    } else if constexpr (op == FormulaOp::Power) {
        return std::pow(u, w);
    } else if constexpr (op == FormulaOp::Atan2) {
        return std::atan2(u, w);
    } else if constexpr (op == FormulaOp::Min) {
        return NanMin(u, w);
    } else if constexpr (op == FormulaOp::Max) {
        return NanMax(u, w);
    } else {
        return std::nan("");
    }
}

struct Partials {
    double u = 0.0;
    double w = 0.0;
};

// The partial derivatives of v = u op w by u and by w; the one by w only
// when wanted (a power's by its exponent takes a logarithm).
template <FormulaOp op>
Partials BinaryPartials(double u, double w, double v, bool wantW) {
    if constexpr (op == FormulaOp::Add) {
        return {1.0, 1.0};
    } else if constexpr (op == FormulaOp::Subtract) {
        return {1.0, -1.0};
    } else if constexpr (op == FormulaOp::Multiply) {
        return {w, u};
    } else if constexpr (op == FormulaOp::Divide) {
        return {1.0 / w, -v / w};
    } else if constexpr (op == FormulaOp::Power) {
        // w u^(w-1), taken from v where u is not 0; v ln u by the exponent.
        return {u != 0.0 ? w * v / u : w * std::pow(u, w - 1.0), wantW ? v * std::log(u) : 0.0};
    } else if constexpr (op == FormulaOp::Atan2) {
        const double r2 = u * u + w * w;
        return {w / r2, -u / r2};
    } else if constexpr (op == FormulaOp::Min || op == FormulaOp::Max) {
        const bool left = v == u;
        return {left ? 1.0 : 0.0, left ? 0.0 : 1.0};
    } else {
        return {std::nan(""), std::nan("")};
    }
}

template <class Fn>
void WithBinary(FormulaOp op, Fn&& fn) {
    switch (op) {
        case FormulaOp::Add:
            return fn(OpTag<FormulaOp::Add>{});
        case FormulaOp::Subtract:
            return fn(OpTag<FormulaOp::Subtract>{});
        case FormulaOp::Multiply:
            return fn(OpTag<FormulaOp::Multiply>{});
        case FormulaOp::Divide:
            return fn(OpTag<FormulaOp::Divide>{});
        case FormulaOp::Power:
            return fn(OpTag<FormulaOp::Power>{});
        case FormulaOp::Atan2:
            return fn(OpTag<FormulaOp::Atan2>{});
        case FormulaOp::Min:
            return fn(OpTag<FormulaOp::Min>{});
        case FormulaOp::Max:
            return fn(OpTag<FormulaOp::Max>{});
        default:
            return fn(OpTag<FormulaOp::Constant>{});  // not binary: NaN
    }
}

// f * d, or 0 where d is 0: an operand that does not depend on a parameter
// passes nothing on, whatever the operation's own derivative.
double Chain(double f, double d) {
    return d == 0.0 ? 0.0 : f * d;
}

}  // namespace

double ApplyUnary(FormulaOp op, double u) {
    double v = 0.0;
    WithUnary(op, [&](auto tag) { v = Unary<decltype(tag)::value>(u); });
    return v;
}

double ApplyBinary(FormulaOp op, double u, double w) {
    double v = 0.0;
    WithBinary(op, [&](auto tag) { v = Binary<decltype(tag)::value>(u, w); });
    return v;
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
            WithUnary(in.op, [u, count](auto tag) {
                for (int p = 0; p < count; ++p) {
                    u[p] = Unary<decltype(tag)::value>(u[p]);
                }
            });
        } else {
            --top;
            double* u = Slot(top);
            const double* w = Slot(top + 1);
            WithBinary(in.op, [u, w, count](auto tag) {
                for (int p = 0; p < count; ++p) {
                    u[p] = Binary<decltype(tag)::value>(u[p], w[p]);
                }
            });
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
    // Whether each slot depends on a parameter at all: the derivatives of one
    // that does not are zero and are neither stored nor carried.
    std::array<bool, kFormulaMaxStack> varies{};
    int top = -1;
    for (const FormulaInstruction& in : m_program.Code()) {
        if (in.op == FormulaOp::Constant || in.op == FormulaOp::Param || in.op == FormulaOp::X) {
            PushDual(in, params, x, count, ++top);
            varies[static_cast<std::size_t>(top)] = in.op == FormulaOp::Param;
        } else if (IsUnaryOp(in.op)) {
            DualUnary(in.op, top, count, varies[static_cast<std::size_t>(top)]);
        } else {
            --top;
            bool& u = varies[static_cast<std::size_t>(top)];
            const bool w = varies[static_cast<std::size_t>(top + 1)];
            DualBinary(in.op, top, count, u, w);
            u = u || w;
        }
    }
    if (!varies[0]) {
        for (std::size_t k = 1; k < m_components; ++k) {
            std::fill_n(DualSlot(0, static_cast<int>(k)), count, 0.0);
        }
    }
}

void FormulaEvaluator::PushDual(const FormulaInstruction& in, const double* params, const double* x,
                                int count, int slot) {
    if (in.op == FormulaOp::X) {
        std::copy_n(x, count, DualSlot(slot, 0));
        return;
    }
    const double c = in.op == FormulaOp::Constant ? in.constant : params[in.param];
    std::fill_n(DualSlot(slot, 0), count, c);
    if (in.op == FormulaOp::Param) {
        for (int i = 0; i + 1 < static_cast<int>(m_components); ++i) {
            std::fill_n(DualSlot(slot, 1 + i), count, i == in.param ? 1.0 : 0.0);
        }
    }
}

void FormulaEvaluator::DualUnary(FormulaOp op, int slot, int count, bool varies) {
    double* u = DualSlot(slot, 0);
    double* f = m_factorU.data();
    WithUnary(op, [u, f, count, varies](auto tag) {
        constexpr FormulaOp kOp = decltype(tag)::value;
        for (int p = 0; p < count; ++p) {
            const double v = Unary<kOp>(u[p]);
            if (varies) {
                f[p] = UnaryDerivative<kOp>(u[p], v);
            }
            u[p] = v;
        }
    });
    if (!varies) {
        return;
    }
    for (std::size_t k = 1; k < m_components; ++k) {
        double* d = DualSlot(slot, static_cast<int>(k));
        for (int p = 0; p < count; ++p) {
            d[p] = Chain(f[p], d[p]);
        }
    }
}

void FormulaEvaluator::DualBinary(FormulaOp op, int slot, int count, bool uVaries, bool wVaries) {
    double* u = DualSlot(slot, 0);
    const double* w = DualSlot(slot + 1, 0);
    double* fu = m_factorU.data();
    double* fw = m_factorW.data();
    const bool varies = uVaries || wVaries;
    WithBinary(op, [u, w, fu, fw, count, varies, wVaries](auto tag) {
        constexpr FormulaOp kOp = decltype(tag)::value;
        for (int p = 0; p < count; ++p) {
            const double v = Binary<kOp>(u[p], w[p]);
            if (varies) {
                const Partials d = BinaryPartials<kOp>(u[p], w[p], v, wVaries);
                fu[p] = d.u;
                fw[p] = d.w;
            }
            u[p] = v;
        }
    });
    if (!uVaries && !wVaries) {
        return;
    }
    for (std::size_t k = 1; k < m_components; ++k) {
        double* du = DualSlot(slot, static_cast<int>(k));
        const double* dw = DualSlot(slot + 1, static_cast<int>(k));
        for (int p = 0; p < count; ++p) {
            // An operand that does not vary has no derivatives stored.
            du[p] = (uVaries ? Chain(fu[p], du[p]) : 0.0) + (wVaries ? Chain(fw[p], dw[p]) : 0.0);
        }
    }
}

}  // namespace quillon
