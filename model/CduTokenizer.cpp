#include "model/CduTokenizer.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <system_error>

namespace tarvel {

namespace {

bool isDigit(int c)
{
    return c >= '0' && c <= '9';
}

bool isSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Powers of ten held exactly: 10^0..10^22 in a double; 10^0..10^10 in a
// float (5^10 is below 2^24).
constexpr std::array<double, 23> kDoublePowerOfTen = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
constexpr std::array<float, 11> kFloatPowerOfTen = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                                    1e6f, 1e7f, 1e8f, 1e9f, 1e10f};

// The significant digits of a real and its power of ten: value = digits * 10^scale.
// Only the first kMaxDigits significant digits are kept; a nonzero digit beyond
// them is remembered, which is all that correct rounding to a float needs
// (a float's rounding boundaries have far fewer than kMaxDigits digits).
class DecimalNumber {
public:
    void integerDigit(int c)
    {
        if (count_ == 0 && c == '0')
            return;
        if (count_ < kMaxDigits) {
            digits_[count_++] = static_cast<char>(c);
        } else {
            ++scale_;
            sticky_ = sticky_ || c != '0';
        }
    }

    void fractionDigit(int c)
    {
        if (count_ == 0 && c == '0') {
            --scale_;
            return;
        }
        if (count_ < kMaxDigits) {
            digits_[count_++] = static_cast<char>(c);
            --scale_;
        } else {
            sticky_ = sticky_ || c != '0';
        }
    }

    void addExponent(int64_t e) { scale_ += e; }

    float toFloat(bool negative)
    {
        float magnitude = 0.0f;
        if (exactInFloat()) {
            // Both operands are exact floats, so one rounding gives the
            // correctly rounded value (most input figures are this short).
            int32_t whole = 0;
            for (int k = 0; k < count_; ++k)
                whole = whole * 10 + (digits_[k] - '0');
            const float w = static_cast<float>(whole);
            magnitude = scale_ >= 0 ? w * kFloatPowerOfTen[scale_] : w / kFloatPowerOfTen[-scale_];
        } else if (count_ > 0) {
            if (sticky_) {
                digits_[count_++] = '1';
                --scale_;
            }
            const int64_t order = count_ + scale_;  // value < 10^order, value >= 10^(order-1)
            if (order > 40) {
                magnitude = std::numeric_limits<float>::infinity();
            } else if (order >= -50) {
                std::array<char, kMaxDigits + 32> text{};
                char* end = text.data();
                for (int k = 0; k < count_; ++k)
                    *end++ = digits_[k];
                *end++ = 'e';
                end = std::to_chars(end, text.data() + text.size(), scale_).ptr;
                const auto result = std::from_chars(text.data(), end, magnitude);
                if (result.ec == std::errc::result_out_of_range)
                    magnitude = order > 0 ? std::numeric_limits<float>::infinity() : 0.0f;
            }
        }
        return negative ? -magnitude : magnitude;
    }

    // The value rounded once to double precision. Leaves the digits as they are.
    double toDouble(bool negative) const
    {
        double magnitude = 0.0;
        if (!sticky_ && count_ <= 15 && scale_ >= -22 && scale_ <= 22) {
            // Both operands are exact doubles: one rounding.
            int64_t whole = 0;
            for (int k = 0; k < count_; ++k)
                whole = whole * 10 + (digits_[k] - '0');
            const double w = static_cast<double>(whole);
            magnitude = scale_ >= 0 ? w * kDoublePowerOfTen[scale_] : w / kDoublePowerOfTen[-scale_];
        } else if (count_ > 0) {
            const int64_t order = count_ + scale_;
            if (order > 320) {
                magnitude = std::numeric_limits<double>::infinity();
            } else if (order >= -340) {
                std::array<char, kMaxDigits + 40> text{};
                char* end = text.data();
                for (int k = 0; k < count_; ++k)
                    *end++ = digits_[k];
                int64_t scale = scale_;
                if (sticky_) {
                    *end++ = '1';
                    --scale;
                }
                *end++ = 'e';
                end = std::to_chars(end, text.data() + text.size(), scale).ptr;
                const auto result = std::from_chars(text.data(), end, magnitude);
                if (result.ec == std::errc::result_out_of_range)
                    magnitude = order > 0 ? std::numeric_limits<double>::infinity() : 0.0;
            }
        }
        return negative ? -magnitude : magnitude;
    }

private:
    bool exactInFloat() const { return !sticky_ && count_ <= 7 && scale_ >= -10 && scale_ <= 10; }

