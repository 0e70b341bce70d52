// The one place where text meets the disk.
//
// Working files and documents are Windows-1251 with CR LF line ends; the
// program holds text in UTF-8. Numbers are formatted here with "." as the
// decimal point whatever the process locale (the window sets the user's one).
#pragma once

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

namespace tarvel {

// Windows-1251 bytes to UTF-8. Every byte maps to a character (0x98, which the
// code page leaves undefined, maps to U+0098), so nothing is lost.
std::string cp1251ToUtf8(std::string_view bytes);

// UTF-8 to Windows-1251. A character the code page cannot hold, or a byte that
// is not valid UTF-8, becomes '?'; their number is added to *unmapped.
std::string utf8ToCp1251(std::string_view utf8, std::size_t* unmapped = nullptr);

// True when the code point has a Windows-1251 byte.
bool cp1251Has(char32_t codePoint);

// What a file's bytes look like: Windows-1251 text (or plain ASCII), UTF-8
// text with Cyrillic letters or a byte-order mark (every byte sequence valid
// UTF-8, some of it Cyrillic, which Windows-1251 text practically never is,
// or led by the mark that Notepad writes), or not text at all (a NUL byte, or
// more than one control character in a thousand besides tab, line ends, form
// feed and the DOS end-of-file mark).
enum class TextKind { Windows1251, Utf8Cyrillic, Binary };
TextKind guessTextKind(std::string_view bytes);

// The bytes without the UTF-8 byte-order mark that leads them, if any: the
// mark is no character of the text.
std::string_view withoutUtf8Bom(std::string_view bytes);

// Every lone CR and every lone LF becomes CR LF; CR LF pairs stay.
std::string toCrLf(std::string_view text);
// True when every CR is followed by LF and every LF follows a CR: toCrLf
// would return the text unchanged.
bool hasCrLfLineEnds(std::string_view text);

// printf-like formatting, locale-independent ("." as decimal point).
// A value longer than the width is written whole.
std::string formatInt(long long value, int width = 0);                 // %Wd
std::string formatFixed(double value, int width, int decimals);         // %W.Df
std::string formatGeneral(double value, int width, int significant);    // %W.Pg
// Pads text on the left with blanks to width.
std::string padLeft(std::string_view text, int width);

// The same figures written straight into a TextFileWriter, character for
// character as the functions above write them (for the long loops of the
// reports, without a string per figure).
struct IntField {
    long long value;
    int width;
};
struct FixedField {
    double value;
    int width;
    int decimals;
};
struct GeneralField {
    double value;
    int width;
    int significant;
};

// Reads a whole file as bytes. False when it cannot be opened or read.
bool readFileBytes(const std::filesystem::path& path, std::string& bytes);
// Reads a whole Windows-1251 file into UTF-8 text. False when it cannot be read.
bool readTextFile(const std::filesystem::path& path, std::string& utf8);
// Replaces a file with the given bytes. False when it cannot be created or written.
bool writeFileBytes(const std::filesystem::path& path, std::string_view bytes);
// The neighbour a file is written to before it replaces the file ("name.part").
std::filesystem::path partPath(const std::filesystem::path& path);
// Replaces a file by writing a neighbour and renaming it over the file, so
// that a failed write leaves the old file (or none) and never half a file.
bool replaceFileSafely(const std::filesystem::path& path, std::string_view bytes);

// Writes one Windows-1251 text file: text is given in UTF-8, line ends are
// written as CR LF. open() creates or truncates the file at once, as a report
// stage needs to know whether it may write; the text goes out on close().
class TextFileWriter {
public:
    TextFileWriter() = default;
    explicit TextFileWriter(const std::filesystem::path& path) { open(path); }
    ~TextFileWriter() { close(); }
    TextFileWriter(const TextFileWriter&) = delete;
    TextFileWriter& operator=(const TextFileWriter&) = delete;

    bool open(const std::filesystem::path& path);
    // Keeps the text in memory instead, to be taken by takeBytes(): a part
    // of a file formatted on another core and written in its place later.
    void openInMemory();
    bool isOpen() const { return file_ != nullptr || inMemory_; }
    TextFileWriter& operator<<(std::string_view utf8);
    TextFileWriter& operator<<(const char* utf8) { return *this << std::string_view(utf8); }
    TextFileWriter& operator<<(const std::string& utf8) { return *this << std::string_view(utf8); }
    TextFileWriter& operator<<(char c);
    TextFileWriter& operator<<(const IntField& field);
    TextFileWriter& operator<<(const FixedField& field);
    TextFileWriter& operator<<(const GeneralField& field);
    void endLine();  // CR LF
    // Bytes already in Windows-1251 with CR LF (what takeBytes() gave), as
    // they are.
    void writeBytes(std::string_view bytes);
    // The text kept in memory so far, taken away.
    std::string takeBytes();
    // Flushes and closes; false when anything could not be written.
    bool close();

private:
    void appendField(const char* text, std::size_t length, int width);
    void flushIfFull();

    std::FILE* file_ = nullptr;
    bool inMemory_ = false;
    std::string buffer_;
    bool failed_ = false;
};

}  // namespace tarvel
