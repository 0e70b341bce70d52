#include <gtest/gtest.h>

#include <charconv>
#include <clocale>
#include <cmath>
#include <random>
#include <vector>

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

// Opening a document tells a UTF-8 file and a file that is not text from the
// Windows-1251 text it expects.
TEST(TextFile, GuessesWhatKindOfTextAFileHolds)
{
    std::string cp1251;
    for (const char* name : {"samples/ieee14.cdu", "samples/districts.cdu", "samples/feeder10.cdu"}) {
        cp1251 = test::fileBytes(test::sourcePath(name));
        EXPECT_EQ(guessTextKind(cp1251), TextKind::Windows1251) << name;
    }
    // Russian comments in Windows-1251, every letter of the code page.
    std::string letters = "\xD3\xE7\xE5\xEB 1 \xA8\xB8\xB9\r\n";
    for (int b = 0xC0; b <= 0xFF; ++b)
        letters += static_cast<char>(b);
    EXPECT_EQ(guessTextKind(letters), TextKind::Windows1251);
    EXPECT_EQ(guessTextKind("0102 0 1 220\r\n\x1A"), TextKind::Windows1251);
    EXPECT_EQ(guessTextKind(""), TextKind::Windows1251);

    EXPECT_EQ(guessTextKind(cp1251ToUtf8(letters)), TextKind::Utf8Cyrillic);
    EXPECT_EQ(guessTextKind("0102 0 1 220 \xD0\xB1\xD0\xB0\xD0\xB7\xD0\xB0\n"), TextKind::Utf8Cyrillic);  // "база"
    EXPECT_EQ(guessTextKind("a \xE2\x84\x96 1\n"), TextKind::Windows1251);  // "№" alone is no Cyrillic
    // Notepad's byte-order mark says UTF-8 even where the text is all ASCII;
    // the same three bytes before Windows-1251 letters are no mark.
    EXPECT_EQ(guessTextKind("\xEF\xBB\xBF" "0102 0 1 220\r\n"), TextKind::Utf8Cyrillic);
    EXPECT_EQ(guessTextKind("\xEF\xBB\xBF" "0102 \xE1\xE0\xE7\xE0\r\n"), TextKind::Windows1251);
    EXPECT_EQ(withoutUtf8Bom("\xEF\xBB\xBF" "0102"), "0102");
    EXPECT_EQ(withoutUtf8Bom("0102 \xEF\xBB\xBF"), "0102 \xEF\xBB\xBF");

    EXPECT_EQ(guessTextKind(std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)), TextKind::Binary);
    std::string noisy(2000, 'a');
    noisy[100] = '\x01';
    EXPECT_EQ(guessTextKind(noisy), TextKind::Windows1251);  // one stray byte
    noisy[200] = '\x02';
    noisy[300] = '\x03';
    EXPECT_EQ(guessTextKind(noisy), TextKind::Binary);
}

TEST(TextFile, LineEndsBecomeCrLf)
{
    EXPECT_EQ(toCrLf("a\nb\rc\r\nd\n\re"), "a\r\nb\r\nc\r\nd\r\n\r\ne");
    EXPECT_EQ(toCrLf("\r"), "\r\n");
    EXPECT_EQ(toCrLf("\n\nx"), "\r\n\r\nx");
    EXPECT_EQ(toCrLf(""), "");
    EXPECT_EQ(toCrLf("no break"), "no break");
    EXPECT_EQ(toCrLf("a\r\nb\r\n"), "a\r\nb\r\n");
    EXPECT_EQ(toCrLf("a\r\nb\r"), "a\r\nb\r\n");
    EXPECT_EQ(toCrLf("\r\n\n"), "\r\n\r\n");
    EXPECT_EQ(toCrLf("\n\r\n"), "\r\n\r\n");
}

// The conversions copy runs of ASCII in bulk: text that mixes both halves of
// the code page at every position converts back unchanged.
TEST(TextFile, MixedTextRoundTripsThroughUtf8)
{
    std::mt19937 random(7);
    std::string bytes;
    for (int i = 0; i < 5000; ++i)
        bytes += static_cast<char>(random() % 4 == 0 ? 0x80 + random() % 128 : 0x20 + random() % 95);
    EXPECT_EQ(utf8ToCp1251(cp1251ToUtf8(bytes)), bytes);
}

// Long runs of ASCII, broken at every offset of an eight-byte word by a
// letter of the upper half, convert as the bytes one by one do.
TEST(TextFile, LongAsciiRunsConvertAsTheirBytesDo)
{
    std::string bytes;
    std::string utf8;
    for (int run = 0; run < 40; ++run) {
        for (int k = 0; k < run; ++k)
            bytes += static_cast<char>('0' + k % 10);
        bytes += static_cast<char>(0xC0 + run);
    }
    for (const char b : bytes)
        utf8 += cp1251ToUtf8(std::string(1, b));
    EXPECT_EQ(cp1251ToUtf8(bytes), utf8);
    EXPECT_EQ(utf8ToCp1251(utf8), bytes);
}

