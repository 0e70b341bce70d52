#include "powerflow/Gmres.h"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tarvel {

namespace {

double dot(std::span<const double> a, std::span<const double> b)
{
    return std::inner_product(a.begin(), a.end(), b.begin(), 0.0);
}

double norm(std::span<const double> a)
{
    return std::sqrt(dot(a, a));
}

// r = b - A x.
void computeResidual(const LinearMap& multiply, std::span<const double> b, std::span<const double> x,
                     std::span<double> r)
{
    multiply(x, r);
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = b[i] - r[i];
}

}  // namespace

GmresOutcome solveByGmres(const LinearMap& multiply, const LinearMap& precondition, std::span<const double> b,
                          std::span<double> x, const GmresLimits& limits, GmresSpace& space)
{
    const std::size_t size = b.size();
    const int restart = std::max(1, limits.restart);
    // Directions are allocated as the method reaches them: a well
    // preconditioned system needs a few of the restart's.
    // (The outer vector never moves: references to its directions stay valid.)
    space.basis.reserve(static_cast<std::size_t>(restart) + 1);
    if (space.basis.empty())
        space.basis.emplace_back();
    space.basis[0].resize(size);
    space.hessenberg.assign(static_cast<std::size_t>(restart + 1) * restart, 0.0);
    space.cosines.resize(restart);
    space.sines.resize(restart);
    space.rotated.resize(static_cast<std::size_t>(restart) + 1);
    space.work.resize(size);
    space.preconditioned.resize(size);
    const auto H = [&](int i, int j) -> double& {
        return space.hessenberg[static_cast<std::size_t>(j) * (restart + 1) + i];
    };

    std::fill(x.begin(), x.end(), 0.0);
    GmresOutcome outcome;
    const double scale = norm(b);
    if (scale == 0.0 || !std::isfinite(scale)) {
        outcome.converged = scale == 0.0;
        outcome.relativeResidual = scale == 0.0 ? 0.0 : scale;
        return outcome;
    }
    const double target = limits.tolerance * scale;
    std::vector<double>& r = space.basis[0];
    std::copy(b.begin(), b.end(), r.begin());
    double beta = scale;
    while (true) {
        for (std::size_t i = 0; i < size; ++i)
            r[i] /= beta;
        std::fill(space.rotated.begin(), space.rotated.end(), 0.0);
        space.rotated[0] = beta;
        int columns = 0;
        for (int j = 0; j < restart && outcome.iterations < limits.iterations; ++j) {
            if (space.basis.size() < static_cast<std::size_t>(j) + 2)
                space.basis.emplace_back();
            space.basis[j + 1].resize(size);
            precondition(space.basis[j], space.preconditioned);
            std::vector<double>& w = space.basis[j + 1];
            multiply(space.preconditioned, w);
            ++outcome.iterations;
            // Modified Gram-Schmidt against the directions so far.
            for (int i = 0; i <= j; ++i) {
                const double h = dot(w, space.basis[i]);
                H(i, j) = h;
                const std::vector<double>& v = space.basis[i];
                for (std::size_t k = 0; k < size; ++k)
                    w[k] -= h * v[k];
            }
            const double length = norm(w);
            H(j + 1, j) = length;
            if (length > 0)
                for (double& a : w)
                    a /= length;
            // The rotations so far, then this column's own, which zeroes H(j + 1, j).
            for (int i = 0; i < j; ++i) {
                const double upper = H(i, j), lower = H(i + 1, j);
                H(i, j) = space.cosines[i] * upper + space.sines[i] * lower;
                H(i + 1, j) = -space.sines[i] * upper + space.cosines[i] * lower;
            }
            const double diagonal = std::hypot(H(j, j), H(j + 1, j));
            space.cosines[j] = diagonal > 0 ? H(j, j) / diagonal : 1.0;
            space.sines[j] = diagonal > 0 ? H(j + 1, j) / diagonal : 0.0;
            H(j, j) = diagonal;
            H(j + 1, j) = 0.0;
            space.rotated[j + 1] = -space.sines[j] * space.rotated[j];
            space.rotated[j] *= space.cosines[j];
            columns = j + 1;
            if (std::fabs(space.rotated[j + 1]) <= target || length == 0.0 || !std::isfinite(length))
                break;
        }
        // The least-squares coefficients of the directions: H y = g, upper triangular.
        std::vector<double>& y = space.rotated;
        for (int i = columns - 1; i >= 0; --i) {
            double s = y[i];
            for (int k = i + 1; k < columns; ++k)
                s -= H(i, k) * y[k];
            y[i] = H(i, i) != 0.0 ? s / H(i, i) : 0.0;
        }
        std::fill(space.work.begin(), space.work.end(), 0.0);
        for (int i = 0; i < columns; ++i) {
            const std::vector<double>& v = space.basis[i];
            for (std::size_t k = 0; k < size; ++k)
                space.work[k] += y[i] * v[k];
        }
        precondition(space.work, space.preconditioned);
        for (std::size_t k = 0; k < size; ++k)
            x[k] += space.preconditioned[k];
        // The residual of x itself, not the method's estimate of it.
        computeResidual(multiply, b, x, r);
        beta = norm(r);
        outcome.relativeResidual = beta / scale;
        outcome.converged = beta <= target;
        if (outcome.converged || !std::isfinite(beta) || outcome.iterations >= limits.iterations || columns == 0)
            return outcome;
    }
}

}  // namespace tarvel
