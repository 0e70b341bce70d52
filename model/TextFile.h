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
#include <vector>

#include "model/AsideFile.h"

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
// The text of a file a user gives a study (an outage list, limits, a
// profile, a scenario table), one rule for all: a UTF-8 byte-order mark
// marks UTF-8 text and is dropped; other text is taken as UTF-8 when it
// holds Cyrillic in UTF-8, else as Windows-1251.
std::string userFileText(std::string_view bytes);
// The lines of a text: LF, CR LF or a lone CR ends a line; a last line
// without an end is a line, an empty text has none. A UTF-8 byte-order mark
// at the start is dropped.
std::vector<std::string_view> textLines(std::string_view text);

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

// Reads a whole file as bytes. False when it cannot be opened or read;
// error, when given, then gets why (an errno value).
bool readFileBytes(const std::filesystem::path& path, std::string& bytes, int* error = nullptr);
// Why a file cannot be read, in the user's words: "Невозможно прочитать файл
// \"PATH\": файл не найден" (or "это папка", "нет прав доступа", ...).
std::string unreadableFileText(const std::filesystem::path& path, int error);
// Reads a whole Windows-1251 file into UTF-8 text. False when it cannot be read.
bool readTextFile(const std::filesystem::path& path, std::string& utf8);
// Replaces a file with the given bytes (written aside, renamed into place).
// False when it cannot be created or written.
bool writeFileBytes(const std::filesystem::path& path, std::string_view bytes);

// Writes one Windows-1251 text file: text is given in UTF-8, line ends are
// written as CR LF. open() creates the file's temporary at once, as a report
// stage needs to know whether it may write; close() puts the file in place,
// or hands it to the set of its run, which puts it in place with the others.
// A file that could not be written in full never replaces the earlier one.
class TextFileWriter {
public:
    TextFileWriter() = default;
    explicit TextFileWriter(const std::filesystem::path& path) { open(path); }
    ~TextFileWriter() { close(); }
    TextFileWriter(const TextFileWriter&) = delete;
    TextFileWriter& operator=(const TextFileWriter&) = delete;

    bool open(const std::filesystem::path& path, FileSet* set = nullptr);
    // Why the file could not be created or written (an errno value), or 0.
    int error() const { return file_.error(); }
    // Keeps the text in memory instead, to be taken by takeBytes(): a part
    // of a file formatted on another core and written in its place later.
    void openInMemory();
    bool isOpen() const { return file_.isOpen() || inMemory_; }
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
    // Flushes and closes; false when anything could not be written (the
    // earlier file then stays).
    bool close();

private:
    void appendField(const char* text, std::size_t length, int width);
    void flushIfFull();

    AsideFile file_;
    FileSet* set_ = nullptr;
    bool inMemory_ = false;
    std::string buffer_;
    bool failed_ = false;
};

}  // namespace tarvel
