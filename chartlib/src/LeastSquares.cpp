// Least squares with the singular value rule, on Eigen's Householder QR and Jacobi SVD, and the
// 1-based decomposition routines CGEORec offers over them.
#include "LeastSquares.h"

#include <tavola/GeoRec.h>
#include <tavola/Polynomial.h>

#include <Eigen/QR>
#include <Eigen/SVD>

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace tavola::detail {
namespace {

// Singular values below this share of the largest count as zero.
constexpr double kSingularRatio = 1e-10;
// A triangular factor R whose ||R||_F ||R^-1||_F stays below this has no singular value near
// that share of the largest: ||R||_F bounds the largest singular value from above and
// 1 / ||R^-1||_F the smallest from below.  The factor 100 keeps the test clear of the
// rounding in R^-1.
constexpr double kNoSmallSingularValue = 1e-2 / kSingularRatio;

// Centre and half-range of a set of values, so that (v - centre) / scale lies in [-1, 1].
struct Scaling {
    double centre = 0.0, scale = 1.0;
};

template <typename Get> Scaling ScalingOf(std::span<const FitSample> samples, Get get) {
    Scaling s;
    if (samples.empty())
        return s;
    double lo = get(samples.front()), hi = lo;
    for (const FitSample& v : samples) {
        lo = std::min(lo, get(v));
        hi = std::max(hi, get(v));
    }
    s.centre = (lo + hi) * 0.5;
    const double half = (hi - lo) * 0.5;
    s.scale = (half > 0.0 && std::isfinite(half)) ? half : 1.0;
    return s;
}

double Binomial(int n, int k) {
    static constexpr double kTable[6][6] = {{1, 0, 0, 0, 0, 0}, {1, 1, 0, 0, 0, 0},
                                            {1, 2, 1, 0, 0, 0}, {1, 3, 3, 1, 0, 0},
                                            {1, 4, 6, 4, 1, 0}, {1, 5, 10, 10, 5, 1}};
    return kTable[n][k];
}

// Term number of a^i b^j.
int TermIndex(int i, int j) {
    const int d = i + j;
    return d * (d + 1) / 2 + j;
}

// x^n for the small powers of the expansion below.
double Power(double x, int n) {
    double p = 1.0;
    for (int i = 0; i < n; ++i)
        p *= x;
    return p;
}

// Rewrites t coefficients of a polynomial in scaled inputs a' = (a - ca) / sa,
// b' = (b - cb) / sb as coefficients in the raw inputs (a, b).
void Unscale(const double* scaled, int t, const Scaling& sa, const Scaling& sb, double* raw) {
    std::fill(raw, raw + t, 0.0);
    const double alpha = 1.0 / sa.scale, beta = -sa.centre / sa.scale;
    const double gamma = 1.0 / sb.scale, delta = -sb.centre / sb.scale;
    for (int d = 0; d <= 5; ++d) {
        for (int j = 0; j <= d; ++j) {
            const int i = d - j;
            const int term = TermIndex(i, j);
            if (term >= t || scaled[term] == 0.0)
                continue;
            // (alpha a + beta)^i (gamma b + delta)^j, expanded.
            for (int k = 0; k <= i; ++k) {
                const double fa = Binomial(i, k) * Power(alpha, k) * Power(beta, i - k);
                for (int l = 0; l <= j; ++l) {
                    const double fb = Binomial(j, l) * Power(gamma, l) * Power(delta, j - l);
                    raw[TermIndex(k, l)] += scaled[term] * fa * fb;
                }
            }
        }
    }
}

// ||R||_F ||R^-1||_F of the triangular factor R (t x t) of a Householder QR: an upper bound of
// the condition number of the factored matrix (infinite or NaN when R is singular).
double ConditionBound(const Eigen::MatrixXd& r) {
    Eigen::MatrixXd inverse = Eigen::MatrixXd::Identity(r.rows(), r.cols());
    r.triangularView<Eigen::Upper>().solveInPlace(inverse);
    return r.norm() * inverse.norm();
}

// The least-squares solution of design * x = targets with the singular values of the design
// below kSingularRatio of the largest set to zero (the minimum-norm solution when that drops
// a direction).  A design whose QR factor shows no singular value near that limit has the
// ordinary least-squares solution, which the QR factor gives directly; the others go through
// the singular value decomposition.
Eigen::MatrixXd SolveWithSingularValueRule(const Eigen::MatrixXd& design,
                                           const Eigen::MatrixXd& targets) {
    const Eigen::Index m = design.rows(), t = design.cols();
    if (m >= t) {
        const Eigen::HouseholderQR<Eigen::MatrixXd> qr(design);
        const Eigen::MatrixXd r = qr.matrixQR().topRows(t).triangularView<Eigen::Upper>();
        const double bound = ConditionBound(r);
        if (std::isfinite(bound) && bound < kNoSmallSingularValue) {
            const Eigen::MatrixXd projected = qr.householderQ().adjoint() * targets;
            return r.triangularView<Eigen::Upper>().solve(projected.topRows(t));
        }
    }
    const Eigen::JacobiSVD<Eigen::MatrixXd> svd(design, Eigen::ComputeThinU | Eigen::ComputeThinV);
    const Eigen::VectorXd& w = svd.singularValues();
    const double threshold = (w.size() > 0 ? w.maxCoeff() : 0.0) * kSingularRatio;
    Eigen::VectorXd inverse(w.size());
    for (Eigen::Index j = 0; j < w.size(); ++j)
        inverse(j) = (w(j) > 0.0 && w(j) >= threshold) ? 1.0 / w(j) : 0.0;
    return svd.matrixV() * (inverse.asDiagonal() * (svd.matrixU().transpose() * targets));
}

} // namespace

bool InputsSpanAPlane(std::span<const FitSample> samples, double limit) {
    constexpr int kTerms = 3; // 1, a, b
    const Eigen::Index m = static_cast<Eigen::Index>(samples.size());
    if (m < kTerms)
        return false;
    for (const FitSample& s : samples)
        if (!std::isfinite(s.a) || !std::isfinite(s.b))
            return false;
    const Scaling sa = ScalingOf(samples, [](const FitSample& s) { return s.a; });
    const Scaling sb = ScalingOf(samples, [](const FitSample& s) { return s.b; });
    Eigen::MatrixXd design(m, kTerms);
    for (Eigen::Index i = 0; i < m; ++i) {
        const FitSample& s = samples[static_cast<std::size_t>(i)];
        design(i, 0) = 1.0;
        design(i, 1) = (s.a - sa.centre) / sa.scale;
        design(i, 2) = (s.b - sb.centre) / sb.scale;
    }
    const Eigen::HouseholderQR<Eigen::MatrixXd> qr(design);
    const Eigen::MatrixXd r = qr.matrixQR().topRows(kTerms).triangularView<Eigen::Upper>();
    const double bound = ConditionBound(r);
    return std::isfinite(bound) && bound < limit;
}

double FitPolynomialPair(int degree, std::span<const FitSample> samples, double* first,
                         double* second) {
    const int t = TermCount(degree);
    const Eigen::Index m = static_cast<Eigen::Index>(samples.size());
    if (m == 0) {
        std::fill(first, first + t, 0.0);
        std::fill(second, second + t, 0.0);
        return 0.0;
    }
    const Scaling sa = ScalingOf(samples, [](const FitSample& s) { return s.a; });
    const Scaling sb = ScalingOf(samples, [](const FitSample& s) { return s.b; });
    Eigen::MatrixXd design(m, t);
    Eigen::MatrixXd targets(m, 2);
    for (Eigen::Index i = 0; i < m; ++i) {
        const FitSample& s = samples[static_cast<std::size_t>(i)];
        const double as = (s.a - sa.centre) / sa.scale, bs = (s.b - sb.centre) / sb.scale;
        for (int j = 0; j < t; ++j) {
            const double value = PolyTerm(j, as, bs);
            if (!std::isfinite(value))
                return DBL_MAX;
            design(i, j) = value;
        }
        targets(i, 0) = s.t1;
        targets(i, 1) = s.t2;
    }

    const Eigen::MatrixXd coefficients = SolveWithSingularValueRule(design, targets);
    const double error = (targets - design * coefficients).squaredNorm();
    Unscale(coefficients.col(0).data(), t, sa, sb, first);
    Unscale(coefficients.col(1).data(), t, sa, sb, second);
    return std::isnan(error) ? DBL_MAX : error;
}

} // namespace tavola::detail

