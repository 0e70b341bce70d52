#include "model/TextFile.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <system_error>

namespace tarvel {

namespace {

// Code points of the bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F.
constexpr std::array<char16_t, 64> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021,  // 80
    0x20AC, 0x2030, 0x0409, 0x2039, 0x040A, 0x040C, 0x040B, 0x040F,  // 88
    0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90
    0x0098, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F,  // 98
    0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7,  // A0
    0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407,  // A8
    0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6, 0x00B7,  // B0
    0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,  // B8
};

char32_t byteToCodePoint(unsigned char b)
{
    if (b < 0x80)
        return b;
    if (b >= 0xC0)
        return 0x0410 + (b - 0xC0);
    return kHighHalf[b - 0x80];
}

// The Windows-1251 byte of a code point, or -1.
int codePointToByte(char32_t c)
{
    if (c < 0x80)
        return static_cast<int>(c);
    if (c >= 0x0410 && c <= 0x044F)
        return static_cast<int>(0xC0 + (c - 0x0410));
    for (std::size_t i = 0; i < kHighHalf.size(); ++i)
        if (kHighHalf[i] == c)
            return static_cast<int>(0x80 + i);
    return -1;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at text[i] and advances i; a bad sequence gives
// kInvalid and consumes one byte.
constexpr char32_t kInvalid = 0xFFFFFFFF;
char32_t decodeUtf8(std::string_view text, std::size_t& i)
{
    const unsigned char b0 = static_cast<unsigned char>(text[i]);
    int extra = 0;
    char32_t c = 0;
    if (b0 < 0x80) {
        ++i;
        return b0;
    } else if ((b0 & 0xE0) == 0xC0) {
        extra = 1;
        c = b0 & 0x1F;
    } else if ((b0 & 0xF0) == 0xE0) {
        extra = 2;
        c = b0 & 0x0F;
    } else if ((b0 & 0xF8) == 0xF0) {
        extra = 3;
        c = b0 & 0x07;
    } else {
        ++i;
        return kInvalid;
    }
    if (i + extra >= text.size()) {
        ++i;
        return kInvalid;
    }
    for (int k = 1; k <= extra; ++k) {
        const unsigned char b = static_cast<unsigned char>(text[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return kInvalid;
        }
        c = (c << 6) | (b & 0x3F);
    }
    i += extra + 1;
    return c;
}

// 0x80 in each byte of word that equals c, 0 in the others.
std::uint64_t bytesEqual(std::uint64_t word, unsigned char c)
{
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
    const std::uint64_t y = word ^ (c * 0x0101010101010101u);
    return ~(((y & kLow7) + kLow7) | y | kLow7);
}

// Length of the run of ASCII bytes at the start of text, looked at eight
// bytes at a time (a working file is mostly ASCII).
std::size_t asciiRun(std::string_view text)
{
    constexpr std::uint64_t kHighBits = 0x8080808080808080u;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, sizeof word);
        if (word & kHighBits)
            break;
    }
    while (i < text.size() && static_cast<unsigned char>(text[i]) < 0x80)
        ++i;
    return i;
}

// Position of the first CR or LF at or after from, or the text's size.
std::size_t lineBreakFrom(std::string_view text, std::size_t from)
{
    while (from < text.size() && text[from] != '\r' && text[from] != '\n')
        ++from;
    return from;
}

}  // namespace

TextKind guessTextKind(std::string_view bytes)
{
    std::size_t controls = 0;
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0)
            return TextKind::Binary;
        if (b < 0x20 && b != '\t' && b != '\n' && b != '\r' && b != '\f' && b != 0x1A)
            ++controls;
    }
    if (controls * 1000 > bytes.size())
        return TextKind::Binary;

    bool surelyUtf8 = withoutUtf8Bom(bytes).size() != bytes.size();  // the mark, or a Cyrillic letter below
    for (std::size_t i = 0; i < bytes.size();) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        const std::size_t length = b < 0x80 ? 1 : (b >> 5) == 0x6 ? 2 : (b >> 4) == 0xE ? 3 : (b >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > bytes.size())
            return TextKind::Windows1251;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80)
                return TextKind::Windows1251;
        // U+0400..U+04FF: lead bytes 0xD0..0xD3.
        surelyUtf8 = surelyUtf8 || (length == 2 && b >= 0xD0 && b <= 0xD3);
        i += length;
    }
    return surelyUtf8 ? TextKind::Utf8Cyrillic : TextKind::Windows1251;
}

