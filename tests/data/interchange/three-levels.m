function mpc = three_levels
% Three voltage levels (500, 220 and 35 kV) joined by two transformers with
% off-nominal taps, one written from the high side and one from the low side;
% a capacitor bank at bus 3, a generator holding bus 4 at 1.01 p.u., charging
% on the lines and on the 35 kV transformer.
mpc.version = '2';
mpc.baseMVA = 100;

%	bus_i	type	Pd	Qd	Gs	Bs	area	Vm	Va	baseKV	zone	Vmax	Vmin
mpc.bus = [
	1	3	0	0	0	0	1	1	0	500	1	1.1	0.9;
	2	1	300	100	0	0	1	1	0	500	1	1.1	0.9;
	3	1	150	60	0	30	1	1	0	220	1	1.1	0.9;
	4	2	20	10	0	0	1	1	0	220	1	1.1	0.9;
	5	1	40	15	0	0	1	1	0	35	1	1.1	0.9;
	6	1	50	20	0	0	1	1	0	220	1	1.1	0.9;
];

%	bus	Pg	Qg	Qmax	Qmin	Vg	mBase	status	Pmax	Pmin
mpc.gen = [
	1	0	0	Inf	-Inf	1.02	100	1	900	0;
	4	100	0	Inf	-Inf	1.01	100	1	200	0;
];

%	fbus	tbus	r	x	b	rateA	rateB	rateC	ratio	angle	status
mpc.branch = [
	1	2	0.002	0.025	0.8	0	0	0	0	0	1;
	2	3	0.0005	0.02	0	0	0	0	1.05	0	1;
	3	4	0.01	0.05	0.05	0	0	0	0	0	1;
	3	6	0.02	0.08	0.03	0	0	0	0	0	1;
	4	6	0.015	0.06	0.02	0	0	0	0	0	1;
	5	6	0.002	0.1	0.001	0	0	0	0.98	0	1;
];
