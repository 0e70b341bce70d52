// A Windows profile ("INI") file, read and written so that a file made on
// Windows reads the same here.
//
// Sections "[Name]" hold "key=value" lines. Section and key names are matched
// without regard to letter case; a value is the text after the first "=" with
// the blanks around it removed, no quotes taken off, and reading it returns at
// most 2047 characters. Comments, blank lines and lines that are no key are kept
// as they are. Writing a key replaces its line in place, or adds it at the end
// of its section (creating the section at the end of the file), so every other
// line survives byte for byte.
//
// Values are written in UTF-8; a line that is not valid UTF-8 is read as
// Windows-1251. Lines may end with CR LF or LF; they are written with CR LF.
// The file is written whole through a temporary file in the same folder that
// then replaces it, so a failed write never leaves a half-written file.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace tarvel::ui {

class IniFile {
public:
    static constexpr int kMaxValueLength = 2047;

    IniFile() = default;
    explicit IniFile(QString path) : path_(std::move(path)) {}
    const QString& path() const { return path_; }

    // Reads the file. False when it is missing, is not a plain file or cannot
    // be read; the contents are then empty.
    bool load();
    // Replaces the contents with the text of a whole file.
    void parse(const QByteArray& bytes);
    // The text of the whole file as save() writes it.
    QByteArray toBytes() const;

    bool contains(const QString& section, const QString& key) const;
    // The value of a key (at most kMaxValueLength characters), or
    // defaultValue when the key is missing.
    QString value(const QString& section, const QString& key,
                  const QString& defaultValue = QString()) const;
    // Sets a key. Line breaks in the value become blanks: a value never
    // spreads over more than its own line.
    void setValue(const QString& section, const QString& key, const QString& value);

    // Writes the whole file. False when it could not be written; the file on
    // disk is then the one before the call, and errorString() says why.
    bool save();
    const QString& errorString() const { return error_; }

private:
    struct Range {
        int header = -1;  // index of the "[section]" line, -1 when none
        int end = 0;      // one past the last line of the section
    };
    Range findSection(const QString& section) const;
    int findKey(const Range& range, const QString& key) const;

    QString path_;
    QList<QByteArray> lines_;  // without line ends
    bool byteOrderMark_ = false;
    QString error_;
};

}  // namespace tarvel::ui