// Whether a text's line ends are all CR LF, against the plain definition, on
// random texts of letters, CRs and LFs.
TEST(TextFile, CrLfLineEndsAreToldAsEveryBreakIsLookedAt)
{
    const auto plain = [](const std::string& t) {
        for (std::size_t i = 0; i < t.size(); ++i) {
            if (t[i] == '\r' && (i + 1 == t.size() || t[i + 1] != '\n'))
                return false;
            if (t[i] == '\n' && (i == 0 || t[i - 1] != '\r'))
                return false;
        }
        return true;
    };
    std::mt19937 random(22);
    int both = 0;
    for (int t = 0; t < 20000; ++t) {
        std::string text;
        const int length = static_cast<int>(random() % 20);
        for (int k = 0; k < length; ++k) {
            // "Ќ" and "Љ" (0x8D, 0x8A) differ from CR and LF only in their high bit.
            const unsigned r = random() % 6;
            text += r == 0 ? "\r" : r == 1 ? "\n" : r == 2 ? "\r\n" : r == 3 ? "\x8d\x8a" : "ab";
        }
        ASSERT_EQ(hasCrLfLineEnds(text), plain(text)) << testing::PrintToString(text);
        both += plain(text) ? 1 : 0;
    }
    EXPECT_GT(both, 1000);
}

namespace {

std::string libraryFormat(double value, std::chars_format format, int precision)
{
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, format, precision);
    return std::string(buf, r.ptr);
}

}  // namespace

// The report formats take a fast path of their own; it must write every value
// exactly as the library's correctly rounded to_chars does (%.Df and %.Pg),
// midpoints, neighbours of powers of ten and single-precision inputs included.
TEST(TextFile, NumberFormatsAgreeWithTheLibraryOnManyValues)
{
    std::mt19937_64 random(2026);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    std::uniform_int_distribution<int> exponent(-9, 16);
    std::vector<double> values = {0.0, -0.0, 0.5, 1.5, 2.5, -2.5, 0.125, 0.375, 1e22, 1e23, 9.5, 99.5, 999999.5,
                                  0.005, 0.015, 0.025, 1e-5, 9.9999995, 99999.95, 4503599627370495.5};
    for (int i = 0; i < 200000; ++i) {
        const double v = mantissa(random) * std::pow(10.0, exponent(random)) * (random() % 2 ? 1 : -1);
        values.push_back(v);
        values.push_back(static_cast<float>(v));                   // an input value as read
        values.push_back(std::nearbyint(v * 100) / 100);           // a figure near a two-decimal midpoint
        values.push_back((std::floor(v * 8) + 0.5) / 8);           // an exact binary midpoint
        values.push_back(std::nextafter(std::pow(10.0, exponent(random)), 0.0));  // just below a power of ten
    }
    int mismatches = 0;
    for (const double v : values) {
        for (int decimals = 0; decimals <= 6 && mismatches < 10; ++decimals) {
            const std::string expected = libraryFormat(v, std::chars_format::fixed, decimals);
            if (formatFixed(v, 0, decimals) != expected) {
                ADD_FAILURE() << "%." << decimals << "f of " << libraryFormat(v, std::chars_format::general, 17)
                              << ": " << formatFixed(v, 0, decimals) << " instead of " << expected;
                ++mismatches;
            }
        }
        for (const int significant : {3, 5, 6}) {
            const std::string expected = libraryFormat(v, std::chars_format::general, significant);
            if (formatGeneral(v, 0, significant) != expected && mismatches++ < 10)
                ADD_FAILURE() << "%." << significant << "g of " << libraryFormat(v, std::chars_format::general, 17)
                              << ": " << formatGeneral(v, 0, significant) << " instead of " << expected;
        }
    }
    EXPECT_EQ(formatFixed(2.5, 6, 0), "     2");
    EXPECT_EQ(formatGeneral(-0.0, 3, 6), " -0");
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

    // Figures written as fields read exactly as the format functions write them.
    ASSERT_TRUE(out.open(dir / "fields.txt"));
    const double values[] = {3.14159, -0.001, 1e300, 0.125, -0.0, 1234567.0};
    std::string expected;
    long long number = -123456789;
    for (const double v : values) {
        out << IntField{number, 7} << FixedField{v, 10, 2} << GeneralField{v, 12, 6};
        expected += formatInt(number, 7) + formatFixed(v, 10, 2) + formatGeneral(v, 12, 6);
        number /= 10;
    }
    EXPECT_TRUE(out.close());
    EXPECT_EQ(test::fileBytes(dir / "fields.txt"), expected);
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
