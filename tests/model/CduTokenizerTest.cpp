#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "model/CduTokenizer.h"

using namespace tarvel;

namespace {

float real(CduTokenizer& in)
{
    float value = -12345.0f;
    EXPECT_TRUE(in.readReal(value));
    return value;
}

int32_t integer(CduTokenizer& in)
{
    int32_t value = -12345;
    EXPECT_TRUE(in.readInt(value));
    return value;
}

}  // namespace

TEST(CduTokenizer, IntegerFieldsStopAtTheFirstOtherCharacter)
{
    CduTokenizer in(" 0201\t+7\r\n-12 5.0 12abc");
    EXPECT_EQ(integer(in), 201);
    EXPECT_EQ(integer(in), 7);
    EXPECT_EQ(integer(in), -12);
    EXPECT_EQ(in.line(), 2);
    EXPECT_EQ(integer(in), 5);
    EXPECT_EQ(real(in), 0.0f);  // ".0" left by the integer field
    EXPECT_EQ(integer(in), 12);
    int32_t value = 99;
    EXPECT_FALSE(in.readInt(value));
    EXPECT_EQ(value, 99);
    EXPECT_EQ(in.peekWord(10), "abc");  // nothing consumed by a field not read

    for (const char* text : {"", "   \r\n ", "-", "+ 5", "-x", ".5", "e5", "+.e5"}) {
        CduTokenizer none(text);
        EXPECT_FALSE(none.readInt(value)) << text;
    }
}

