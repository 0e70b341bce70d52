#include "powerflow/Newton.h"

#include <array>
#include <cmath>
#include <cstdint>

#include "powerflow/Equations.h"
#include "powerflow/ReactiveLimits.h"

namespace tarvel {

namespace {

// The magnitude test of the elimination: the stored single-precision value,
// widened to double, against the floor.
inline bool aboveFloor(float v)
{
    return std::fabs(static_cast<double>(v)) > kPivotFloor;
}

// Working lists of the elimination (80 KB, kept off the stack; one per thread).
std::array<std::array<int16_t, DenseMatrix::kSize>, DenseMatrix::kSize>& keptColumns()
{
    thread_local std::array<std::array<int16_t, DenseMatrix::kSize>, DenseMatrix::kSize> columns;
    return columns;
}

}  // namespace

float computeResidual(NetworkModel& model)
{
    computeInjections(model);

    const int n = model.nodeCount;
    if (n < 1)
        return 0.0f;
    auto& mis = model.mismatch;
    float sum = 0.0f;
    for (int k = 1; k <= n; ++k) {
        const float loadP = model.nodeLoadP[k];
        const float loadQ = equationLoadQ(model, k);
        const float unom = model.nodeUnom[k];
        float eQ;
        mis[2 * k] = -(model.calcP[k] + loadP);
        if (solvesReactivePower(model, k)) {
            mis[2 * k - 1] = -(model.calcQ[k] + loadQ);
            eQ = std::fabs(loadQ) >= 1.0f ? mis[2 * k - 1] / loadQ : mis[2 * k - 1];
        } else {
            const float e = model.voltageRe[k];
            const float f = model.voltageIm[k];
            mis[2 * k - 1] = -((e * e + f * f) - unom * unom) / unom;
            eQ = mis[2 * k - 1] / unom;
        }
        const float eP = std::fabs(loadP) >= 1.0f ? mis[2 * k] / loadP : mis[2 * k];
        sum = sum + eP * eP + eQ * eQ;
    }
    return std::sqrt(sum / static_cast<float>(2 * n));
}

void formJacobian(NetworkModel& model)
{
    const int n = model.nodeCount;
    const int m = model.branchCount;
    const int N = 2 * n;
    auto& J = model.jacobian;

    for (int r = 1; r <= N; ++r)
        for (int c = 1; c <= N; ++c)
            J[r][c] = 0.0f;

    for (int k = 1; k <= n; ++k) {
        const float G = model.selfG[k];
        const float B = model.selfB[k];
        const float e = model.voltageRe[k];
        const float f = model.voltageIm[k];
        const float Ir = model.currentRe[k];
        const float Ii = model.currentIm[k];
        if (solvesReactivePower(model, k)) {
            J[2 * k - 1][2 * k - 1] = G * f - B * e - Ii;
            J[2 * k - 1][2 * k] = -G * e - B * f + Ir;
        } else {
            J[2 * k - 1][2 * k - 1] = 2.0f * e / model.nodeUnom[k];
            J[2 * k - 1][2 * k] = 2.0f * f / model.nodeUnom[k];
        }
        J[2 * k][2 * k - 1] = G * e + B * f + Ir;
        J[2 * k][2 * k] = G * f - B * e + Ii;
    }

    // Coupling through the branches between two non-base nodes. The voltage
    // row of a node with fixed magnitude has none; parallel branches add up.
    for (int i = 1; i <= m; ++i) {
        const int s = model.branchStartIndex[i];
        const int t = model.branchEndIndex[i];
        if (s == 0 || t == 0)
            continue;
        const float g = model.seriesG[i];
        const float b = model.seriesB[i];
        const float K = model.branchRatio[i];
        const int pairs[2][2] = {{s, t}, {t, s}};
        for (const auto& pair : pairs) {
            const int p = pair[0];
            const int q = pair[1];
            const float e = model.voltageRe[p];
            const float f = model.voltageIm[p];
            if (solvesReactivePower(model, p)) {
                J[2 * p - 1][2 * q - 1] += -(g * f - b * e) / K;
                J[2 * p - 1][2 * q] += (g * e + b * f) / K;
            }
            J[2 * p][2 * q - 1] += -(g * e + b * f) / K;
            J[2 * p][2 * q] += -(g * f - b * e) / K;
        }
    }
}

bool solveAndUpdate(NetworkModel& model)
{
    const int n = model.nodeCount;
    const int N = 2 * n;
    auto& J = model.jacobian;
    auto& mis = model.mismatch;
    const float floor = static_cast<float>(kPivotFloor);

    // The columns j > i of each pivot row whose entry stays above the floor
    // after the division: the only ones that change anything below or in the
    // back substitution. Rows are never touched again once they have been
    // pivot rows, so the lists hold to the end, in increasing column order.
    std::array<std::array<int16_t, DenseMatrix::kSize>, DenseMatrix::kSize>* kept = &keptColumns();
    std::array<int, DenseMatrix::kSize> keptCount{};

    // Forward elimination, no row or column exchange. Rows are divided by
    // their pivots; entries below the diagonal are left as they are.
    for (int i = 1; i <= N - 1; ++i) {
        float p = J[i][i];
        if (std::fabs(static_cast<double>(p)) < kPivotFloor)
            p = floor;
        float* const rowI = J[i];
        auto& columns = (*kept)[i];
        int count = 0;
        for (int j = i + 1; j <= N; ++j) {
            if (aboveFloor(rowI[j])) {
                rowI[j] = rowI[j] / p;
                // An entry that the division takes to the floor or below
                // counts as zero from here on.
                if (aboveFloor(rowI[j]))
                    columns[count++] = static_cast<int16_t>(j);
            }
        }
        keptCount[i] = count;
        mis[i] = mis[i] / p;
        for (int k = i + 1; k <= N; ++k) {
            float* const rowK = J[k];
            const float h = rowK[i];
            if (!aboveFloor(h))
                continue;
            for (int c = 0; c < count; ++c) {
                const int j = columns[c];
                rowK[j] = rowK[j] - rowI[j] * h;
            }
            mis[k] = mis[k] - mis[i] * h;
        }
    }

    // The last pivot is used without the floor: zero means no solution.
    if (N < 1)
        return false;
    const float last = J[N][N];
    if (last == 0.0f || !std::isfinite(last))
        return false;

    std::array<float, DenseMatrix::kSize> x;
    x[N] = mis[N] / last;
    for (int i = N - 1; i >= 1; --i) {
        const float* const rowI = J[i];
        const auto& columns = (*kept)[i];
        float sum = 0.0f;
        for (int c = 0; c < keptCount[i]; ++c) {
            const int j = columns[c];
            sum = sum + rowI[j] * x[j];
        }
        x[i] = mis[i] - sum;
    }
    for (int i = 1; i <= N; ++i)
        if (!std::isfinite(x[i]))
            return false;

    for (int k = 1; k <= n; ++k) {
        model.voltageRe[k] += x[2 * k - 1];
        model.voltageIm[k] += x[2 * k];
    }
    return true;
}

}  // namespace tarvel
