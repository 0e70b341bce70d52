#!/usr/bin/env python3
"""A second, independent model of the power-flow calculation, used to write the
expected report files in this folder.

It reads a well-formed ЦДУ text (records 102, 201, 301 and shunts), solves it
with every arithmetic result rounded to single precision in the order the
program keeps (f32 after each operation), and writes network.rez, network.tok
and network.rip as the program must. Only the loss sums the program keeps in
double (dP) stay unrounded.

    python3 reference_model.py INPUT.cdu OUTPUT_PREFIX [PRECISION ITERATIONS]

writes OUTPUT_PREFIX.rez, .tok and .rip and prints the iteration log lines.
"""
import struct, math, sys


def f32(x):
    """x rounded to the nearest single-precision value."""
    try:
        return struct.unpack('f', struct.pack('f', x))[0]
    except OverflowError:
        return math.copysign(float('inf'), x)

def read_cdu(path):
    """The model as the reader leaves an accepted text (no checks here)."""
    text = open(path, 'rb').read().decode('cp1251')
    toks = text.split()
    pos = 0
    def geti():
        nonlocal pos
        t = toks[pos]; pos += 1; return int(t)
    def getr():
        nonlocal pos
        t = toks[pos]; pos += 1; return f32(float(t))
    M = dict(num=[0]*100, typ=[0]*100, unom=[0.0]*100, lp=[0.0]*100, lq=[0.0]*100, sg=[0.0]*100, sb=[0.0]*100,
             bs=[0]*150, be=[0]*150, r=[0.0]*150, x=[0.0]*150, b=[0.0]*150, g=[0.0]*150, kt=[0.0]*150, dnc=[0]*10)
    i = j = 0
    def dist(nm):
        q = nm // 100 if nm >= 0 else -((-nm)//100)
        while q > 9: q //= 10
        return q
    while pos < len(toks):
        code = geti()
        if code == 102:
            geti(); M['num'][0] = geti(); M['unom'][0] = getr(); M['lp'][0] = getr(); M['lq'][0] = getr()
            for _ in range(5): getr()
            M['typ'][0] = 3; M['dnc'][dist(M['num'][0])] += 1
        elif code == 201:
            i += 1; geti(); M['num'][i] = geti(); M['unom'][i] = getr(); M['lp'][i] = getr(); M['lq'][i] = getr()
            getr(); getr(); fv = getr(); getr(); getr()
            M['typ'][i] = 1
            if fv > 0.1: M['unom'][i] = fv; M['typ'][i] = 2
            M['dnc'][dist(M['num'][i])] += 1
        elif code == 301:
            geti(); n1 = geti(); n2 = geti()
            if n2 != 0:
                j += 1; M['bs'][j] = n1; M['be'][j] = n2
                M['r'][j] = getr(); M['x'][j] = getr(); M['b'][j] = getr(); M['kt'][j] = getr()
                for _ in range(3): getr()
                if abs(M['x'][j]) < 1.001: M['x'][j] = f32(1.01)
                if M['kt'][j] < 0.001: M['kt'][j] = 1.0
                M['b'][j] = -M['b'][j]
            else:
                getr(); bb = getr()  # g is read and not applied
                for k in range(1, i+1):
                    if M['num'][k] == n1: M['sb'][k] = -bb; break
    M['n'] = i; M['m'] = j
    M['si'] = [0]*150; M['ti'] = [0]*150
    for jj in range(1, j+1):
        for k in range(0, i+1):
            if M['num'][k] == M['bs'][jj]: M['si'][jj] = k
            if M['num'][k] == M['be'][jj]: M['ti'][jj] = k
        M['b'][jj] = f32(M['b'][jj] * 1e-6); M['g'][jj] = f32(M['g'][jj] * 1e-6)
    for k in range(0, i+1):
        M['sb'][k] = f32(M['sb'][k] * 1e-6); M['sg'][k] = f32(M['sg'][k] * 1e-6)
    return M

