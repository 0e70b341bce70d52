// Reader of MATPOWER case files, version 2: the assignments to baseMVA, bus,
// gen and branch of the case structure (any name: mpc.bus, s.bus), with "%"
// comments, rows ended by ";" or a line end, "..." continuations, numbers
// separated by blanks or commas and any number of columns beyond the ones the
// format requires. Other assignments (gencost, bus names) are passed over.
// Figures may be constant expressions (50/3, 135/sqrt(3)); "if" blocks are
// decided by the constants the case sets itself (fixed = 0; if fixed ... end).
#pragma once

#include <string_view>

#include "interchange/CaseData.h"

namespace tarvel {

CaseReadResult readMatpowerCase(std::string_view text);

// True when the text assigns a bus table the way a MATPOWER case does.
bool looksLikeMatpowerCase(std::string_view text);

}  // namespace tarvel
