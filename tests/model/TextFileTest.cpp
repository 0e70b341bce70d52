#include <gtest/gtest.h>

#include <clocale>

#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "tests/support/TestSupport.h"

using namespace tarvel;

TEST(TextFile, Cp1251RoundTripOfEveryByte)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string utf8 = cp1251ToUtf8(all);
    std::size_t unmapped = 0;
    EXPECT_EQ(utf8ToCp1251(utf8, &unmapped), all);
    EXPECT_EQ(unmapped, 0u);
    EXPECT_EQ(cp1251ToUtf8("\xD3\xE7\xE5\xEB \xB9 \xA8\xB8"), "Узел № Ёё");
}

TEST(TextFile, UnrepresentableAndBrokenUtf8BecomeQuestionMarks)
{
    std::size_t unmapped = 0;
    EXPECT_EQ(utf8ToCp1251("a\xE2\x88\x9E" "b\xFF" "c\xD0", &unmapped), "a?b?c?");  // ∞, bad byte, cut sequence
    EXPECT_EQ(unmapped, 3u);
    EXPECT_TRUE(cp1251Has(U'Я'));
    EXPECT_FALSE(cp1251Has(U'\u221E'));
}

TEST(TextFile, LineEndsBecomeCrLf)
{
    EXPECT_EQ(toCrLf("a\nb\rc\r\nd\n\re"), "a\r\nb\r\nc\r\nd\r\n\r\ne");
}

TEST(TextFile, NumberFormatsIgnoreTheProcessLocale)
{
    // The window sets the user's locale; reports must keep the point.
    const char* old = std::setlocale(LC_NUMERIC, "ru_RU.UTF-8");
    EXPECT_EQ(formatFixed(3.14159, 10, 2), "      3.14");
    EXPECT_EQ(formatFixed(-0.001, 6, 2), " -0.00");
    EXPECT_EQ(formatFixed(123456789.0, 5, 2), "123456789.00");
    EXPECT_EQ(formatInt(-42, 5), "  -42");
    EXPECT_EQ(formatInt(7), "7");
    EXPECT_EQ(formatGeneral(110, 7, 6), "    110");
    EXPECT_EQ(formatGeneral(0.0001, 0, 6), "0.0001");
    EXPECT_EQ(formatGeneral(0.00001, 0, 6), "1e-05");
    EXPECT_EQ(formatGeneral(1234567, 0, 6), "1.23457e+06");
    EXPECT_EQ(formatGeneral(0.0123456, 12, 3), "      0.0123");
    if (old)
        std::setlocale(LC_NUMERIC, "C");
}

TEST(TextFile, WriterConvertsToCp1251WithCrLf)
{
    test::TempDir dir;
    TextFileWriter out;
    ASSERT_TRUE(out.open(dir / "x.txt"));
    out << "Узел" << ' ' << formatInt(5, 3);
    out.endLine();
    EXPECT_TRUE(out.close());
    EXPECT_EQ(test::fileBytes(dir / "x.txt"), "\xD3\xE7\xE5\xEB   5\r\n");
    EXPECT_FALSE(out.open(dir / "missing" / "x.txt"));
}

TEST(NetworkModel, Districts)
{
    for (int n : {0, 99, -99})
        EXPECT_EQ(districtOf(n), 0) << n;
    EXPECT_EQ(districtOf(100), 1);
    EXPECT_EQ(districtOf(150), 1);
    EXPECT_EQ(districtOf(999), 9);
    EXPECT_EQ(districtOf(1000), 1);
    EXPECT_EQ(districtOf(5432), 5);
    EXPECT_EQ(districtOf(12345), 1);
    EXPECT_EQ(districtOf(99999), 9);
    EXPECT_EQ(districtOf(100000), 1);
    EXPECT_EQ(districtOf(2147483647), 2);
    EXPECT_EQ(districtOf(-100), -1);
}