def solve(M, precision=0.01, iteraz=10):
    """Flat start, admittances and the Newton iterations."""
    n, m = M['n'], M['m']
    e = [0.0]*100; f = [0.0]*100
    for k in range(n+1): e[k] = M['unom'][k]; f[k] = 0.0
    sG = [0.0]*150; sB = [0.0]*150
    for i in range(1, m+1):
        r, x = M['r'][i], M['x'][i]
        d = f32(f32(r*r) + f32(x*x))
        sG[i] = f32(r/d); sB[i] = f32(-x/d)
    G = M['sg'][:]; B = M['sb'][:]
    for i in range(1, m+1):
        s, t, K = M['si'][i], M['ti'][i], M['kt'][i]
        K2 = f32(K*K)
        G[s] = f32(G[s] + f32(f32(sG[i]/K2) + f32(0.5*M['g'][i])))
        B[s] = f32(B[s] + f32(f32(sB[i]/K2) + f32(0.5*M['b'][i])))
        G[t] = f32(G[t] + f32(sG[i] + f32(0.5*M['g'][i])))
        B[t] = f32(B[t] + f32(sB[i] + f32(0.5*M['b'][i])))
    Ir = [0.0]*100; Ii = [0.0]*100; P = [0.0]*100; Q = [0.0]*100
    mis = [0.0]*201
    def inj():
        for k in range(n+1):
            Ir[k] = f32(f32(G[k]*e[k]) - f32(B[k]*f[k]))
            Ii[k] = f32(f32(G[k]*f[k]) + f32(B[k]*e[k]))
        for i in range(1, m+1):
            s, t, K = M['si'][i], M['ti'][i], M['kt'][i]
            g, b = sG[i], sB[i]
            Ir[s] = f32(Ir[s] - f32(f32(f32(g*e[t]) - f32(b*f[t]))/K))
            Ii[s] = f32(Ii[s] - f32(f32(f32(g*f[t]) + f32(b*e[t]))/K))
            Ir[t] = f32(Ir[t] - f32(f32(f32(g*e[s]) - f32(b*f[s]))/K))
            Ii[t] = f32(Ii[t] - f32(f32(f32(g*f[s]) + f32(b*e[s]))/K))
        for k in range(n+1):
            P[k] = f32(f32(e[k]*Ir[k]) + f32(f[k]*Ii[k]))
            Q[k] = f32(f32(f[k]*Ir[k]) - f32(e[k]*Ii[k]))
    def resid():
        inj()
        sm = 0.0
        for k in range(1, n+1):
            lp, lq, U = M['lp'][k], M['lq'][k], M['unom'][k]
            mis[2*k] = -f32(P[k] + lp)
            if M['typ'][k] == 1:
                mis[2*k-1] = -f32(Q[k] + lq)
                eQ = f32(mis[2*k-1]/lq) if abs(lq) >= 1.0 else mis[2*k-1]
            else:
                mis[2*k-1] = f32(-f32(f32(f32(e[k]*e[k]) + f32(f[k]*f[k])) - f32(U*U)) / U)
                eQ = f32(mis[2*k-1]/U)
            eP = f32(mis[2*k]/lp) if abs(lp) >= 1.0 else mis[2*k]
            sm = f32(f32(sm + f32(eP*eP)) + f32(eQ*eQ))
        return f32(math.sqrt(f32(sm/(2*n))))
    N = 2*n
    J = [[0.0]*(N+1) for _ in range(N+1)]
    def jac():
        for r in range(1, N+1):
            for c in range(1, N+1): J[r][c] = 0.0
        for k in range(1, n+1):
            g, b, ee, ff, ir, ii = G[k], B[k], e[k], f[k], Ir[k], Ii[k]
            if M['typ'][k] == 1:
                J[2*k-1][2*k-1] = f32(f32(f32(g*ff) - f32(b*ee)) - ii)
                J[2*k-1][2*k] = f32(f32(f32(-g*ee) - f32(b*ff)) + ir)
            else:
                J[2*k-1][2*k-1] = f32(f32(2*ee)/M['unom'][k])
                J[2*k-1][2*k] = f32(f32(2*ff)/M['unom'][k])
            J[2*k][2*k-1] = f32(f32(f32(g*ee) + f32(b*ff)) + ir)
            J[2*k][2*k] = f32(f32(f32(g*ff) - f32(b*ee)) + ii)
        for i in range(1, m+1):
            s, t = M['si'][i], M['ti'][i]
            if s == 0 or t == 0: continue
            g, b, K = sG[i], sB[i], M['kt'][i]
            for p, q in ((s, t), (t, s)):
                ee, ff = e[p], f[p]
                if M['typ'][p] == 1:
                    J[2*p-1][2*q-1] = f32(J[2*p-1][2*q-1] + f32(-f32(f32(g*ff) - f32(b*ee))/K))
                    J[2*p-1][2*q] = f32(J[2*p-1][2*q] + f32(f32(f32(g*ee) + f32(b*ff))/K))
                J[2*p][2*q-1] = f32(J[2*p][2*q-1] + f32(-f32(f32(g*ee) + f32(b*ff))/K))
                J[2*p][2*q] = f32(J[2*p][2*q] + f32(-f32(f32(g*ff) - f32(b*ee))/K))
    eps = 1e-7
    def step():
        for i in range(1, N):
            p = J[i][i]
            if abs(p) < eps: p = f32(eps)
            for j in range(i+1, N+1):
                if abs(J[i][j]) > eps: J[i][j] = f32(J[i][j]/p)
            mis[i] = f32(mis[i]/p)
            for k in range(i+1, N+1):
                h = J[k][i]
                if abs(h) > eps:
                    for j in range(i+1, N+1):
                        if abs(J[i][j]) > eps: J[k][j] = f32(J[k][j] - f32(J[i][j]*h))
                    mis[k] = f32(mis[k] - f32(mis[i]*h))
        x = [0.0]*(N+1)
        x[N] = f32(mis[N]/J[N][N])
        for i in range(N-1, 0, -1):
            sm = 0.0
            for j in range(i+1, N+1):
                if abs(J[i][j]) > eps: sm = f32(sm + f32(J[i][j]*x[j]))
            x[i] = f32(mis[i] - sm)
        for k in range(1, n+1):
            e[k] = f32(e[k] + x[2*k-1]); f[k] = f32(f[k] + x[2*k])
    it = 0
    res = resid()
    log = []
    precision = f32(precision)
    while res > precision and it < iteraz:
        jac(); step(); it += 1; res = resid(); log.append((it, res))
    return dict(e=e, f=f, P=P, Q=Q, sG=sG, sB=sB, it=it, res=res, log=log)

