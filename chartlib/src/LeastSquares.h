// Least-squares fit of two polynomials in the same inputs, the one numerical kernel of the
// polynomial and the projected georeferencing (internal to the library).
#pragma once

#include <span>

namespace tavola::detail {

/// One observation: inputs (a, b) and the two targets.
struct FitSample {
    double a, b;
    double t1, t2;
};

/// Fits the TermCount(degree) terms of a polynomial in (a, b) to t1 and, with the same
/// design, to t2.  Writes that many coefficients, in raw (unscaled) inputs, to `first` and
/// `second` and returns the summed squared residuals of both.  Inputs whose terms are not
/// finite leave the outputs alone and give DBL_MAX; no samples give zero coefficients and 0.
/// Method: inputs centred and scaled to [-1, 1]; singular values of the design matrix below
/// 1e-10 of the largest set to zero (minimum-norm solution for deficient rank), by Householder
/// QR where its factor proves that none is near that limit, else by Eigen's Jacobi SVD.
double FitPolynomialPair(int degree, std::span<const FitSample> samples, double* first,
                         double* second);

/// Whether the inputs (a, b) of `samples` determine a degree-1 fit in every direction: at least
/// three samples, all inputs finite, and the design [1 a b] of the inputs centred and scaled to
/// [-1, 1] (as the fit scales them) with a Householder QR factor R whose ||R||_F ||R^-1||_F, an
/// upper bound of the design's condition number, stays below `limit`.  Inputs on one line (or
/// fewer than three distinct ones) give a singular design and false.
bool InputsSpanAPlane(std::span<const FitSample> samples, double limit);

} // namespace tavola::detail
