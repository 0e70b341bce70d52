// Reader of the IEEE Common Data Format: the title card's MVA base and the
// fixed-column BUS DATA and BRANCH DATA sections, each ended by a card that
// starts with -999. The other sections are passed over. A blank field is 0.
#pragma once

#include <string_view>

#include "interchange/CaseData.h"

namespace tarvel {

CaseReadResult readCdfCase(std::string_view text);

// True when a line of the text starts the BUS DATA section.
bool looksLikeCdfCase(std::string_view text);

}  // namespace tarvel
