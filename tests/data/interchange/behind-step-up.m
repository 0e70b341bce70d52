function mpc = behind_step_up
% A solved case whose reference bus is a 10.5 kV generator behind its
% step-up transformer, with the reference generator's output left at 0 MW
% (as some files leave it); the bus data hold the solution: bus 1 gives
% 50.418 MW.
mpc.version = '2';
mpc.baseMVA = 100;

%	bus_i	type	Pd	Qd	Gs	Bs	area	Vm	Va	baseKV	zone	Vmax	Vmin
mpc.bus = [
	1	3	0	0	0	0	1	1.05	0	10.5	1	1.1	0.9;
	2	1	0	0	0	0	1	1.02602641	-2.65541386	110	1	1.1	0.9;
	3	2	10	5	0	0	1	1.02	-2.91694743	110	1	1.1	0.9;
	4	1	60	20	0	0	1	1.01210582	-3.81995624	110	1	1.1	0.9;
];

%	bus	Pg	Qg	Qmax	Qmin	Vg	mBase	status	Pmax	Pmin
mpc.gen = [
	1	0	0	Inf	-Inf	1.05	100	1	200	0;
	3	20	0	Inf	-Inf	1.02	100	1	100	0;
];

%	fbus	tbus	r	x	b	rateA	rateB	rateC	ratio	angle	status
mpc.branch = [
	1	2	0.002	0.1	0	0	0	0	0	0	1;
	2	3	0.01	0.05	0.02	0	0	0	0	0	1;
	3	4	0.02	0.08	0.02	0	0	0	0	0	1;
	2	4	0.015	0.06	0.02	0	0	0	0	0	1;
];
