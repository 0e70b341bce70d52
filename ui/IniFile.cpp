#include "ui/IniFile.h"

#include <string_view>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringDecoder>

#include "model/TextFile.h"

namespace tarvel::ui {

namespace {

const QByteArray kByteOrderMark("\xEF\xBB\xBF");

// One line as UTF-8 when it is valid UTF-8, otherwise as Windows-1251 (the
// files written by the Windows build).
QString decodeLine(const QByteArray& raw)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(raw);
    if (!utf8.hasError())
        return text;
    return QString::fromStdString(
        cp1251ToUtf8(std::string_view(raw.constData(), static_cast<std::size_t>(raw.size()))));
}

enum class LineKind { Other, Section, Key };

struct ParsedLine {
    LineKind kind = LineKind::Other;
    QString name;   // section or key name
    QString value;  // key value
};

ParsedLine parseLine(const QByteArray& raw)
{
    ParsedLine line;
    const QString text = decodeLine(raw).trimmed();
    if (text.isEmpty() || text.startsWith(QLatin1Char(';')))
        return line;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        line.kind = LineKind::Section;
        line.name = (close < 0 ? text.mid(1) : text.mid(1, close - 1)).trimmed();
        return line;
    }
    const qsizetype eq = text.indexOf(QLatin1Char('='));
    if (eq <= 0)
        return line;
    line.name = text.left(eq).trimmed();
    if (line.name.isEmpty())
        return line;
    line.kind = LineKind::Key;
    line.value = text.mid(eq + 1).trimmed();
    return line;
}

bool sameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool isBlank(const QByteArray& raw)
{
    return raw.trimmed().isEmpty();
}

}  // namespace

bool IniFile::load()
{
    lines_.clear();
    byteOrderMark_ = false;
    const QFileInfo info(path_);
    if (!info.exists() || !info.isFile()) {
        error_ = QStringLiteral("no file");
        return false;
    }
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) {
        error_ = file.errorString();
        return false;
    }
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError) {
        error_ = file.errorString();
        return false;
    }
    parse(bytes);
    return true;
}

void IniFile::parse(const QByteArray& bytes)
{
    lines_.clear();
    QByteArray text = bytes;
    byteOrderMark_ = text.startsWith(kByteOrderMark);
    if (byteOrderMark_)
        text.remove(0, kByteOrderMark.size());
    if (text.isEmpty())
        return;
    lines_ = text.split('\n');
    if (lines_.last().isEmpty())  // the file ended with a line end
        lines_.removeLast();
    for (QByteArray& line : lines_)
        if (line.endsWith('\r'))
            line.chop(1);
}

QByteArray IniFile::toBytes() const
{
    QByteArray out;
    if (byteOrderMark_)
        out += kByteOrderMark;
    for (const QByteArray& line : lines_) {
        out += line;
        out += "\r\n";
    }
    return out;
}

IniFile::Range IniFile::findSection(const QString& section) const
{
    Range range;
    for (int i = 0; i < lines_.size(); ++i) {
        const ParsedLine line = parseLine(lines_[i]);
        if (line.kind != LineKind::Section)
            continue;
        if (range.header >= 0) {
            range.end = i;
            return range;
        }
        if (sameName(line.name, section))
            range.header = i;
    }
    range.end = static_cast<int>(lines_.size());
    return range;
}

int IniFile::findKey(const Range& range, const QString& key) const
{
    if (range.header < 0)
        return -1;
    for (int i = range.header + 1; i < range.end; ++i) {
        const ParsedLine line = parseLine(lines_[i]);
        if (line.kind == LineKind::Key && sameName(line.name, key))
            return i;
    }
    return -1;
}

bool IniFile::contains(const QString& section, const QString& key) const
{
    return findKey(findSection(section), key) >= 0;
}

QString IniFile::value(const QString& section, const QString& key, const QString& defaultValue) const
{
    const int i = findKey(findSection(section), key);
    if (i < 0)
        return defaultValue;
    return parseLine(lines_[i]).value.left(kMaxValueLength);
}

void IniFile::setValue(const QString& section, const QString& key, const QString& value)
{
    QString clean = value;
    clean.replace(QLatin1Char('\r'), QLatin1Char(' '));
    clean.replace(QLatin1Char('\n'), QLatin1Char(' '));

    const Range range = findSection(section);
    const int existing = findKey(range, key);
    if (existing >= 0) {
        // Keep the key as the file spells it.
        const QString name = parseLine(lines_[existing]).name;
        lines_[existing] = (name + QLatin1Char('=') + clean).toUtf8();
        return;
    }
    const QByteArray line = (key + QLatin1Char('=') + clean).toUtf8();
    if (range.header < 0) {
        lines_.append((QLatin1Char('[') + section + QLatin1Char(']')).toUtf8());
        lines_.append(line);
        return;
    }
    // After the last non-blank line of the section, so that blank lines before
    // the next section stay where they are.
    int at = range.header + 1;
    for (int i = range.header + 1; i < range.end; ++i)
        if (!isBlank(lines_[i]))
            at = i + 1;
    lines_.insert(at, line);
}

bool IniFile::save()
{
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) {
        error_ = file.errorString();
        return false;
    }
    const QByteArray bytes = toBytes();
    if (file.write(bytes) != bytes.size()) {
        error_ = file.errorString();
        file.cancelWriting();
        return false;
    }
    if (!file.commit()) {
        error_ = file.errorString();
        return false;
    }
    error_.clear();
    return true;
}

}  // namespace tarvel::ui
