#include "ui/SettingsFile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <string>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include "model/TextFile.h"
#include "model/WorkingFiles.h"
#include "ui/Dialogs.h"
#include "ui/IniFile.h"

namespace tarvel::ui {

namespace {

const QString kFiles = QStringLiteral("Files");
const QString kParametr = QStringLiteral("Parametr");

// What a key gives when it is missing or cannot be read.
const QString kDefaultFont = QStringLiteral("MS Scan Serif");
constexpr float kDefaultPrecision = 0.01f;
constexpr int32_t kDefaultIteraz = 10;
constexpr int kDefaultHeight = 550;
constexpr int kDefaultWidth = 750;
constexpr int kDefaultFontSize = 10;

// Window sizes beyond this are no size a screen has: the value is taken as
// unreadable.
constexpr int kLargestWindowSide = 100000;
constexpr int kLargestFontSize = 1000;

QString recentKey(int k)
{
    return QStringLiteral("file%1").arg(k + 1);
}

QLocale userLocale()
{
    QLocale locale;
    locale.setNumberOptions(locale.numberOptions() | QLocale::RejectGroupSeparator);
    return locale;
}

QString withUserDecimalPoint(const std::string& text)
{
    QString s = QString::fromStdString(text);
    s.replace(QLatin1Char('.'), QLocale().decimalPoint());
    return s;
}

int32_t readInt(const IniFile& ini, const QString& key, int32_t fallback)
{
    if (!ini.contains(kParametr, key))
        return fallback;
    return parseWholeNumber(ini.value(kParametr, key)).value_or(fallback);
}

// A size in pixels or points: a negative one, or one beyond the largest that
// makes sense, takes the default. Sizes below the window's minimum are the
// window's affair.
int readSize(const IniFile& ini, const QString& key, int fallback, int lowest, int highest)
{
    const int32_t value = readInt(ini, key, fallback);
    return value < lowest || value > highest ? fallback : value;
}

float readFloat(const IniFile& ini, const QString& key, float fallback)
{
    if (!ini.contains(kParametr, key))
        return fallback;
    const std::optional<long double> value = parseUserNumber(ini.value(kParametr, key));
    return value ? static_cast<float>(*value) : fallback;
}

// The values of the key "Method", in the order of CalculationMethod.
const QString kMethodNames[] = {QStringLiteral("auto"), QStringLiteral("exact"), QStringLiteral("sparse")};

// An unknown method is the automatic choice.
CalculationMethod readMethod(const IniFile& ini)
{
    const QString value = ini.value(kParametr, QStringLiteral("Method")).trimmed();
    for (int i = 0; i < 3; ++i)
        if (value.compare(kMethodNames[i], Qt::CaseInsensitive) == 0)
            return static_cast<CalculationMethod>(i);
    return CalculationMethod::Auto;
}

QString methodName(CalculationMethod method)
{
    return kMethodNames[static_cast<int>(method)];
}

// Reads every key in the order the file has always been read in, the keys
// added later after them.
void readSettings(const IniFile& ini, CalculationSettings& calculation, WindowSettings& window)
{
    const QString font = ini.value(kParametr, QStringLiteral("Font"));
    window.fontName = font.isEmpty() ? kDefaultFont : font;
    calculation.precision = readFloat(ini, QStringLiteral("precision"), kDefaultPrecision);
    // A limit beyond the most a run takes, from a file written by hand or
    // by an older version, is taken as that most.
    calculation.iteraz = std::min(readInt(ini, QStringLiteral("iteraz"), kDefaultIteraz), kMostIterations);
    window.height = readSize(ini, QStringLiteral("Height"), kDefaultHeight, 0, kLargestWindowSide);
    window.width = readSize(ini, QStringLiteral("Width"), kDefaultWidth, 0, kLargestWindowSide);
    window.fontSize = readSize(ini, QStringLiteral("FontSize"), kDefaultFontSize, 1, kLargestFontSize);
    calculation.DelFile = readInt(ini, QStringLiteral("DelFile"), 0) != 0;
    calculation.qLimits = readInt(ini, QStringLiteral("QLimits"), 0) != 0;
    calculation.method = readMethod(ini);
    const std::optional<int32_t> left = parseWholeNumber(ini.value(kParametr, QStringLiteral("Left")));
    const std::optional<int32_t> top = parseWholeNumber(ini.value(kParametr, QStringLiteral("Top")));
    if (left && top)
        window.position = QPoint(*left, *top);
    for (int k = 0; k < 3; ++k) {
        window.recentKeyPresent[k] = ini.contains(kFiles, recentKey(k));
        window.recentFiles[k] = window.recentKeyPresent[k] ? ini.value(kFiles, recentKey(k)) : QString();
    }
}

QString goneMessage()
{
    return QStringLiteral("Файл настроек \"Vetrasol.ini\" был удален или перемещен.\n"
                          "Настройки не сохранены.");
}

}  // namespace

SettingsFile::SettingsFile(QString path, bool unwritableFolderTold)
    : path_(std::move(path)), unwritableFolderTold_(unwritableFolderTold)
{
}

QString SettingsFile::defaultPath()
{
    return QDir::currentPath() + QStringLiteral("/Vetrasol.ini");
}

void SettingsFile::load(CalculationSettings& calculation, WindowSettings& window, const QString& programPath,
                        QWidget* parent)
{
    if (!QFileInfo::exists(path_)) {
        // First run: the file gets the built-in defaults; the working values stay.
        IniFile ini(path_);
        ini.setValue(kFiles, QStringLiteral("main"), programPath);
        ini.setValue(kParametr, QStringLiteral("Font"), window.fontName);
        ini.setValue(kParametr, QStringLiteral("FontSize"), QString::number(window.fontSize));
        ini.setValue(kParametr, QStringLiteral("precision"),
                     withUserDecimalPoint(formatGeneral(0.01, 0, 15)));
        ini.setValue(kParametr, QStringLiteral("iteraz"), QString::number(10));
        ini.setValue(kParametr, QStringLiteral("Height"), QString::number(window.height));
        ini.setValue(kParametr, QStringLiteral("Width"), QString::number(window.width));
        ini.setValue(kParametr, QStringLiteral("DelFile"), QStringLiteral("0"));
        fileAtStart_ = ini.save();
        if (!fileAtStart_ && !unwritableFolderTold_)
            dialogs().message(parent, QStringLiteral("Невозможно создать файл настроек"));
        return;
    }
    fileAtStart_ = true;
    IniFile ini(path_);
    ini.load();  // a file that cannot be read reads as one without keys
    readSettings(ini, calculation, window);
}

bool SettingsFile::save(const CalculationSettings& calculation, const WindowSettings& window, QWidget* parent)
{
    IniFile ini(path_);
    if (!ini.load()) {
        // A file that was never created is no news to a user who was told why.
        if (!(unwritableFolderTold_ && !fileAtStart_))
            dialogs().message(parent, goneMessage());
        return false;
    }
    for (int k = 0; k < 3; ++k)
        if (!window.recentFiles[k].isEmpty())
            ini.setValue(kFiles, recentKey(k), window.recentFiles[k]);
    ini.setValue(kParametr, QStringLiteral("Font"), window.fontName);
    ini.setValue(kParametr, QStringLiteral("FontSize"), QString::number(window.fontSize));
    ini.setValue(kParametr, QStringLiteral("precision"), formatStoredPrecision(calculation.precision));
    ini.setValue(kParametr, QStringLiteral("iteraz"), QString::number(calculation.iteraz));
    ini.setValue(kParametr, QStringLiteral("Height"), QString::number(window.height));
    ini.setValue(kParametr, QStringLiteral("Width"), QString::number(window.width));
    ini.setValue(kParametr, QStringLiteral("DelFile"), calculation.DelFile ? QStringLiteral("1") : QStringLiteral("0"));
    ini.setValue(kParametr, QStringLiteral("QLimits"), calculation.qLimits ? QStringLiteral("1") : QStringLiteral("0"));
    ini.setValue(kParametr, QStringLiteral("Method"), methodName(calculation.method));
    if (window.position) {
        ini.setValue(kParametr, QStringLiteral("Left"), QString::number(window.position->x()));
        ini.setValue(kParametr, QStringLiteral("Top"), QString::number(window.position->y()));
    }
    if (!ini.save()) {
        dialogs().message(parent, QStringLiteral("Невозможно записать файл настроек \"Vetrasol.ini\".\n"
                                                 "Настройки не сохранены.\n") +
                                      ini.errorString());
        return false;
    }
    return true;
}

void deleteWorkingFiles(const QString& dir)
{
    static const QStringList names = {
        QString::fromLatin1(kErrorFile), QString::fromLatin1(kEchoFile), QString::fromLatin1(kResultsFile),
        QString::fromLatin1(kDistrictFile), QString::fromLatin1(kCurrentsFile),
    };
    const QDir folder(dir);
    const QFileInfoList entries =
        folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        for (const QString& name : names) {
            if (entry.fileName().compare(name, Qt::CaseInsensitive) == 0) {
                QFile::remove(entry.absoluteFilePath());
                break;
            }
        }
    }
}

