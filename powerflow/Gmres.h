// The generalised minimal residual method (GMRES), restarted, with the
// preconditioner applied on the right: the residual it stops at is that of
// the system itself, b - A x, not a preconditioned one.
#pragma once

#include <functional>
#include <span>
#include <vector>

namespace tarvel {

// y = A x, and y = M^-1 x for a preconditioner M that is near A.
using LinearMap = std::function<void(std::span<const double> x, std::span<double> y)>;

struct GmresLimits {
    double tolerance = 1e-6;  // of ||b - A x|| relative to ||b||
    int restart = 30;         // directions kept before the method restarts from its last x
    int iterations = 300;     // products with A in all
};

struct GmresOutcome {
    bool converged = false;
    int iterations = 0;
    double relativeResidual = 1;  // ||b - A x|| / ||b|| at the end
};

// The vectors of the method, kept from solve to solve of one size.
struct GmresSpace {
    std::vector<std::vector<double>> basis;  // restart + 1 directions
    std::vector<double> hessenberg, cosines, sines, rotated, work, preconditioned;
};

// Solves A x = b from x = 0. x holds the best solution found also when the
// method does not converge within the limits.
GmresOutcome solveByGmres(const LinearMap& multiply, const LinearMap& precondition, std::span<const double> b,
                          std::span<double> x, const GmresLimits& limits, GmresSpace& space);

}  // namespace tarvel
