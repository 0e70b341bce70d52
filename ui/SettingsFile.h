// The settings file "Vetrasol.ini": read at start, created on the first run,
// written back at exit.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include <QPoint>
#include <QString>

#include "model/CalculationSettings.h"
#include "ui/PaneFont.h"

class QWidget;

namespace tarvel::ui {

// What the window keeps in the settings file besides the calculation settings.
struct WindowSettings {
    QString fontName = builtInPaneFamily();  // the input pane's font as the file names it
    int fontSize = kBuiltInPaneSize;         // points
    int height = 534;
    int width = 716;
    // Where the window's frame stood at the last exit (keys Left and Top,
    // beside the size); none: centred on the screen.
    std::optional<QPoint> position;
    std::array<QString, 3> recentFiles;
    // Which of the keys file1..file3 the file held at start: their menu entries
    // are shown (the separators only with file1).
    std::array<bool, 3> recentKeyPresent{};
};

class SettingsFile {
public:
    // unwritableFolderTold: the user already knows that the file's folder
    // takes no files, so a file that cannot be created at start, or is
    // missing at exit, is not told again.
    explicit SettingsFile(QString path, bool unwritableFolderTold = false);
    // The working directory at start, "/" and "Vetrasol.ini".
    static QString defaultPath();
    const QString& path() const { return path_; }

    // At start: reads the file into the calculation settings and into window, or,
    // when there is none, creates it from the values window already holds (the
    // built-in defaults) and leaves everything as it is. A file that cannot be
    // created is told with "Невозможно создать файл настроек".
    //
    // A key that is missing or cannot be read takes its default (font
    // "MS Scan Serif" of 10 points, 550 x 750, precision 0.01, 10 iterations,
    // no deletion, no reactive limits, the automatic method); so does every
    // key of a file that cannot be read at all.
    void load(CalculationSettings& calculation, WindowSettings& window, const QString& programPath,
              QWidget* parent);

    // At exit: writes the settings, keeping every other line of the file. When
    // the file has gone (or cannot be read, so its other keys would be lost),
    // tells the user and returns false (nothing written; the caller then
    // deletes no working file). A failed write is told too and returns false;
    // the file then stays as it was.
    bool save(const CalculationSettings& calculation, const WindowSettings& window, QWidget* parent);

private:
    QString path_;
    bool unwritableFolderTold_ = false;
    bool fileAtStart_ = false;  // load found the file or created it
};

// Deletes Network.err, .out, .rez, .rip and .tok in dir, whatever their letter
// case; missing files are passed over.
void deleteWorkingFiles(const QString& dir);

// A whole number as the settings file and the parameters dialog take it:
// optional sign, then decimal digits, or hexadecimal digits after "0x", "0X" or
// "$" (up to FFFFFFFF, taken as a 32-bit pattern). Blanks around the number are
// ignored; anything else ("12abc", "1 2", "", a value beyond 32 bits) is no
// number.
std::optional<int32_t> parseWholeNumber(const QString& text);

// A number with the user's decimal separator (QLocale()), in extended
// precision. No group separators; blanks around it ignored; infinities, NaN
// and values beyond the single-precision range are no number.
std::optional<long double> parseUserNumber(const QString& text);

// value in fixed-point notation with `decimals` decimals, first rounded (half
// away from zero, from the exact binary value) to at most `significant`
// significant digits, with the user's decimal separator: 0.01 -> "0.01",
// 12.345 -> "12.30" (2 decimals, 3 digits), 0.01 -> "0.01000" (5 decimals).
QString formatUserFixed(double value, int decimals, int significant);

// The precision as the settings file stores it: rounded to two decimals,
// floor(p * 100 + 0.5) * 0.01 in extended precision, written with up to 15
// significant digits and the user's decimal separator.
QString formatStoredPrecision(float precision);

}  // namespace tarvel::ui
