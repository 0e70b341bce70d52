// Reading and writing the text of a pane: working files and documents are
// Windows-1251 on disk. A file that cannot be read or written is told to the
// user in a message box over the window given.
#pragma once

#include <string>

#include <QString>

class QWidget;

namespace tarvel::ui {

class TextPane;

// Reads a file whole; tells the user and returns false when it cannot.
bool readPaneFile(QWidget* window, const QString& fileName, std::string& bytes);
// Loads a Windows-1251 file into a pane, which is then unmodified; tells the
// user and returns false when the file cannot be read.
bool loadPane(QWidget* window, TextPane* pane, const QString& fileName);
// Writes a pane to a file in Windows-1251 without ever leaving a cut-off
// file behind; tells the user and returns false when it cannot.
bool savePane(QWidget* window, const TextPane* pane, const QString& fileName);
// Tells that a file could not be written, with the reason when known.
void tellFileNotCreated(QWidget* window, const QString& fileName, const QString& reason = QString());

}  // namespace tarvel::ui
