// Reads the numbers of a ЦДУ text one field at a time.
//
// The text is a stream of numbers separated by white space; line breaks carry
// no meaning. Every read skips white space first and then takes the longest
// piece of text that is a number of the field's kind:
//   integer  [+|-]digits                       "0201" is 201, "5.0" gives 5 and
//                                              leaves ".0" for the next field
//   real     [+|-]mantissa[(e|E)[+|-]digits]    mantissa: "5", "5.", ".5", "5.25"
// Only "." is a decimal point: "10,5" reads 10 and leaves ",5".
// A field is not read when the text is at its end or does not begin with a
// number of that kind; nothing is consumed then.
//
// The file is read in fixed-size chunks and a number is never kept as text, so
// memory stays bounded whatever the input (binary garbage, NUL bytes, no line
// ends, an endless run of digits).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tarvel {

class CduTokenizer {
public:
    // Reads from an open file; the caller keeps it open and closes it.
    explicit CduTokenizer(std::FILE* file);
    // Reads from text held in memory (the text must outlive the tokenizer).
    explicit CduTokenizer(std::string_view text);
    CduTokenizer(const CduTokenizer&) = delete;
    CduTokenizer& operator=(const CduTokenizer&) = delete;

    // An integer field. Digits beyond the 32-bit range saturate: the value is
    // INT32_MAX or INT32_MIN, and all the digits are consumed.
    bool readInt(int32_t& value);

    // A real field, rounded once from its decimal text to single precision.
    // An exponent letter without digits after it ("1e", "1e+", "5.e") is not
    // part of the number: the mantissa is read and the letter is left for the
    // next field, which then is not read. A value too large for a float reads
    // as +-infinity, one too small as +-0.
    bool readReal(float& value);
    // The same field also rounded once from its text to double precision.
    bool readReal(float& value, double& exact);

    // Skips white space; true when nothing but white space is left.
    bool atEnd();

    // 1-based line of the current position (lines end with LF).
    int line() const { return line_; }

    // 1-based column of the current position: bytes since the line's start,
    // which in Windows-1251 text are characters (a tab counts as one).
    long long column() const { return dropped_ + static_cast<long long>(pos_) - lineStart_ + 1; }

    // Up to maxBytes of the text at the current position, stopping at white
    // space; the raw bytes, nothing consumed.
    std::string peekWord(std::size_t maxBytes);

    // True when the file could not be read (an I/O error, not the end of text).
    bool readError() const { return readError_; }

private:
    bool readReal(float& value, double& exact, bool wantExact);
    // What a field read from the bytes at hand gave: read, no number of the
    // field's kind (nothing consumed), or left to the reading byte by byte (a
    // number that runs to the end of the bytes at hand or needs the long
    // rounding; nothing consumed).
    enum class AtHand { Read, NotANumber, Undecided };
    AtHand readIntAtHand(int32_t& value);
    AtHand readRealAtHand(float& value, double& exact, bool wantExact);
    // Byte at offset ahead of the current position, or -1 at the end of text.
    int peek(std::size_t offset = 0);
    void advance();
    void skipSpace();
    bool refill(std::size_t needed);

    static constexpr std::size_t kChunk = 64 * 1024;

    std::FILE* file_ = nullptr;
    std::string buffer_;      // file mode: the chunk being read
    std::string_view text_;   // the bytes available: buffer_ or the whole text
    std::size_t pos_ = 0;
    bool eof_ = false;
    bool readError_ = false;
    int line_ = 1;
    long long dropped_ = 0;    // bytes of the file before buffer_[0]
    long long lineStart_ = 0;  // offset in the whole text where the current line starts
};

}  // namespace tarvel
