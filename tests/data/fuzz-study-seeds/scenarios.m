function chgtab = scenarios_fuzz
define_constants;
chgtab = [
	1	0	CT_TAREALOAD	1	CT_LOAD_ALL_P	CT_REP	412.8;
	1	0	CT_TAREALOAD	3	CT_LOAD_ALL_P	CT_REL	1.2;
	2	0	CT_TAREALOAD	2	CT_LOAD_ALL_P	CT_REP	0;
];
