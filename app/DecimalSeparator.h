// The decimal separator of the figures that messages and CSV files give to
// the user, worked out once for both front ends.
#pragma once

#include <string_view>

namespace tarvel::app {

// userDecimalMark: the decimal mark of the user's locale, UTF-8. A comma
// gives ','; any other mark gives '.', also one that the working files'
// code page cannot hold or that a CSV reader would not take for a mark (the
// Arabic "٫", an empty mark).
char decimalSeparatorFor(std::string_view userDecimalMark);

}  // namespace tarvel::app
