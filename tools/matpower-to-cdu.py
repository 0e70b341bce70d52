#!/usr/bin/env python3
"""Writes a MATPOWER case (version 2: bus, gen and branch tables) as ЦДУ text.

    tools/matpower-to-cdu.py CASE.m BASE_KV [--q-limits] > NETWORK.cdu

Every bus is taken at the nominal voltage BASE_KV, so impedances in ohm are
the per-unit values times BASE_KV^2 / baseMVA and susceptances in uS the
per-unit values divided by that and times 1e6 (written with the capacitive
sign negative). The reference bus becomes the base node at its set voltage;
generators are summed per bus and enter as negative load; a generator bus
(type 2) holds its set voltage. Bus shunts become shunt records; a branch
tap of 0 is a line (ratio 1). With --q-limits a generator bus's record also
carries the summed QMIN and QMAX of its generators. Used for the IEEE 57 network of the
benchmarks (samples/ieee57.cdu from tests/data/interchange/case57.m at 220 kV).
"""
import re
import sys


def table(text, name):
    body = re.search(r"mpc\." + name + r"\s*=\s*\[(.*?)\];", text, re.S).group(1)
    rows = []
    for line in body.split(";"):
        line = line.split("%")[0].strip()
        if line:
            rows.append([float(v) for v in line.split()])
    return rows


def number(v):
    s = ("%.6f" % v).rstrip("0").rstrip(".")
    return "0" if s in ("-0", "") else s


def main():
    text = open(sys.argv[1]).read()
    base_kv = float(sys.argv[2])
    base_mva = float(re.search(r"mpc\.baseMVA\s*=\s*([0-9.]+)", text).group(1))
    z_base = base_kv * base_kv / base_mva
    buses, gens, branches = table(text, "bus"), table(text, "gen"), table(text, "branch")

    limits = "--q-limits" in sys.argv[3:]
    gen_p, gen_q, gen_v, gen_qmin, gen_qmax = {}, {}, {}, {}, {}
    for g in gens:
        if len(g) > 7 and g[7] <= 0:
            continue
        bus = int(g[0])
        gen_p[bus] = gen_p.get(bus, 0.0) + g[1]
        gen_q[bus] = gen_q.get(bus, 0.0) + g[2]
        gen_v[bus] = g[5]
        gen_qmax[bus] = gen_qmax.get(bus, 0.0) + g[3]
        gen_qmin[bus] = gen_qmin.get(bus, 0.0) + g[4]

    out = []
    ref = [b for b in buses if int(b[1]) == 3][0]
    n = int(ref[0])
    out.append("0102 0 %d %s %s %s 0 0 0 0 0" % (
        n, number(gen_v.get(n, ref[7]) * base_kv), number(ref[2] - gen_p.get(n, 0)), number(ref[3] - gen_q.get(n, 0))))
    for b in buses:
        n, kind = int(b[0]), int(b[1])
        if kind == 3:
            continue
        p = b[2] - gen_p.get(n, 0.0)
        # The reactive power of a generator bus is a result, not data.
        q = b[3] if kind == 2 else b[3] - gen_q.get(n, 0.0)
        fixed = gen_v[n] * base_kv if kind == 2 and n in gen_v else 0.0
        qmin, qmax = (gen_qmin.get(n, 0.0), gen_qmax.get(n, 0.0)) if limits and fixed else (0.0, 0.0)
        out.append("0201 0 %d %s %s %s 0 0 %s %s %s" % (n, number(base_kv), number(p), number(q), number(fixed),
                                                          number(qmin), number(qmax)))
        if b[5] != 0:
            out.append("0301 0 %d 0 0 %s" % (n, number(-b[5] / base_mva / z_base * 1e6)))
    for br in branches:
        if len(br) > 10 and br[10] <= 0:
            continue
        r, x, b = br[2] * z_base, br[3] * z_base, -br[4] / z_base * 1e6
        ratio = br[8] if br[8] != 0 else 1.0
        out.append("0301 0 %d %d %s %s %s %s 0 0 0" % (int(br[0]), int(br[1]), number(r), number(x), number(b),
                                                       number(ratio)))
    sys.stdout.write("\r\n".join(out) + "\r\n")


if __name__ == "__main__":
    main()
