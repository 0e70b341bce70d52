#include "app/DecimalSeparator.h"

namespace tarvel::app {

char decimalSeparatorFor(std::string_view userDecimalMark)
{
    return userDecimalMark == "," ? ',' : '.';
}

}  // namespace tarvel::app
