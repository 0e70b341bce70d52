#!/usr/bin/python3
"""Double-precision power flow of a MATPOWER version 2 case, for reference
solutions of the import tests and of the reactive limits.

    tools/case_newton.py [--q-limits] [--outage ROW] CASE.m > CASE.ref.json

Polar Newton-Raphson on the full admittance matrix (numpy), branch model with
the tap and phase shift at the "from" end and the charging split in halves,
bus shunts at 1 p.u., generators summed per bus; PV buses hold the set
voltage of their first generator. Without --q-limits they do so at any Q.
With it, the limits QMIN and QMAX of a PV bus's in-service generators,
summed, bound its generation (Q injected plus Qd): a bus beyond them is held
at the limit as a PQ bus, and a held bus whose voltage comes back past its
setting (above it at QMAX, below it at QMIN) is given back its voltage; the
case is solved again after every change until no bus changes. Prints per bus
the magnitude (p.u.) and angle (degrees, relative to the reference bus), and
per in-service branch the power into the branch at both ends (MW, Mvar);
with --q-limits also the buses held at a limit ("held": number and "Qmax" or
"Qmin"). --outage ROW takes the case's branch row ROW (from 1) out of service
first, all of it: series admittance, charging and tap.
"""
import json
import re
import sys

import numpy as np


def matrix(text, name):
    m = re.search(r"\." + name + r"\s*=\s*\[(.*?)\]", text, re.S)
    rows = []
    for line in re.sub(r"%[^\n]*", "", m.group(1)).replace(";", "\n").split("\n"):
        values = [float(v) for v in line.replace(",", " ").split()]
        if values:
            rows.append(values)
    return np.array(rows)


