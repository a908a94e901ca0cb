#include "fit/block_normal_equations.h"

#include <cmath>

namespace quillon {
namespace {

std::size_t Size(int count) {
    return count > 0 ? static_cast<std::size_t>(count) : 0;
}

void DampDiagonal(std::vector<double>& matrix, int m, double lambda) {
    for (std::size_t i = 0; i < Size(m); ++i) {
        matrix[i * Size(m) + i] *= 1.0 + lambda;
    }
}

// What eliminating one set leaves: Y = A^-1 C (L x S) and z = A^-1 b (L),
// so that the set's step is z - Y d_shared.
struct Eliminated {
    std::vector<double> y;
    std::vector<double> z;
    std::vector<double> inverse;  // A^-1, L x L
};

// Inverts the set's damped local block and subtracts C^T Y from the shared
// matrix and C^T z from the shared right-hand side; false when the block is
// singular.
bool EliminateSet(const SetNormalBlock& block, int s, double lambda, std::vector<double>& matrix,
                  std::vector<double>& rhs, Eliminated& out) {
    const std::size_t l = Size(block.local);
    const std::size_t sn = Size(s);
    out.inverse = block.curvature;
    DampDiagonal(out.inverse, block.local, lambda);
    if (!InvertGaussJordan(out.inverse, block.local)) {
        return false;
    }
    out.y.assign(l * sn, 0.0);
    out.z.assign(l, 0.0);
    for (std::size_t i = 0; i < l; ++i) {
        for (std::size_t k = 0; k < l; ++k) {
            const double a = out.inverse[i * l + k];
            out.z[i] += a * block.halfGradient[k];
            for (std::size_t c = 0; c < sn; ++c) {
                out.y[i * sn + c] += a * block.coupling[k * sn + c];
            }
        }
    }
    for (std::size_t r = 0; r < sn; ++r) {
        for (std::size_t i = 0; i < l; ++i) {
            const double cir = block.coupling[i * sn + r];
            rhs[r] -= cir * out.z[i];
            for (std::size_t c = 0; c < sn; ++c) {
                matrix[r * sn + c] -= cir * out.y[i * sn + c];
            }
        }
    }
    return true;
}

// The shared matrix and right-hand side summed over the sets, in set order.
void SumSharedParts(std::span<const SetNormalBlock> blocks, int s, std::vector<double>& matrix,
                    std::vector<double>& rhs) {
    matrix.assign(Size(s) * Size(s), 0.0);
    rhs.assign(Size(s), 0.0);
    for (const SetNormalBlock& block : blocks) {
        for (std::size_t i = 0; i < matrix.size(); ++i) {
            matrix[i] += block.sharedCurvature[i];
        }
        for (std::size_t i = 0; i < rhs.size(); ++i) {
            rhs[i] += block.sharedHalfGradient[i];
        }
    }
}

}  // namespace

bool InvertGaussJordan(std::span<double> matrix, int m) {
    const std::size_t n = Size(m);
    for (std::size_t i = 0; i < n; ++i) {
        const double p = matrix[i * n + i];
        if (p == 0.0 || std::isnan(p)) {
            return false;
        }
        double* rowI = matrix.data() + i * n;
        for (std::size_t k = 0; k < n; ++k) {
            rowI[k] /= p;
        }
        rowI[i] = 1.0 / p;
        for (std::size_t j = 0; j < n; ++j) {
            if (j == i) {
                continue;
            }
            double* rowJ = matrix.data() + j * n;
            const double b = rowJ[i];
            for (std::size_t k = 0; k < n; ++k) {
                rowJ[k] = k == i ? -b / p : rowJ[k] - rowI[k] * b;
            }
        }
    }
    return true;
}

BlockStep SolveBlockNormalEquations(std::span<const SetNormalBlock> blocks, int sharedCount,
                                    double lambda) {
    BlockStep step;
    std::vector<double> matrix;
    std::vector<double> rhs;
    SumSharedParts(blocks, sharedCount, matrix, rhs);
    DampDiagonal(matrix, sharedCount, lambda);
    std::vector<Eliminated> eliminated(blocks.size());
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        if (!EliminateSet(blocks[k], sharedCount, lambda, matrix, rhs, eliminated[k])) {
            step.singularSet = static_cast<int>(k);
            return step;
        }
    }
    if (!InvertGaussJordan(matrix, sharedCount)) {
        return step;
    }
    const std::size_t sn = Size(sharedCount);
    step.shared.assign(sn, 0.0);
    for (std::size_t r = 0; r < sn; ++r) {
        for (std::size_t c = 0; c < sn; ++c) {
            step.shared[r] += matrix[r * sn + c] * rhs[c];
        }
    }
    step.local.resize(blocks.size());
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        std::vector<double>& d = step.local[k];
        d = eliminated[k].z;
        for (std::size_t i = 0; i < d.size(); ++i) {
            for (std::size_t c = 0; c < sn; ++c) {
                d[i] -= eliminated[k].y[i * sn + c] * step.shared[c];
            }
        }
    }
    step.solved = true;
    return step;
}

BlockInverse InvertBlockNormalEquations(std::span<const SetNormalBlock> blocks, int sharedCount) {
    BlockInverse inverse;
    std::vector<double> rhs;
    SumSharedParts(blocks, sharedCount, inverse.shared, rhs);
    std::vector<Eliminated> eliminated(blocks.size());
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        if (!EliminateSet(blocks[k], sharedCount, 0.0, inverse.shared, rhs, eliminated[k])) {
            inverse.singularSet = static_cast<int>(k);
            return inverse;
        }
    }
    if (!InvertGaussJordan(inverse.shared, sharedCount)) {
        return inverse;
    }
    // The local block of the whole inverse: A^-1 + Y S^-1 Y^T.
    const std::size_t sn = Size(sharedCount);
    inverse.localVariances.resize(blocks.size());
    for (std::size_t k = 0; k < blocks.size(); ++k) {
        const std::size_t l = Size(blocks[k].local);
        const std::vector<double>& y = eliminated[k].y;
        std::vector<double>& variances = inverse.localVariances[k];
        variances.assign(l, 0.0);
        for (std::size_t i = 0; i < l; ++i) {
            double extra = 0.0;
            for (std::size_t r = 0; r < sn; ++r) {
                for (std::size_t c = 0; c < sn; ++c) {
                    extra += y[i * sn + r] * inverse.shared[r * sn + c] * y[i * sn + c];
                }
            }
            variances[i] = eliminated[k].inverse[i * l + i] + extra;
        }
    }
    inverse.inverted = true;
    return inverse;
}

}  // namespace quillon