def fx(v, w, d):
    return ('%' + str(w) + '.' + str(d) + 'f') % v

def reports(M, S):
    """The bytes of network.rez, network.tok and network.rip."""
    n, m = M['n'], M['m']
    e, f, P, Q = S['e'], S['f'], S['P'], S['Q']
    rez = ['\t          Результаты расчета по узлам', '    N        V         dV         P         Q        Pg       Qb']
    sp = sq = spg = sqb = 0.0
    for k in range(n+1):
        u2 = f32(f32(e[k]*e[k]) + f32(f[k]*f[k]))
        if e[k] != 0:
            ang = math.atan(f32(f[k]/e[k])) * 57.295779515
        else:
            ang = 0.0 if f[k] == 0 else math.copysign(90.0, f[k])
        pg = f32(u2*M['sg'][k]); qb = f32(-u2*M['sb'][k])
        rez.append('%5d' % M['num'][k] + fx(math.sqrt(u2), 10, 2) + fx(ang, 10, 2) + fx(-P[k], 10, 2) + fx(-Q[k], 10, 2) + fx(pg, 10, 2) + fx(qb, 10, 2))
        sp = f32(sp + P[k]); sq = f32(sq + Q[k]); spg = f32(spg + pg); sqb = f32(sqb + qb)
    rez.append('-'*51)
    rez.append('Баланс пассивных элементов ' + fx(sp,10,2) + fx(sq,10,2) + fx(spg,10,2) + fx(sqb,10,2))
    rez.append('                         + потребление, - генерация ')
    rez.append(' ')
    rez.append('                   Результаты расчета по ветвям')
    rez.append('   N1   N1       P12       Q12       P21       Q21       dP')
    tok = []
    bnd = [8, 15, 28, 70, 140, 270, 430, 600, 900]; lab = [6, 10, 20, 35, 110, 220, 330, 500, 750, 1150]
    dbc = [0]*10; dl = [0.0]*10; llc = [[0.0]*10 for _ in range(10)]; lcc = [[0]*10 for _ in range(10)]
    tl = [[] for _ in range(10)]; spd = [0.0]*10; sqd = [0.0]*10
    def dist(nm):
        q = nm // 100 if nm >= 0 else -((-nm)//100)
        while q > 9: q //= 10
        return q
    total = 0.0
    for i in range(1, m+1):
        s, t, K = M['si'][i], M['ti'][i], M['kt'][i]
        g, b = S['sG'][i], S['sB'][i]
        es, fs, et, ft = e[s], f[s], e[t], f[t]
        a = f32(f32(g*es) - f32(b*fs)); c = f32(f32(g*fs) + f32(b*es))
        a2 = f32(f32(g*et) - f32(b*ft)); c2 = f32(f32(g*ft) + f32(b*et))
        i12r = f32(f32(f32(a/K)/K) - f32(a2/K)); i12i = f32(f32(f32(c/K)/K) - f32(c2/K))
        i21r = f32(f32(a/K) - a2); i21i = f32(f32(c/K) - c2)
        us2 = f32(f32(es*es) + f32(fs*fs)); ut2 = f32(f32(et*et) + f32(ft*ft))
        hg = f32(0.5*M['g'][i]); hb = f32(0.5*M['b'][i])
        p12 = f32(f32(f32(es*i12r) + f32(fs*i12i)) + f32(hg*us2))
        q12 = f32(f32(f32(fs*i12r) - f32(es*i12i)) - f32(hb*us2))
        p21 = f32(f32(f32(et*i21r) + f32(ft*i21i)) - f32(hg*ut2))
        q21 = f32(f32(f32(ft*i21r) - f32(et*i21i)) + f32(hb*ut2))
        dP = abs(p21 - p12)
        tok.append('%5d%5d' % (s, t) + fx(i12r,10,4) + fx(i12i,10,4) + fx(M['r'][i],15,3))
        rez.append('%5d%5d' % (M['num'][s], M['num'][t]) + fx(-p12,10,2) + fx(-q12,10,2) + fx(p21,10,2) + fx(q21,10,2) + fx(dP,10,2))
        total = f32(total + dP)
        d1, d2 = dist(M['num'][s]), dist(M['num'][t])
        if d1 == d2:
            dbc[d1] += 1; dl[d1] = f32(dl[d1] + dP)
            if K - 1.0 >= 0.001 or K - 1.0 <= -0.001:
                tl[d1].append(f32(dP))
            else:
                u = M['unom'][s]; v = 9
                for vv in range(9):
                    if u <= bnd[vv]: v = vv; break
                llc[d1][v] = f32(llc[d1][v] + dP); lcc[d1][v] += 1
        else:
            spd[d1] = f32(spd[d1] - p12); sqd[d1] = f32(sqd[d1] - q12)
            spd[d2] = f32(spd[d2] + p21); sqd[d2] = f32(sqd[d2] + q21)
    rez.append(fx(total, 60, 2))
    rip = []
    for d in range(10):
        if dbc[d] == 0: continue
        rip.append('Район  № ' + '%5d' % d)
        for v in range(10):
            if lcc[d][v]:
                rip.append(' Потери в линиях')
                rip.append('%5d' % lab[v] + ' кВ' + fx(llc[d][v], 15, 3))
        if tl[d]:
            sm = 0.0
            for x in tl[d]: sm = f32(sm + x)
            rip.append(' Потери в трансформаторах текущего района  ' + fx(sm, 10, 3))
    rip.append('')
    rip.append('№ района   ' + '       Сальдо P   ' + '        Сальдо Q  ' + '     Сумм. потери в районе')
    tt = 0.0
    for d in range(10):
        if M['dnc'][d] == 0: continue
        rip.append('%5d' % d + fx(spd[d],20,2) + fx(sqd[d],20,2) + fx(dl[d],20,2))
        tt = f32(tt + dl[d])
    rip.append(' Суммарные потери в сетях районов ' + fx(tt, 25, 2))
    enc = lambda L: ''.join(l + '\r\n' for l in L).encode('cp1251')
    return enc(rez), enc(tok), enc(rip)

if __name__ == '__main__':
    path, prefix = sys.argv[1], sys.argv[2]
    precision = float(sys.argv[3]) if len(sys.argv) > 3 else 0.01
    iterations = int(sys.argv[4]) if len(sys.argv) > 4 else 10
    M = read_cdu(path)
    S = solve(M, precision, iterations)
    for ext, data in zip(('rez', 'tok', 'rip'), reports(M, S)):
        with open(prefix + '.' + ext, 'wb') as out:
            out.write(data)
    for it, res in S['log']:
        print('%d%12.3g' % (it, res))
    print('final residual %.9g' % S['res'])
