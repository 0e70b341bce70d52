function chgtab = contab_fuzz
define_constants;
chgtab = [
	1	0	CT_TBRCH	1	BR_STATUS	CT_REP	0;
	2	0	CT_TBRCH	3	BR_STATUS	CT_REP	0;
	2	0	CT_TBRCH	5	BR_STATUS	CT_REP	0;
];