def solve(path, limits=False, outage=None):
    text = open(path).read()
    base = float(re.search(r"baseMVA\s*=\s*([0-9.eE+-]+)", text).group(1))
    bus, gen, branch = matrix(text, "bus"), matrix(text, "gen"), matrix(text, "branch")
    # The distribution feeders give impedances in Ohm and loads in kW, and
    # convert them by their last statements as MATPOWER runs them.
    if re.search(r"mpc\.branch\(:, \[BR_R BR_X\]\) = mpc\.branch\(:, \[BR_R BR_X\]\) / \(Vbase\^2 / Sbase\)", text):
        branch[:, 2:4] /= (bus[0, 9] * 1e3) ** 2 / (base * 1e6)
    if re.search(r"mpc\.bus\(:, \[PD, QD\]\) = mpc\.bus\(:, \[PD, QD\]\) / 1e3", text):
        bus[:, 2:4] /= 1e3
    number = [int(b) for b in bus[:, 0]]
    index = {n: i for i, n in enumerate(number)}
    n = len(number)

    if outage is not None:
        branch[outage - 1, 10] = 0
    branch = branch[branch[:, 10] > 0]
    f = np.array([index[int(v)] for v in branch[:, 0]])
    t = np.array([index[int(v)] for v in branch[:, 1]])
    ys = 1.0 / (branch[:, 2] + 1j * branch[:, 3])
    bc = branch[:, 4]
    tap = np.where(branch[:, 8] == 0, 1.0, branch[:, 8]) * np.exp(1j * np.radians(branch[:, 9]))
    ytt = ys + 1j * bc / 2
    yff = ytt / (tap * np.conj(tap))
    yft = -ys / np.conj(tap)
    ytf = -ys / tap
    Y = np.zeros((n, n), complex)
    for k in range(len(f)):
        Y[f[k], f[k]] += yff[k]
        Y[t[k], t[k]] += ytt[k]
        Y[f[k], t[k]] += yft[k]
        Y[t[k], f[k]] += ytf[k]
    Y += np.diag((bus[:, 4] + 1j * bus[:, 5]) / base)

    kind = bus[:, 1].astype(int)
    S = -(bus[:, 2] + 1j * bus[:, 3]) / base
    V = bus[:, 7] * np.exp(1j * np.radians(bus[:, 8]))
    seen = set()
    qmin, qmax = np.zeros(n), np.zeros(n)
    for g in gen[gen[:, 7] > 0]:
        i = index[int(g[0])]
        S[i] += (g[1] + 1j * g[2]) / base
        qmax[i] += g[3]
        qmin[i] += g[4]
        if kind[i] in (2, 3) and i not in seen:
            V[i] = g[5] * np.exp(1j * np.angle(V[i]))
            seen.add(i)
    ref = [i for i in range(n) if kind[i] == 3]
    pv = [i for i in range(n) if kind[i] == 2 and i in seen]
    setting = np.abs(V)
    # The reactive load of every bus; the generation of a PV bus is a result.
    Sd = -(bus[:, 2] + 1j * bus[:, 3]) / base
    S[pv] = S[pv].real + 1j * Sd[pv].imag
    held = {}  # bus index -> +1 at QMAX, -1 at QMIN

    def newton(V, S, pv):
        pq = [i for i in range(n) if i not in ref and i not in pv and kind[i] != 4]
        pvpq = pv + pq
        for _ in range(30):
            mis = V * np.conj(Y @ V) - S
            F = np.concatenate([mis.real[pvpq], mis.imag[pq]])
            if np.max(np.abs(F)) < 1e-9:
                return V
            Ibus = Y @ V
            # diag(V)·conj(Y·diag(W)) as products of rows and columns: a dense
            # matrix product would take minutes on a few thousand buses.
            dS_dVm = V[:, None] * np.conj(Y * (V / np.abs(V))[None, :]) + np.diag(np.conj(Ibus) * V / np.abs(V))
            dS_dVa = 1j * (np.diag(V * np.conj(Ibus)) - V[:, None] * np.conj(Y * V[None, :]))
            J = np.block([[dS_dVa.real[np.ix_(pvpq, pvpq)], dS_dVm.real[np.ix_(pvpq, pq)]],
                          [dS_dVa.imag[np.ix_(pq, pvpq)], dS_dVm.imag[np.ix_(pq, pq)]]])
            dx = np.linalg.solve(J, -F)
            Va, Vm = np.angle(V), np.abs(V)
            Va[pvpq] += dx[:len(pvpq)]
            Vm[pq] += dx[len(pvpq):]
            V = Vm * np.exp(1j * Va)
        sys.exit("no convergence")

    for _ in range(50):
        free = [i for i in pv if i not in held]
        V = newton(V, S, free)
        if not limits:
            break
        # Generation in MW/Mvar: injection plus the bus's own load.
        Qg = ((V * np.conj(Y @ V)).imag - Sd.imag) * base
        changed = False
        # Limits of 0 and 0 hold a generator's reactive output at 0, as
        # MATPOWER's enforce_q_lims reads them.
        for i in free:
            if Qg[i] > qmax[i]:
                held[i] = 1
            elif Qg[i] < qmin[i]:
                held[i] = -1
            else:
                continue
            S[i] = S[i].real + 1j * (Sd[i].imag + (qmax[i] if held[i] > 0 else qmin[i]) / base)
            changed = True
        if not changed:
            for i in list(held):
                if (held[i] > 0 and abs(V[i]) > setting[i]) or (held[i] < 0 and abs(V[i]) < setting[i]):
                    del held[i]
                    V[i] = setting[i] * np.exp(1j * np.angle(V[i]))
                    changed = True
        if not changed:
            break
    else:
        sys.exit("the limits keep switching")

    Va0 = np.angle(V[ref[0]])
    Sf = V[f] * np.conj(yff * V[f] + yft * V[t]) * base
    St = V[t] * np.conj(ytf * V[f] + ytt * V[t]) * base
    result = {
        "buses": [{"number": number[i], "vm": abs(V[i]), "va_deg": np.degrees(np.angle(V[i]) - Va0)}
                  for i in range(n)],
        "branches": [{"from": number[f[k]], "to": number[t[k]], "Pf_MW": Sf[k].real, "Qf_Mvar": Sf[k].imag,
                      "Pt_MW": St[k].real, "Qt_Mvar": St[k].imag} for k in range(len(f))],
    }
    if limits:
        result["held"] = [{"number": number[i], "limit": "Qmax" if held[i] > 0 else "Qmin"} for i in sorted(held)]
    return result


if __name__ == "__main__":
    args = [a for a in sys.argv[1:] if a != "--q-limits"]
    outage = None
    if "--outage" in args:
        at = args.index("--outage")
        outage = int(args[at + 1])
        del args[at:at + 2]
    print(json.dumps(solve(args[0], "--q-limits" in sys.argv[1:], outage), indent=1, default=float))