std::string_view withoutUtf8Bom(std::string_view bytes)
{
    constexpr std::string_view kBom = "\xEF\xBB\xBF";
    if (bytes.substr(0, kBom.size()) == kBom)
        bytes.remove_prefix(kBom.size());
    return bytes;
}

std::string cp1251ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    while (!bytes.empty()) {
        const std::size_t run = asciiRun(bytes);
        out.append(bytes.data(), run);
        if (run == bytes.size())
            break;
        appendUtf8(out, byteToCodePoint(static_cast<unsigned char>(bytes[run])));
        bytes.remove_prefix(run + 1);
    }
    return out;
}

std::string utf8ToCp1251(std::string_view utf8, std::size_t* unmapped)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t bad = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const std::size_t run = asciiRun(utf8.substr(i));
        out.append(utf8.data() + i, run);
        i += run;
        if (i == utf8.size())
            break;
        const char32_t c = decodeUtf8(utf8, i);
        const int b = c == kInvalid ? -1 : codePointToByte(c);
        if (b < 0) {
            out += '?';
            ++bad;
        } else {
            out += static_cast<char>(b);
        }
    }
    if (unmapped)
        *unmapped += bad;
    return out;
}

bool cp1251Has(char32_t codePoint)
{
    return codePointToByte(codePoint) >= 0;
}

// Every LF stands exactly one byte after a CR and every CR one byte before
// an LF: checked eight bytes at a time, a word's LFs against its CRs moved
// on by a byte (and the last byte of the word before), without a branch per
// byte; a search per line costs a call for every line of a large file.
bool hasCrLfLineEnds(std::string_view text)
{
    std::uint64_t carry = 0;
    const auto linesEndWell = [&carry](std::uint64_t word) {
        const std::uint64_t cr = bytesEqual(word, '\r');
        const bool well = bytesEqual(word, '\n') == ((cr << 8) | carry);
        carry = cr >> 56;
        return well;
    };
    const std::size_t n = text.size();
    std::size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, sizeof word);
        if (!linesEndWell(word))
            return false;
    }
    // The rest padded with NUL bytes, which a CR at the end does not match.
    std::uint64_t last = 0;
    if (i < n)
        std::memcpy(&last, text.data() + i, n - i);
    return linesEndWell(last);
}

std::string userFileText(std::string_view bytes)
{
    if (const std::string_view text = withoutUtf8Bom(bytes); text.size() != bytes.size())
        return std::string(text);
    if (guessTextKind(bytes) == TextKind::Utf8Cyrillic)
        return std::string(bytes);
    return cp1251ToUtf8(bytes);
}

std::vector<std::string_view> textLines(std::string_view text)
{
    text = withoutUtf8Bom(text);
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = lineBreakFrom(text, start);
        lines.push_back(text.substr(start, end - start));
        if (end == text.size())
            break;
        start = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return lines;
}

std::string toCrLf(std::string_view text)
{
    if (hasCrLfLineEnds(text))
        return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    std::size_t i = 0;
    while (i < text.size()) {
        const std::size_t end = lineBreakFrom(text, i);
        out.append(text.substr(i, end - i));
        if (end == text.size())
            break;
        out += "\r\n";
        i = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
    }
    return out;
}

std::string padLeft(std::string_view text, int width)
{
    std::string out;
    const std::size_t pad = width > 0 && text.size() < static_cast<std::size_t>(width) ? width - text.size() : 0;
    out.reserve(pad + text.size());
    out.assign(pad, ' ');
    out += text;
    return out;
}

