#include "model/TextFile.h"

#include <array>
#include <charconv>
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

}  // namespace

std::string cp1251ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 2);
    for (char ch : bytes)
        appendUtf8(out, byteToCodePoint(static_cast<unsigned char>(ch)));
    return out;
}

std::string utf8ToCp1251(std::string_view utf8, std::size_t* unmapped)
{
    std::string out;
    out.reserve(utf8.size());
    std::size_t bad = 0;
    std::size_t i = 0;
    while (i < utf8.size()) {
        const unsigned char b0 = static_cast<unsigned char>(utf8[i]);
        if (b0 < 0x80) {
            out += static_cast<char>(b0);
            ++i;
            continue;
        }
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

std::string toCrLf(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r') {
            out += "\r\n";
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else if (c == '\n') {
            out += "\r\n";
        } else {
            out += c;
        }
    }
    return out;
}

std::string padLeft(std::string_view text, int width)
{
    std::string out;
    if (width > 0 && static_cast<int>(text.size()) < width)
        out.assign(static_cast<std::size_t>(width) - text.size(), ' ');
    out += text;
    return out;
}

std::string formatInt(long long value, int width)
{
    char buf[32];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return padLeft(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), width);
}

std::string formatFixed(double value, int width, int decimals)
{
    // Large enough for any double in fixed notation (up to 309 integer digits).
    char buf[400];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc())
        return padLeft("?", width);
    return padLeft(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), width);
}

std::string formatGeneral(double value, int width, int significant)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, significant);
    if (r.ec != std::errc())
        return padLeft("?", width);
    return padLeft(std::string_view(buf, static_cast<std::size_t>(r.ptr - buf)), width);
}

bool readFileBytes(const std::filesystem::path& path, std::string& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bytes.clear();
    char buf[65536];
    std::size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, got);
    const bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
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
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}

bool TextFileWriter::open(const std::filesystem::path& path)
{
    close();
    failed_ = false;
    buffer_.clear();
    file_ = std::fopen(path.c_str(), "wb");
    return file_ != nullptr;
}

TextFileWriter& TextFileWriter::operator<<(std::string_view utf8)
{
    if (!file_)
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
    if (buffer_.size() >= 1 << 16) {
        failed_ |= std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size();
        buffer_.clear();
    }
    return *this;
}

TextFileWriter& TextFileWriter::operator<<(char c)
{
    if (file_)
        buffer_ += c;
    return *this;
}

void TextFileWriter::endLine()
{
    if (file_)
        buffer_ += "\r\n";
}

bool TextFileWriter::close()
{
    if (!file_)
        return !failed_;
    if (!buffer_.empty())
        failed_ |= std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size();
    buffer_.clear();
    failed_ |= std::fclose(file_) != 0;
    file_ = nullptr;
    return !failed_;
}

}  // namespace tarvel
