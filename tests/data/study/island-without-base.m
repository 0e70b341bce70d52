function mpc = island_without_base
%ISLAND_WITHOUT_BASE  What is left of Tarvel's test network "base node
%   behind one line" (tests/study/StudyOutcomeTest.cpp) when that line is
%   out: buses 2..5 at 110 kV, the generator at bus 3 (112 kV) taking the
%   balance. Impedances are the network's ohms over 121 (100 MVA, 110 kV).
mpc.version = '2';
mpc.baseMVA = 100;

mpc.bus = [
	2	1	30	10	0	0	1	1	0	110	1	1.1	0.9;
	3	3	0	0	0	0	1	1.0181818181818181	0	110	1	1.1	0.9;
	4	1	60	20	0	0	1	1	0	110	1	1.1	0.9;
	5	1	50	15	0	0	1	1	0	110	1	1.1	0.9;
];

mpc.gen = [
	3	150	0	Inf	-Inf	1.0181818181818181	100	1	300	0;
];

mpc.branch = [
	2	3	0.01652892561983471	0.06611570247933884	0	0	0	0	0	0	1;
	3	4	0.01652892561983471	0.06611570247933884	0	0	0	0	0	0	1;
	4	5	0.024793388429752067	0.09917355371900827	0	0	0	0	0	0	1;
	2	5	0.024793388429752067	0.09917355371900827	0	0	0	0	0	0	1;
];
