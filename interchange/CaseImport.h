// Which format an input text is in, and the reading of a case in either
// interchange format. The content decides, not the file name: a ЦДУ text is a
// stream of numbers, so anything else that looks like a case is one.
#pragma once

#include <string_view>

#include "interchange/CaseConversion.h"
#include "interchange/CaseData.h"

namespace tarvel {

enum class InputFormat { Cdu, Matpower, Cdf };

InputFormat detectInputFormat(std::string_view text);

// Reads a MATPOWER or IEEE CDF case (format must be one of them).
CaseReadResult readCase(std::string_view text, InputFormat format);


}  // namespace tarvel
