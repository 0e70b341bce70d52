function mpc = short_cables
% A 6.6 kV cable network fed from a 110 kV line through a transformer: its cables have 0.013 to 0.022 Ohm,
% far below the 1.01 Ohm the calculation would raise them to (that would add
% 2.3 p.u. to each on the 100 MVA base).
mpc.version = '2';
mpc.baseMVA = 100;

%	bus_i	type	Pd	Qd	Gs	Bs	area	Vm	Va	baseKV	zone	Vmax	Vmin
mpc.bus = [
	1	3	0	0	0	0	1	1	0	110	1	1.1	0.9;
	2	1	0	0	0	0	1	1	0	6.6	1	1.1	0.9;
	3	1	8	3	0	0	1	1	0	6.6	1	1.1	0.9;
	4	1	6	2	0	1.5	1	1	0	6.6	1	1.1	0.9;
	5	1	0	0	0	0	1	1	0	110	1	1.1	0.9;
];

%	bus	Pg	Qg	Qmax	Qmin	Vg	mBase	status	Pmax	Pmin
mpc.gen = [
	1	0	0	Inf	-Inf	1.02	100	1	100	0;
];

%	fbus	tbus	r	x	b	rateA	rateB	rateC	ratio	angle	status
mpc.branch = [
	1	5	0.02	0.08	0.01	0	0	0	0	0	1;
	5	2	0.01	0.4	0	0	0	0	1.025	0	1;
	2	3	0.02	0.03	0	0	0	0	0	0	1;
	3	4	0.03	0.05	0	0	0	0	0	0	1;
	2	4	0.04	0.06	0	0	0	0	0	0	1;
];
