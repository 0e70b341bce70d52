#include "ui/SettingsFile.h"

#include <QDir>

namespace tarvel::ui {

// Placeholder until the settings file lands.
SettingsFile::SettingsFile(QString path) : path_(std::move(path)) {}
QString SettingsFile::defaultPath() { return QDir::currentPath() + QStringLiteral("/Vetrasol.ini"); }
void SettingsFile::load(NetworkModel&, WindowSettings&, const QString&, QWidget*) {}
bool SettingsFile::save(const NetworkModel&, const WindowSettings&, QWidget*) { return true; }
void deleteWorkingFiles(const QString&) {}

}  // namespace tarvel::ui