TEST(CduTokenizer, IntegersBeyondThe32BitRangeSaturate)
{
    CduTokenizer in("2147483647 -2147483648 2147483648 -2147483649 99999999999999999999999 "
                    "-000000000000000000000000000000042 7");
    EXPECT_EQ(integer(in), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(integer(in), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(integer(in), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(integer(in), std::numeric_limits<int32_t>::min());
    EXPECT_EQ(integer(in), std::numeric_limits<int32_t>::max());
    EXPECT_EQ(integer(in), -42);  // leading zeros are ordinary digits
    EXPECT_EQ(integer(in), 7);    // every digit of the long ones was consumed
}

TEST(CduTokenizer, RealFieldsTakeTheLongestNumber)
{
    CduTokenizer in(".5 5. -1.5e3 2E-2 +.25 -0 10,5");
    EXPECT_EQ(real(in), 0.5f);
    EXPECT_EQ(real(in), 5.0f);
    EXPECT_EQ(real(in), -1500.0f);
    EXPECT_EQ(real(in), 0.02f);
    EXPECT_EQ(real(in), 0.25f);
    const float negativeZero = real(in);
    EXPECT_TRUE(negativeZero == 0.0f && std::signbit(negativeZero));
    EXPECT_EQ(real(in), 10.0f);
    float value = 0.0f;
    EXPECT_FALSE(in.readReal(value));  // the comma stops the reading
    EXPECT_EQ(in.peekWord(10), ",5");

    // An exponent letter without digits is left in the text.
    struct Case {
        const char* text;
        float value;
        const char* left;
    };
    for (const Case& c : {Case{"1e", 1.0f, "e"}, Case{"1e+", 1.0f, "e+"}, Case{"5.e", 5.0f, "e"},
                          Case{"2E-x", 2.0f, "E-x"}, Case{"5.e2", 500.0f, ""}, Case{"1e+2.5", 100.0f, ".5"}}) {
        CduTokenizer cut(c.text);
        EXPECT_EQ(real(cut), c.value) << c.text;
        EXPECT_EQ(cut.peekWord(10), c.left) << c.text;
    }
    for (std::string_view text : {"", " \n", ".", "-.", "+", "-", "- 5", "+.e5", "e5", ".e1", ",5", "\xC0"}) {
        CduTokenizer none(text);
        EXPECT_FALSE(none.readReal(value)) << text;
    }
    CduTokenizer nul(std::string_view("\0 5", 3));
    EXPECT_FALSE(nul.readReal(value));
    EXPECT_FALSE(nul.atEnd());
}

TEST(CduTokenizer, RealsAreRoundedOnceToSinglePrecision)
{
    const float inf = std::numeric_limits<float>::infinity();
    CduTokenizer in("0.1 1e39 -1e39 1e-50 3.4028235e38 1e999999999999999 16777217 0.000000000000000000000000000000000000000000001");
    EXPECT_EQ(real(in), 0.1f);
    EXPECT_EQ(real(in), inf);
    EXPECT_EQ(real(in), -inf);
    EXPECT_EQ(real(in), 0.0f);
    EXPECT_EQ(real(in), std::numeric_limits<float>::max());
    EXPECT_EQ(real(in), inf);
    EXPECT_EQ(real(in), 16777216.0f);  // halfway: ties to even
    EXPECT_EQ(real(in), std::numeric_limits<float>::denorm_min());

    // Mantissas far longer than any float needs.
    const std::string zeros(500, '0');
    const std::string longText = "0." + zeros + "1e501 1" + zeros + "e-500 16777217." + zeros + "1";
    CduTokenizer longOnes(longText);
    EXPECT_EQ(real(longOnes), 1.0f);
    EXPECT_EQ(real(longOnes), 1.0f);
    EXPECT_EQ(real(longOnes), 16777218.0f);  // a digit far behind the halfway point still rounds up

    std::string digits;
    for (int k = 0; k < 260; ++k)
        digits += static_cast<char>('0' + (k * 7 + 3) % 10);
    digits.insert(3, ".");
    CduTokenizer many(digits);
    EXPECT_EQ(real(many), std::strtof(digits.c_str(), nullptr));
}

// Short figures take a fast path; every one must read as the correctly
// rounded float that strtof gives, with and without exponents and signs.
TEST(CduTokenizer, ShortRealsReadAsStrtofRoundsThem)
{
    std::mt19937 random(118);
    std::string text;
    std::vector<std::string> numbers;
    for (int i = 0; i < 100000; ++i) {
        std::string number = random() % 5 == 0 ? "-" : "";
        const int digits = 1 + static_cast<int>(random() % 9);
        for (int k = 0; k < digits; ++k)
            number += static_cast<char>('0' + random() % 10);
        if (random() % 4 != 0)
            number.insert(number.size() - random() % (digits + 1), ".");
        if (random() % 6 == 0)
            number += "e" + std::to_string(static_cast<int>(random() % 25) - 12);
        if (number.back() == '.' || number == "-.")
            number += "5";
        numbers.push_back(number);
        text += number + (random() % 2 ? " " : "\r\n");
    }
    CduTokenizer in(text);
    int mismatches = 0;
    for (const std::string& number : numbers) {
        const float expected = std::strtof(number.c_str(), nullptr);
        const float got = real(in);
        if (std::memcmp(&got, &expected, sizeof got) != 0 && mismatches++ < 10)
            ADD_FAILURE() << number << " read as " << got << ", strtof gives " << expected;
    }
    EXPECT_TRUE(in.atEnd());
}

// Short figures that lie exactly halfway between two floats (an odd w with
// w * 5^s of 25 bits makes w * 10^s one) round to the even float, as strtof
// rounds them, and so do their neighbours.
TEST(CduTokenizer, ShortRealsHalfwayBetweenFloatsRoundToEven)
{
    std::mt19937 random(2024);
    std::vector<std::string> numbers;
    long long fivePower = 1;
    for (int s = 1; s <= 10; ++s) {
        fivePower *= 5;
        const long long low = ((1LL << 24) + fivePower - 1) / fivePower;
        const long long high = std::min((1LL << 25) / fivePower, 9999999LL);
        for (int t = 0; t < 300 && low <= high; ++t) {
            const long long w = (low + static_cast<long long>(random() % static_cast<unsigned>(high - low + 1))) | 1;
            for (const long long near : {w - 1, w, w + 1}) {
                numbers.push_back(std::to_string(near) + "e" + std::to_string(s));
                numbers.push_back("-" + std::to_string(near) + "0e" + std::to_string(s - 1));
            }
        }
    }
    ASSERT_GT(numbers.size(), 1000u);
    std::string text;
    for (const std::string& number : numbers)
        text += number + " ";
    CduTokenizer in(text);
    for (const std::string& number : numbers) {
        float value = 0;
        double exact = 0;
        ASSERT_TRUE(in.readReal(value, exact));
        const float expected = std::strtof(number.c_str(), nullptr);
        ASSERT_EQ(std::memcmp(&value, &expected, sizeof value), 0) << number;
        ASSERT_EQ(exact, std::strtod(number.c_str(), nullptr)) << number;
    }
}

TEST(CduTokenizer, NumbersAcrossChunkBoundariesOfAFile)
{
    // Numbers placed so that they straddle the end of the first 64 KB chunk.
    for (std::size_t at : {65532u, 65533u, 65534u, 65535u}) {
        std::FILE* file = std::tmpfile();
        ASSERT_NE(file, nullptr);
        const std::string text = std::string(at, ' ') + "1e+5\n\n-2.5E-1 1e+x";
        std::fwrite(text.data(), 1, text.size(), file);
        std::rewind(file);
        {
            CduTokenizer in(file);
            EXPECT_EQ(real(in), 100000.0f) << at;
            EXPECT_EQ(real(in), -0.25f) << at;
            EXPECT_EQ(in.line(), 3);
            EXPECT_EQ(real(in), 1.0f) << at;
            EXPECT_EQ(in.peekWord(10), "e+x");
            float value = 0.0f;
            EXPECT_FALSE(in.readReal(value));
            EXPECT_FALSE(in.atEnd());
            EXPECT_FALSE(in.readError());
        }
        std::fclose(file);
    }
}

// One reading gives both precisions: the float exactly as the single-precision
// reading gives it (the exact method's files depend on every bit), the double
// as strtod rounds the same text.
TEST(CduTokenizer, TheDoubleOfAFieldIsStrtodsAndItsFloatStaysTheSame)
{
    std::mt19937 random(19);
    std::uniform_int_distribution<int> digitCount(1, 19), digit(0, 9), point(-1, 18), exponent(-40, 40);
    std::uniform_int_distribution<int> withExponent(0, 3);
    std::vector<std::string> texts = {"0", "1.01", "0.1", "1e-6", "123456789.123456789", "3.4028235e38", "1e39",
                                      "1e-50", "4.9e-324", "2.2250738585072011e-308", "0.30000000000000004"};
    for (int t = 0; t < 20000; ++t) {
        std::string text;
        const int count = digitCount(random);
        const int at = point(random);
        for (int k = 0; k < count; ++k) {
            if (k == at)
                text += '.';
            text += static_cast<char>('0' + digit(random));
        }
        if (withExponent(random) == 0)
            text += "e" + std::to_string(exponent(random));
        texts.push_back(random() % 2 ? "-" + text : text);
    }
    for (const std::string& text : texts) {
        CduTokenizer single(text);
        CduTokenizer both(text);
        float alone = 0, f = 0;
        double d = 0;
        ASSERT_TRUE(single.readReal(alone)) << text;
        ASSERT_TRUE(both.readReal(f, d)) << text;
        ASSERT_EQ(std::memcmp(&alone, &f, sizeof f), 0) << text;
        const double expected = std::strtod(text.c_str(), nullptr);
        ASSERT_EQ(d, expected) << text;
    }
}