namespace {

// Exact powers of ten up to 10^22, the largest a double holds exactly.
constexpr std::array<double, 23> kPowerOfTen = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// |value| x 10^exponent rounded to the nearest integer as the exact product
// would be rounded, when one rounding of the double product cannot have
// crossed the midpoint between two integers and the result stays below
// 2^53. False otherwise (and for a product exactly at a midpoint, which the
// library rounds to even); the caller then formats the value the slow way.
bool roundScaled(double magnitude, int exponent, double& scaled, std::uint64_t& rounded)
{
    if (exponent > 22 || exponent < -22)
        return false;
    scaled = exponent >= 0 ? magnitude * kPowerOfTen[exponent] : magnitude / kPowerOfTen[-exponent];
    if (!(scaled < 0x1p52))
        return false;
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    if (std::fabs(fraction - 0.5) <= scaled * 0x1p-50 + 0x1p-60)
        return false;
    rounded = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
    return true;
}

// Writes the decimal digits of value, at least minDigits of them (leading
// zeros), ending at end; returns where they begin.
char* writeDigits(std::uint64_t value, int minDigits, char* end)
{
    // Two digits per division while they fit 32 bits (nearly every figure).
    static constexpr char kPairs[] = "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
                                     "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
                                     "8081828384858687888990919293949596979899";
    char* p = end;
    while (value > 0xFFFFFFFFu) {
        *--p = static_cast<char>('0' + value % 10);
        value /= 10;
        --minDigits;
    }
    auto small = static_cast<std::uint32_t>(value);
    while (small >= 100) {
        const std::uint32_t pair = (small % 100) * 2;
        small /= 100;
        *--p = kPairs[pair + 1];
        *--p = kPairs[pair];
        minDigits -= 2;
    }
    if (small >= 10) {
        *--p = kPairs[small * 2 + 1];
        *--p = kPairs[small * 2];
        minDigits -= 2;
    } else {
        *--p = static_cast<char>('0' + small);
        --minDigits;
    }
    for (; minDigits > 0; --minDigits)
        *--p = '0';
    return p;
}

// %.Df of a finite value below 2^52 / 10^D, as std::to_chars writes it;
// false when the value needs the exact (slow) rounding.
bool fastFixed(double value, int decimals, char* buf, std::size_t& length)
{
    double scaled;
    std::uint64_t rounded;
    if (!std::isfinite(value) || decimals < 0 || decimals > 15 ||
        !roundScaled(std::fabs(value), decimals, scaled, rounded))
        return false;
    char digits[32];
    char* end = digits + sizeof digits;
    const char* begin = writeDigits(rounded, decimals + 1, end);
    const std::size_t integerDigits = static_cast<std::size_t>(end - begin) - static_cast<std::size_t>(decimals);
    char* out = buf;
    if (std::signbit(value))
        *out++ = '-';
    out = std::copy(begin, begin + integerDigits, out);
    if (decimals > 0) {
        *out++ = '.';
        out = std::copy(begin + integerDigits, static_cast<const char*>(end), out);
    }
    length = static_cast<std::size_t>(out - buf);
    return true;
}

// %.Pg of a finite non-zero value within 1e-300..1e300, as std::to_chars
// writes it; false when the value needs the exact (slow) rounding.
bool fastGeneral(double value, int significant, char* buf, std::size_t& length)
{
    if (!std::isfinite(value) || value == 0 || significant < 1 || significant > 15)
        return false;
    const double magnitude = std::fabs(value);
    // The power of ten from the power of two, at most one too small.
    int binaryExponent = 0;
    std::frexp(magnitude, &binaryExponent);
    int exponent = static_cast<int>(std::floor((binaryExponent - 1) * 0.30102999566398120));
    const double low = kPowerOfTen[significant - 1];
    const double high = kPowerOfTen[significant];
    double scaled;
    std::uint64_t rounded = 0;
    for (int attempt = 0;; ++attempt) {
        if (attempt == 3 || !roundScaled(magnitude, significant - 1 - exponent, scaled, rounded))
            return false;
        if (scaled >= high)
            ++exponent;
        else if (scaled < low)
            --exponent;
        else
            break;
    }
    if (static_cast<double>(rounded) >= high) {  // 9.99...5 rounded up to the next power
        rounded /= 10;
        ++exponent;
    }
    char digits[32];
    char* end = digits + sizeof digits;
    const char* begin = writeDigits(rounded, significant, end);
    // The significant digits without trailing zeros.
    const char* last = end;
    while (last > begin + 1 && last[-1] == '0')
        --last;
    char* out = buf;
    if (std::signbit(value))
        *out++ = '-';
    if (exponent >= -4 && exponent < significant) {
        if (exponent >= 0) {
            const char* point = begin + exponent + 1;
            out = std::copy(begin, point, out);
            if (last > point) {
                *out++ = '.';
                out = std::copy(point, last, out);
            }
        } else {
            *out++ = '0';
            *out++ = '.';
            out = std::fill_n(out, -exponent - 1, '0');
            out = std::copy(begin, last, out);
        }
    } else {
        *out++ = *begin;
        if (last > begin + 1) {
            *out++ = '.';
            out = std::copy(begin + 1, last, out);
        }
        *out++ = 'e';
        *out++ = exponent < 0 ? '-' : '+';
        char exponentDigits[8];
        char* exponentEnd = exponentDigits + sizeof exponentDigits;
        const char* exponentBegin = writeDigits(static_cast<std::uint64_t>(std::abs(exponent)), 2, exponentEnd);
        out = std::copy(exponentBegin, static_cast<const char*>(exponentEnd), out);
    }
    length = static_cast<std::size_t>(out - buf);
    return true;
}

constexpr std::size_t kFixedBuffer = 400;  // any double in fixed notation (up to 309 integer digits)
constexpr std::size_t kGeneralBuffer = 64;

// The text of each kind of figure in buf, its length returned; "?" when the
// library cannot write it.
std::size_t intText(long long value, char* buf)
{
    return static_cast<std::size_t>(std::to_chars(buf, buf + 32, value).ptr - buf);
}

// What the library's to_chars writes, or "?" when it cannot.
std::size_t libraryText(double value, std::chars_format format, int precision, char* buf, std::size_t size)
{
    const auto r = std::to_chars(buf, buf + size, value, format, precision);
    if (r.ec != std::errc()) {
        buf[0] = '?';
        return 1;
    }
    return static_cast<std::size_t>(r.ptr - buf);
}

// Most report figures take the fast exact path; the library's to_chars
// formats what it leaves (midpoints, very large or small values).
std::size_t fixedText(double value, int decimals, char* buf)
{
    std::size_t length = 0;
    return fastFixed(value, decimals, buf, length)
               ? length
               : libraryText(value, std::chars_format::fixed, decimals, buf, kFixedBuffer);
}

std::size_t generalText(double value, int significant, char* buf)
{
    std::size_t length = 0;
    return fastGeneral(value, significant, buf, length)
               ? length
               : libraryText(value, std::chars_format::general, significant, buf, kGeneralBuffer);
}

}  // namespace