std::optional<int32_t> parseWholeNumber(const QString& text)
{
    const QString s = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-'))) {
        negative = s[i] == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (s.mid(i, 2).compare(QLatin1String("0x"), Qt::CaseInsensitive) == 0) {
        base = 16;
        i += 2;
    } else if (i < s.size() && s[i] == QLatin1Char('$')) {
        base = 16;
        i += 1;
    }
    if (i >= s.size())
        return std::nullopt;
    uint64_t magnitude = 0;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (base == 16 && c >= u'a' && c <= u'f')
            digit = c - u'a' + 10;
        else if (base == 16 && c >= u'A' && c <= u'F')
            digit = c - u'A' + 10;
        else
            return std::nullopt;
        magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
        if (magnitude > 0xFFFFFFFFull)
            return std::nullopt;
    }
    if (base == 16) {
        // A hexadecimal value is a bit pattern: $FFFFFFFF is -1.
        const auto pattern = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
        return negative ? static_cast<int32_t>(0u - static_cast<uint32_t>(pattern)) : pattern;
    }
    if (negative) {
        if (magnitude > 0x80000000ull)
            return std::nullopt;
        return static_cast<int32_t>(-static_cast<int64_t>(magnitude));
    }
    if (magnitude > 0x7FFFFFFFull)
        return std::nullopt;
    return static_cast<int32_t>(magnitude);
}