    static constexpr int kMaxDigits = 200;
    std::array<char, kMaxDigits + 1> digits_;  // only the first count_ are set
    int count_ = 0;
    int64_t scale_ = 0;
    bool sticky_ = false;
};

}  // namespace

CduTokenizer::CduTokenizer(std::FILE* file) : file_(file)
{
    buffer_.resize(kChunk);
    text_ = std::string_view(buffer_.data(), 0);
}

CduTokenizer::CduTokenizer(std::string_view text) : text_(text), eof_(true) {}

bool CduTokenizer::refill(std::size_t needed)
{
    while (text_.size() - pos_ < needed && !eof_) {
        const std::size_t kept = text_.size() - pos_;
        if (kept > 0 && pos_ > 0)
            std::copy(buffer_.data() + pos_, buffer_.data() + text_.size(), buffer_.data());
        dropped_ += static_cast<long long>(pos_);
        pos_ = 0;
        const std::size_t got = std::fread(buffer_.data() + kept, 1, buffer_.size() - kept, file_);
        if (got == 0) {
            eof_ = true;
            readError_ = std::ferror(file_) != 0;
        }
        text_ = std::string_view(buffer_.data(), kept + got);
    }
    return text_.size() - pos_ >= needed;
}

int CduTokenizer::peek(std::size_t offset)
{
    if (pos_ + offset >= text_.size() && !refill(offset + 1))
        return -1;
    return static_cast<unsigned char>(text_[pos_ + offset]);
}

void CduTokenizer::advance()
{
    const bool lineEnd = peek() == '\n';
    ++pos_;
    if (lineEnd) {
        ++line_;
        lineStart_ = dropped_ + static_cast<long long>(pos_);
    }
}

void CduTokenizer::skipSpace()
{
    // Straight over the bytes at hand; a refill only at their end.
    do {
        while (pos_ < text_.size()) {
            const char c = text_[pos_];
            if (!isSpace(static_cast<unsigned char>(c)))
                return;
            ++pos_;
            if (c == '\n') {
                ++line_;
                lineStart_ = dropped_ + static_cast<long long>(pos_);
            }
        }
    } while (refill(1));
}

bool CduTokenizer::atEnd()
{
    skipSpace();
    return peek() < 0;
}

std::string CduTokenizer::peekWord(std::size_t maxBytes)
{
    std::string word;
    for (std::size_t k = 0; k < maxBytes; ++k) {
        const int c = peek(k);
        if (c < 0 || isSpace(c))
            break;
        word += static_cast<char>(c);
    }
    return word;
}

namespace {

constexpr int kUnknown = -2;  // a byte beyond those at hand, the text going on

// The byte at a position of the text at hand: kUnknown past its end while
// more text follows, -1 past the end of the whole text.
auto byteAtHand(std::string_view text, bool more)
{
    return [text, more](std::size_t i) {
        return i < text.size() ? static_cast<unsigned char>(text[i]) : more ? kUnknown : -1;
    };
}

// The digits of a short real and its power of ten, as the long reading
// (DecimalNumber) would hold them: leading zeros dropped, trailing ones kept.
struct ShortReal {
    int64_t digits = 0;
    int count = 0;
    int64_t scale = 0;
};

constexpr int kShortRealDigits = 15;  // exact in a double

// The float nearest to a short real of at most 7 digits and a power of ten
// within 10^-10..10^10 (a normal float), given the double nearest to it.
// Rounding the double once more gives the same float unless the double fell
// exactly halfway between two floats; only then is the real rounded anew.
float floatOf(double nearest, const ShortReal& number)
{
    constexpr std::uint64_t kBelowFloat = (std::uint64_t{1} << 29) - 1;  // bits a float drops
    constexpr std::uint64_t kHalfway = std::uint64_t{1} << 28;
    if ((std::bit_cast<std::uint64_t>(nearest) & kBelowFloat) != kHalfway)
        return static_cast<float>(nearest);
    const float w = static_cast<float>(number.digits);
    return number.scale >= 0 ? w * kFloatPowerOfTen[number.scale] : w / kFloatPowerOfTen[-number.scale];
}

}  // namespace