std::string formatInt(long long value, int width)
{
    char buf[32];
    return padLeft(std::string_view(buf, intText(value, buf)), width);
}

std::string formatFixed(double value, int width, int decimals)
{
    char buf[kFixedBuffer];
    return padLeft(std::string_view(buf, fixedText(value, decimals, buf)), width);
}

std::string formatGeneral(double value, int width, int significant)
{
    char buf[kGeneralBuffer];
    return padLeft(std::string_view(buf, generalText(value, significant, buf)), width);
}

bool readFileBytes(const std::filesystem::path& path, std::string& bytes, int* error)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        if (error)
            *error = errno;
        return false;
    }
    bytes.clear();
    std::error_code ec;
    const auto size = std::filesystem::file_size(path, ec);
    if (!ec && size < (std::uintmax_t{1} << 30))
        bytes.reserve(static_cast<std::size_t>(size));
    char buf[65536];
    std::size_t got;
    errno = 0;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, got);
    const bool ok = !std::ferror(f);
    if (!ok && error)
        *error = errno != 0 ? errno : EIO;
    std::fclose(f);
    return ok;
}

std::string unreadableFileText(const std::filesystem::path& path, int error)
{
    const std::string why = error == ENOENT ? "файл не найден" : error == EISDIR ? "это папка, а не файл"
                                                                                 : fileErrorText(error);
    return "Невозможно прочитать файл \"" + path.string() + "\": " + why;
}

