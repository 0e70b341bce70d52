#include "ui/MainWindow.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFontInfo>

#include "model/CalculationSettings.h"
#include "ui/ContingencyTab.h"
#include "ui/Dialogs.h"
#include "ui/DocumentController.h"
#include "ui/Form2.h"
#include "ui/LowerPane.h"
#include "ui/PaneFont.h"
#include "ui/ReportTabs.h"
#include "ui/TextPane.h"

namespace tarvel::ui {

void TForm1::loadSettings(bool unwritableFolderTold, const QString& settingsPath)
{
    settings_ = std::make_unique<SettingsFile>(settingsPath, unwritableFolderTold);
    // The built-in values, which a first run writes into the new file (the
    // font's family and size are those of WindowSettings).
    windowSettings_.height = height();
    windowSettings_.width = width();
    settings_->load(calculation_.settings, windowSettings_, QCoreApplication::applicationFilePath(), this);

    const int size = windowSettings_.fontSize > 0 ? windowSettings_.fontSize : inputPane()->font().pointSize();
    const QFont font = paneFont(windowSettings_.fontName, size);
    for (TextPane* pane : reportTabs_->textPanes())
        pane->setFont(font);
    lowerPane_->pane()->setFont(font);
    resize(windowSettings_.width, windowSettings_.height);  // the minimum size still applies
    document_->restoreRecentFiles(windowSettings_.recentFiles, windowSettings_.recentKeyPresent);
}

void TForm1::saveSettings()
{
    // The family is the one the settings named, or the user's choice.
    const QFont font = inputPane()->font();
    windowSettings_.fontSize = font.pointSize() > 0 ? font.pointSize() : QFontInfo(font).pointSize();
    windowSettings_.height = height();
    windowSettings_.width = width();
    windowSettings_.position = pos();
    windowSettings_.recentFiles = document_->recentFiles();
    if (settings_->save(calculation_.settings, windowSettings_, this) && calculation_.settings.DelFile)
        deleteWorkingFiles(QDir::currentPath());
}

void TForm1::closeEvent(QCloseEvent* event)
{
    // "Выход", the title bar's control and the window manager's Alt+F4 all
    // come here, and all guard the unsaved input alike.
    if (!mayStopStudy(QStringLiteral("закрыть окно")) || !document_->maybeSave()) {
        event->ignore();
        return;
    }
    saveSettings();
    event->accept();
}

bool TForm1::mayStopStudy(const QString& then)
{
    if (!contingencyTab_->running())
        return true;
    return dialogs().question(this, QStringLiteral("Анализ отключений"),
                              QStringLiteral("Идет анализ отключений (N-1). Прервать его и %1?").arg(then),
                              QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

void TForm1::createParametersDialog()
{
    if (!parametersDialog_)
        parametersDialog_ = new TForm2(calculation_.settings, this);
}

void TForm1::editParameters()
{
    createParametersDialog();
    parametersDialog_->openModal();
}

}  // namespace tarvel::ui
