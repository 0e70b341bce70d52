// The settings file "Vetrasol.ini": read at start, created on the first run,
// written back at exit.
#pragma once

#include <array>

#include <QString>

#include "model/NetworkModel.h"

class QWidget;

namespace tarvel::ui {

// What the window keeps in the settings file besides the calculation settings.
struct WindowSettings {
    QString fontName = QStringLiteral("Courier New");  // the input pane's font
    int fontSize = 9;                                  // points
    int height = 534;
    int width = 716;
    std::array<QString, 3> recentFiles;
    // Which of the keys file1..file3 the file held at start: their menu entries
    // are shown (the separators only with file1).
    std::array<bool, 3> recentKeyPresent{};
};

class SettingsFile {
public:
    explicit SettingsFile(QString path);
    // The working directory at start, "/" and "Vetrasol.ini".
    static QString defaultPath();
    const QString& path() const { return path_; }

    // At start: reads the file into the model's settings and into window, or,
    // when there is none, creates it from the values window already holds (the
    // design values) and leaves everything as it is. A file that cannot be
    // created is told with "Невозможно создать файл настроек".
    void load(NetworkModel& model, WindowSettings& window, const QString& programPath,
              QWidget* parent);

    // At exit: writes the settings. When the file has gone, tells the user and
    // returns false (nothing written; the caller then deletes no working file).
    bool save(const NetworkModel& model, const WindowSettings& window, QWidget* parent);

private:
    QString path_;
};

// Deletes Network.err, .out, .rez, .rip and .tok in dir, whatever their letter
// case; missing files are passed over.
void deleteWorkingFiles(const QString& dir);

}  // namespace tarvel::ui