CduTokenizer::AtHand CduTokenizer::readIntAtHand(int32_t& value)
{
    const auto at = byteAtHand(text_, !eof_);
    std::size_t p = pos_;
    const int first = at(p);
    const bool signed_ = first == '+' || first == '-';
    const int lead = at(p + (signed_ ? 1 : 0));
    if (first == kUnknown || lead == kUnknown)
        return AtHand::Undecided;
    if (!isDigit(lead))
        return AtHand::NotANumber;
    p += signed_ ? 1 : 0;
    constexpr int64_t kLimit = int64_t{1} << 31;  // |INT32_MIN|
    int64_t magnitude = 0;
    int c = at(p);
    for (; isDigit(c); c = at(++p))
        if (magnitude <= kLimit)
            magnitude = magnitude * 10 + (c - '0');
    if (c == kUnknown)
        return AtHand::Undecided;
    if (first == '-')
        value = magnitude >= kLimit ? std::numeric_limits<int32_t>::min() : static_cast<int32_t>(-magnitude);
    else
        value = magnitude >= kLimit ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(magnitude);
    pos_ = p;
    return AtHand::Read;
}

CduTokenizer::AtHand CduTokenizer::readRealAtHand(float& value, double& exact, bool wantExact)
{
    const auto at = byteAtHand(text_, !eof_);
    std::size_t p = pos_;
    const int first = at(p);
    const bool signed_ = first == '+' || first == '-';
    p += signed_ ? 1 : 0;
    const int lead = at(p);
    const int afterLead = lead == '.' ? at(p + 1) : 0;
    if (first == kUnknown || lead == kUnknown || afterLead == kUnknown)
        return AtHand::Undecided;
    if (!isDigit(lead) && !(lead == '.' && isDigit(afterLead)))
        return AtHand::NotANumber;

    ShortReal number;
    const auto digit = [&number](int c) {
        if (number.count == 0 && c == '0')
            return;
        number.digits = number.digits * 10 + (c - '0');
        ++number.count;
    };
    int c = at(p);
    for (; isDigit(c) && number.count <= kShortRealDigits; c = at(++p))
        digit(c);
    if (c == '.') {
        for (c = at(++p); isDigit(c) && number.count <= kShortRealDigits; c = at(++p)) {
            digit(c);
            --number.scale;
        }
    }
    if (c == 'e' || c == 'E') {
        const int sign = at(p + 1);
        const std::size_t digitsAt = (sign == '+' || sign == '-') ? 2 : 1;
        const int firstDigit = sign == kUnknown ? kUnknown : at(p + digitsAt);
        if (firstDigit == kUnknown)
            return AtHand::Undecided;
        if (isDigit(firstDigit)) {
            p += digitsAt;
            constexpr int64_t kExponentCap = 1'000'000'000;  // far past any float
            int64_t exponent = 0;
            for (c = at(p); isDigit(c); c = at(++p))
                if (exponent < kExponentCap)
                    exponent = exponent * 10 + (c - '0');
            number.scale += sign == '-' ? -exponent : exponent;
        }
    }
    // Only figures whose roundings are each one exact operation are taken
    // here (nearly every figure of a network); the rest is read byte by byte.
    const bool zero = number.count == 0;
    const bool exactFloat = zero || (number.count <= 7 && number.scale >= -10 && number.scale <= 10);
    const bool exactDouble = zero || (number.count <= kShortRealDigits && number.scale >= -22 && number.scale <= 22);
    if (c == kUnknown || isDigit(c) || !exactFloat || (wantExact && !exactDouble))
        return AtHand::Undecided;
    const bool negative = first == '-';
    const double w = static_cast<double>(number.digits);
    const double magnitude = zero                ? 0.0
                             : number.scale >= 0 ? w * kDoublePowerOfTen[number.scale]
                                                 : w / kDoublePowerOfTen[-number.scale];
    if (wantExact)
        exact = negative ? -magnitude : magnitude;
    value = negative ? -floatOf(magnitude, number) : floatOf(magnitude, number);
    pos_ = p;
    return AtHand::Read;
}