bool readTextFile(const std::filesystem::path& path, std::string& utf8)
{
    std::string bytes;
    if (!readFileBytes(path, bytes))
        return false;
    utf8 = cp1251ToUtf8(bytes);
    return true;
}

bool writeFileBytes(const std::filesystem::path& path, std::string_view bytes)
{
    return replaceFileSafely(path, bytes);
}

bool TextFileWriter::open(const std::filesystem::path& path, FileSet* set)
{
    close();
    failed_ = false;
    buffer_.clear();
    set_ = set;
    if (file_.create(path))
        return true;
    // Whether the run can go on without the file is its caller's to say.
    set_ = nullptr;
    return false;
}

void TextFileWriter::openInMemory()
{
    close();
    failed_ = false;
    buffer_.clear();
    inMemory_ = true;
}

void TextFileWriter::writeBytes(std::string_view bytes)
{
    if (!isOpen())
        return;
    buffer_.append(bytes);
    flushIfFull();
}

std::string TextFileWriter::takeBytes()
{
    std::string bytes = std::move(buffer_);
    buffer_.clear();
    return bytes;
}

TextFileWriter& TextFileWriter::operator<<(std::string_view utf8)
{
    if (!isOpen())
        return *this;
    bool ascii = true;
    for (char c : utf8)
        if (static_cast<unsigned char>(c) >= 0x80) {
            ascii = false;
            break;
        }
    if (ascii)
        buffer_.append(utf8);
    else
        buffer_ += utf8ToCp1251(utf8);
    flushIfFull();
    return *this;
}

void TextFileWriter::flushIfFull()
{
    if (file_.isOpen() && buffer_.size() >= 1 << 16) {
        failed_ |= !file_.write(buffer_);
        buffer_.clear();
    }
}

void TextFileWriter::appendField(const char* text, std::size_t length, int width)
{
    if (!isOpen())
        return;
    if (width > 0 && length < static_cast<std::size_t>(width))
        buffer_.append(static_cast<std::size_t>(width) - length, ' ');
    buffer_.append(text, length);
    flushIfFull();
}

TextFileWriter& TextFileWriter::operator<<(const IntField& field)
{
    char buf[32];
    appendField(buf, intText(field.value, buf), field.width);
    return *this;
}

TextFileWriter& TextFileWriter::operator<<(const FixedField& field)
{
    char buf[kFixedBuffer];
    appendField(buf, fixedText(field.value, field.decimals, buf), field.width);
    return *this;
}

TextFileWriter& TextFileWriter::operator<<(const GeneralField& field)
{
    char buf[kGeneralBuffer];
    appendField(buf, generalText(field.value, field.significant, buf), field.width);
    return *this;
}

TextFileWriter& TextFileWriter::operator<<(char c)
{
    if (isOpen())
        buffer_ += c;
    return *this;
}

void TextFileWriter::endLine()
{
    if (isOpen())
        buffer_ += "\r\n";
}

bool TextFileWriter::close()
{
    if (inMemory_) {
        inMemory_ = false;
        buffer_.clear();
        return true;
    }
    if (!file_.isOpen())
        return !failed_;
    if (!buffer_.empty())
        failed_ |= !file_.write(buffer_);
    buffer_.clear();
    failed_ |= !file_.finish();
    if (set_)
        set_->add(std::move(file_));
    else
        failed_ |= !file_.commit();
    file_.discard();
    set_ = nullptr;
    return !failed_;
}

}  // namespace tarvel
