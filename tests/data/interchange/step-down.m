function mpc = step_down
% A 110 kV line feeding a 10 kV bus through a step-down transformer whose
% reactance on the 10 kV side is below 1 Ohm (0.08 p.u. on 100 MVA is
% 0.08 Ohm there, 10.2 Ohm on the 110 kV side), with an off-nominal tap and
% charging; a second transformer joins the 10 kV bus to the 110 kV bus 2,
% written from its low side.
mpc.version = '2';
mpc.baseMVA = 100;

%	bus_i	type	Pd	Qd	Gs	Bs	area	Vm	Va	baseKV	zone	Vmax	Vmin
mpc.bus = [
	1	3	0	0	0	0	1	1	0	110	1	1.1	0.9;
	2	1	30	10	0	0	1	1	0	110	1	1.1	0.9;
	3	1	25	12	0	0	1	1	0	10	1	1.1	0.9;
];

%	bus	Pg	Qg	Qmax	Qmin	Vg	mBase	status	Pmax	Pmin
mpc.gen = [
	1	0	0	Inf	-Inf	1.03	100	1	200	0;
];

%	fbus	tbus	r	x	b	rateA	rateB	rateC	ratio	angle	status
mpc.branch = [
	1	2	0.01	0.05	0.02	0	0	0	0	0	1;
	2	3	0.005	0.08	0.002	0	0	0	1.025	0	1;
	3	2	0.01	0.3	0	0	0	0	0.97	0	1;
];