bool CduTokenizer::readInt(int32_t& value)
{
    skipSpace();
    switch (readIntAtHand(value)) {
    case AtHand::Read:
        return true;
    case AtHand::NotANumber:
        return false;
    case AtHand::Undecided:
        break;
    }
    const int first = peek();
    const bool signed_ = first == '+' || first == '-';
    if (!isDigit(peek(signed_ ? 1 : 0)))
        return false;
    if (signed_)
        advance();

    constexpr int64_t kLimit = int64_t{1} << 31;  // |INT32_MIN|
    int64_t magnitude = 0;
    for (int c = peek(); isDigit(c); c = peek()) {
        if (magnitude <= kLimit)
            magnitude = magnitude * 10 + (c - '0');
        ++pos_;  // a digit just peeked: no line end, no refill
    }
    if (first == '-')
        value = magnitude >= kLimit ? std::numeric_limits<int32_t>::min() : static_cast<int32_t>(-magnitude);
    else
        value = magnitude >= kLimit ? std::numeric_limits<int32_t>::max() : static_cast<int32_t>(magnitude);
    return true;
}

bool CduTokenizer::readReal(float& value)
{
    double unused = 0;
    return readReal(value, unused, false);
}

bool CduTokenizer::readReal(float& value, double& exact)
{
    return readReal(value, exact, true);
}

bool CduTokenizer::readReal(float& value, double& exact, bool wantExact)
{
    skipSpace();
    switch (readRealAtHand(value, exact, wantExact)) {
    case AtHand::Read:
        return true;
    case AtHand::NotANumber:
        return false;
    case AtHand::Undecided:
        break;
    }
    const int first = peek();
    const bool signed_ = first == '+' || first == '-';
    const std::size_t at = signed_ ? 1 : 0;
    const int lead = peek(at);
    if (!isDigit(lead) && !(lead == '.' && isDigit(peek(at + 1))))
        return false;
    if (signed_)
        advance();

    DecimalNumber number;
    for (int c = peek(); isDigit(c); c = peek()) {
        number.integerDigit(c);
        ++pos_;
    }
    if (peek() == '.') {
        advance();
        for (int c = peek(); isDigit(c); c = peek()) {
            number.fractionDigit(c);
            ++pos_;
        }
    }
    // The exponent belongs to the number only when digits follow the letter
    // (and its sign); otherwise the letter is left in the text.
    if (const int e = peek(); e == 'e' || e == 'E') {
        const int sign = peek(1);
        const std::size_t digitsAt = (sign == '+' || sign == '-') ? 2 : 1;
        if (isDigit(peek(digitsAt))) {
            for (std::size_t k = 0; k < digitsAt; ++k)
                advance();
            constexpr int64_t kExponentCap = 1'000'000'000;  // far past any float
            int64_t exponent = 0;
            for (int c = peek(); isDigit(c); c = peek()) {
                if (exponent < kExponentCap)
                    exponent = exponent * 10 + (c - '0');
                advance();
            }
            number.addExponent(sign == '-' ? -exponent : exponent);
        }
    }
    if (wantExact)
        exact = number.toDouble(first == '-');
    value = number.toFloat(first == '-');
    return true;
}

}  // namespace tarvel