// ---- 1-based decomposition routines --------------------------------------------------------

void CGEORec::svdcmp(double** a, int m, int n, double* w, double** v) {
    if (m <= 0 || n <= 0)
        return;
    // A matrix with fewer rows than columns is padded with zero rows, which changes neither
    // its singular values nor V; U's rows for the padding are dropped again.
    const int rows = std::max(m, n);
    Eigen::MatrixXd matrix = Eigen::MatrixXd::Zero(rows, n);
    for (int i = 0; i < m; ++i)
        for (int j = 0; j < n; ++j)
            matrix(i, j) = a[i + 1][j + 1];
    const Eigen::JacobiSVD<Eigen::MatrixXd> svd(matrix, Eigen::ComputeThinU | Eigen::ComputeThinV);
    for (int j = 0; j < n; ++j) {
        w[j + 1] = svd.singularValues()(j);
        for (int i = 0; i < m; ++i)
            a[i + 1][j + 1] = svd.matrixU()(i, j);
        for (int i = 0; i < n; ++i)
            v[i + 1][j + 1] = svd.matrixV()(i, j);
    }
}

void CGEORec::svbksb(double** u, const double* w, double** v, int m, int n, const double* b,
                     double* x) {
    Eigen::VectorXd projected = Eigen::VectorXd::Zero(n);
    for (int j = 1; j <= n; ++j) {
        if (w[j] == 0.0)
            continue; // a zeroed singular value contributes nothing
        double s = 0.0;
        for (int i = 1; i <= m; ++i)
            s += u[i][j] * b[i];
        projected(j - 1) = s / w[j];
    }
    for (int j = 1; j <= n; ++j) {
        double s = 0.0;
        for (int k = 1; k <= n; ++k)
            s += v[j][k] * projected(k - 1);
        x[j] = s;
    }
}

double CGEORec::pythag(double a, double b) {
    return std::hypot(a, b);
}
