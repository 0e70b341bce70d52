#include <gtest/gtest.h>

#include "app/DecimalSeparator.h"
#include "interchange/ResultsExport.h"

namespace tarvel::app {
namespace {

// A mark the working files and CSV readers cannot take falls back to the
// point, and never to a separator that would split a CSV field.
TEST(DecimalSeparator, CommaStaysAndEveryOtherMarkIsAPoint)
{
    EXPECT_EQ(decimalSeparatorFor(","), ',');
    EXPECT_EQ(decimalSeparatorFor("."), '.');
    EXPECT_EQ(decimalSeparatorFor("\u066b"), '.');  // Arabic decimal separator
    EXPECT_EQ(decimalSeparatorFor("\u2396"), '.');
    EXPECT_EQ(decimalSeparatorFor(""), '.');
    EXPECT_EQ(decimalSeparatorFor(",,"), '.');
    for (const char* mark : {",", ".", "\u066b", ""}) {
        const CsvConvention csv = csvConventionFor(decimalSeparatorFor(mark));
        EXPECT_NE(csv.decimal, csv.separator) << mark;
    }
}

}  // namespace
}  // namespace tarvel::app