std::optional<long double> parseUserNumber(const QString& text)
{
    const QLocale locale = userLocale();
    bool ok = false;
    const double value = locale.toDouble(text, &ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        return std::nullopt;
    // The same text once more in extended precision, so that a value typed as
    // 0.0099 compares as 0.0099 and not as its nearest double.
    QString plain = text.trimmed();
    plain.replace(locale.decimalPoint(), QStringLiteral("."));
    plain.replace(locale.negativeSign(), QStringLiteral("-"));
    plain.replace(locale.positiveSign(), QString());
    plain.replace(locale.exponential(), QStringLiteral("e"), Qt::CaseInsensitive);
    const std::string ascii = plain.toStdString();
    long double extended = 0;
    const auto r = std::from_chars(ascii.data(), ascii.data() + ascii.size(), extended);
    if (r.ec == std::errc() && r.ptr == ascii.data() + ascii.size())
        return extended;
    return static_cast<long double>(value);
}

QString formatUserFixed(double value, int decimals, int significant)
{
    // The exact decimal expansion of the value, as "digits" with the decimal
    // point after `point` of them.
    char buf[800];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::fixed, 400);
    if (r.ec != std::errc())
        return QStringLiteral("?");
    std::string expansion(buf, r.ptr);
    const std::size_t dot = expansion.find('.');
    std::string digits = expansion.substr(0, dot) + expansion.substr(dot + 1);
    int point = static_cast<int>(dot);

    const std::size_t first = digits.find_first_not_of('0');
    if (first != std::string::npos) {
        // Keep the digits up to the tighter of the two limits, round at the next.
        const int lastKept = std::min(point + decimals - 1, static_cast<int>(first) + significant - 1);
        const bool roundUp = lastKept + 1 < static_cast<int>(digits.size()) && digits[lastKept + 1] >= '5';
        for (std::size_t i = static_cast<std::size_t>(std::max(lastKept + 1, 0)); i < digits.size(); ++i)
            digits[i] = '0';
        if (roundUp) {
            int i = lastKept;
            for (; i >= 0 && digits[i] == '9'; --i)
                digits[i] = '0';
            if (i >= 0) {
                ++digits[i];
            } else {
                digits.insert(digits.begin(), '1');
                ++point;
            }
        }
    }
    std::string integer = digits.substr(0, point);
    integer.erase(0, std::min(integer.find_first_not_of('0'), integer.size() - 1));
    const std::string fraction = digits.substr(point, decimals);
    const bool zero = (integer + fraction).find_first_not_of('0') == std::string::npos;

    QString out = QString::fromStdString(integer);
    if (value < 0 && !zero)
        out.prepend(QLocale().negativeSign());
    if (decimals > 0)
        out += QLocale().decimalPoint() + QString::fromStdString(fraction);
    return out;
}

QString formatStoredPrecision(float precision)
{
    const long double rounded =
        std::floor(static_cast<long double>(precision) * 100.0L + 0.5L) * 0.01L;
    return withUserDecimalPoint(formatGeneral(static_cast<double>(rounded), 0, 15));
}

}  // namespace tarvel::ui
