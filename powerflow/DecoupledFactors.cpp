#include "powerflow/DecoupledFactors.h"

#include <cmath>
#include <utility>

#include <klu.h>

#include "powerflow/TaskHandOver.h"

namespace tarvel {

namespace {

klu_common& commonOf(void* p)
{
    return *static_cast<klu_common*>(p);
}

}  // namespace

NodeAnalysis::NodeAnalysis(const NodeGraph& graph, const std::vector<int>& order)
{
    if (graph.nodes() < 1 || static_cast<int>(order.size()) != graph.nodes())
        return;
    klu_common common;
    klu_defaults(&common);
    common.btf = 0;
    // KLU takes the pattern and order through non-const pointers but only reads them.
    symbolic_ =
        klu_analyze_given(graph.nodes(), const_cast<int*>(graph.start.data()), const_cast<int*>(graph.neighbour.data()),
                          const_cast<int*>(order.data()), const_cast<int*>(order.data()), &common);
}

NodeAnalysis::~NodeAnalysis()
{
    if (symbolic_) {
        klu_common common;
        klu_defaults(&common);
        auto* symbolic = static_cast<klu_symbolic*>(symbolic_);
        klu_free_symbolic(&symbolic, &common);
    }
}

DecoupledFactors::DecoupledFactors() : angleCommon_(new klu_common), magnitudeCommon_(new klu_common)
{
    for (void* common : {angleCommon_, magnitudeCommon_}) {
        klu_defaults(&commonOf(common));
        commonOf(common).btf = 0;
    }
}

DecoupledFactors::~DecoupledFactors()
{
    release();
    delete static_cast<klu_common*>(angleCommon_);
    delete static_cast<klu_common*>(magnitudeCommon_);
}

void DecoupledFactors::release()
{
    for (auto [factors, common] : {std::pair{&angle_, angleCommon_}, std::pair{&magnitude_, magnitudeCommon_}}) {
        if (*factors) {
            auto* numeric = static_cast<klu_numeric*>(*factors);
            klu_free_numeric(&numeric, &commonOf(common));
            *factors = nullptr;
        }
    }
    madeFor = 0;
}

bool DecoupledFactors::factor(const NodeGraph& graph, const NodeAnalysis& analysis, std::span<const double> angle,
                              std::span<const double> magnitude, bool twoCores)
{
    release();
    if (!analysis.ok())
        return false;
    auto* symbolic = static_cast<klu_symbolic*>(analysis.symbolic());
    int* Ap = const_cast<int*>(graph.start.data());
    int* Ai = const_cast<int*>(graph.neighbour.data());
    klu_common& angleCommon = commonOf(angleCommon_);
    klu_common& magnitudeCommon = commonOf(magnitudeCommon_);
    runTwo(
        [&](int which) {
            if (which == 0)
                angle_ = klu_factor(Ap, Ai, const_cast<double*>(angle.data()), symbolic, &angleCommon);
            else
                magnitude_ = klu_factor(Ap, Ai, const_cast<double*>(magnitude.data()), symbolic, &magnitudeCommon);
        },
        twoCores);
    if (!ready() || angleCommon.status != KLU_OK || magnitudeCommon.status != KLU_OK) {
        release();
        return false;
    }
    return true;
}

bool DecoupledFactors::solveAngles(const NodeAnalysis& analysis, std::span<double> rhs)
{
    return angle_ && klu_solve(static_cast<klu_symbolic*>(analysis.symbolic()), static_cast<klu_numeric*>(angle_),
                               static_cast<int>(rhs.size()), 1, rhs.data(), &commonOf(angleCommon_)) != 0;
}

void DecoupledFactors::apply(const NodeAnalysis& analysis, std::span<const double> r, std::span<double> x,
                             std::span<const double> e, std::span<const double> f, std::span<const char> identity,
                             bool twoCores)
{
    const int n = static_cast<int>(r.size() / 2);
    theta_.resize(n);
    volts_.resize(n);
    for (int k = 0; k < n; ++k) {
        volts_[k] = r[2 * k];
        theta_[k] = r[2 * k + 1];
    }
    auto* symbolic = static_cast<klu_symbolic*>(analysis.symbolic());
    // The two solves, each bound by the memory its factors take, on two cores.
    runTwo(
        [&](int which) {
            if (which == 0)
                klu_solve(symbolic, static_cast<klu_numeric*>(angle_), n, 1, theta_.data(), &commonOf(angleCommon_));
            else
                klu_solve(symbolic, static_cast<klu_numeric*>(magnitude_), n, 1, volts_.data(),
                          &commonOf(magnitudeCommon_));
        },
        twoCores);
    for (int k = 0; k < n; ++k) {
        const int node = k + 1;
        if (identity[node]) {
            x[2 * k] = r[2 * k];
            x[2 * k + 1] = r[2 * k + 1];
            continue;
        }
        const double re = e[node], im = f[node];
        const double u = std::sqrt(re * re + im * im);
        const double c = u > 0 ? re / u : 1.0, s = u > 0 ? im / u : 0.0;
        // e + jf = U (cos a + j sin a): de = cos a dU - f da, df = sin a dU + e da.
        x[2 * k] = c * volts_[k] - im * theta_[k];
        x[2 * k + 1] = s * volts_[k] + re * theta_[k];
    }
}

}  // namespace tarvel
