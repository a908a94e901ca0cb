// The normal equations of a joint fit in their block form: per set a small
// local block, its coupling to the shared parameters and its share of the
// shared block. Each local block is eliminated (the Schur complement onto the
// shared parameters), so time and memory grow linearly with the sets.
#pragma once

#include <span>
#include <vector>

namespace quillon {

// One set's part of the normal equations, for its L free local and the S
// free shared parameters (J_l, J_s: the columns of its weighted Jacobian).
struct SetNormalBlock {
    int local = 0;                           // L
    std::vector<double> curvature;           // L x L, J_l^T J_l
    std::vector<double> coupling;            // L x S, J_l^T J_s
    std::vector<double> halfGradient;        // L
    std::vector<double> sharedCurvature;     // S x S, J_s^T J_s of this set
    std::vector<double> sharedHalfGradient;  // S
};

// The step of one damped solve.
struct BlockStep {
    bool solved = false;
    int singularSet = -1;  // the set whose local block did not invert, if any
    std::vector<double> shared;
    std::vector<std::vector<double>> local;  // per set
};

// Solves (A + lambda diag(A)) d = b, the diagonal of the whole matrix
// multiplied by 1 + lambda as the single fit's Marquardt does.
BlockStep SolveBlockNormalEquations(std::span<const SetNormalBlock> blocks, int sharedCount,
                                    double lambda);

// The inverse curvature where the errors come from: the shared block whole,
// and the diagonal of each set's local block.
struct BlockInverse {
    bool inverted = false;
    int singularSet = -1;
    std::vector<double> shared;                       // S x S
    std::vector<std::vector<double>> localVariances;  // per set, L
};

BlockInverse InvertBlockNormalEquations(std::span<const SetNormalBlock> blocks, int sharedCount);

// Gauss-Jordan inversion in place without pivoting, as the fit workspace
// inverts its curvature; false on a zero or NaN pivot.
bool InvertGaussJordan(std::span<double> matrix, int m);

}  // namespace quillon
