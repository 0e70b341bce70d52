#include "ui/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFontInfo>

#include "model/CalculationSettings.h"
#include "ui/Form2.h"
#include "ui/PaneFont.h"
#include "ui/TextPane.h"
#include "ui/WindowText.h"

namespace tarvel::ui {

void TForm1::Form1Create(bool unwritableFolderTold, const QString& settingsPath)
{
    settings_ = std::make_unique<SettingsFile>(settingsPath, unwritableFolderTold);
    // The built-in values, which a first run writes into the new file (the
    // font's family and size are those of WindowSettings).
    windowSettings_.height = height();
    windowSettings_.width = width();
    settings_->load(calculation_.settings, windowSettings_, QCoreApplication::applicationFilePath(), this);

    const int size = windowSettings_.fontSize > 0 ? windowSettings_.fontSize : Memo1->font().pointSize();
    const QFont font = paneFont(windowSettings_.fontName, size);
    for (TextPane* pane : allPanes())
        pane->setFont(font);
    resize(windowSettings_.width, windowSettings_.height);  // the minimum size still applies

    QAction* entries[3] = {N30, N31, N32};
    for (std::size_t k = 0; k < 3; ++k) {
        if (!windowSettings_.recentKeyPresent[k])
            continue;
        RecentFiles[k] = windowSettings_.recentFiles[k];
        entries[k]->setText(menuCaption(RecentFiles[k]));
        entries[k]->setVisible(true);
    }
    if (windowSettings_.recentKeyPresent[0]) {
        N28->setVisible(true);
        N29->setVisible(true);
    }
}

void TForm1::Form1Close()
{
    // The family is the one the settings named, or the user's choice.
    const QFont font = Memo1->font();
    windowSettings_.fontSize = font.pointSize() > 0 ? font.pointSize() : QFontInfo(font).pointSize();
    windowSettings_.height = height();
    windowSettings_.width = width();
    windowSettings_.recentFiles = RecentFiles;
    if (settings_->save(calculation_.settings, windowSettings_, this) && calculation_.settings.DelFile)
        deleteWorkingFiles(QDir::currentPath());
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // "Выход", the title bar's control and the window manager's Alt+F4 all
    // come here, and all guard the unsaved input alike.
    if (!AskSaveChanges()) {
        event->ignore();
        return;
    }
    Form1Close();
    event->accept();
}

void TForm1::createParametersDialog()
{
    if (!Form2)
        Form2 = new TForm2(calculation_.settings, this);
}

void TForm1::editParameters()
{
    createParametersDialog();
    Form2->openModal();
}

}  // namespace tarvel::ui
