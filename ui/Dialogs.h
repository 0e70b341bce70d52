// Every modal message box and file or font dialog of the window goes through
// here, so that tests can answer them without a dialog ever blocking.
#pragma once

#include <QFont>
#include <QLocale>
#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

namespace tarvel::ui {

// The caption of the application's own message boxes.
QString applicationTitle();

struct ContingencyRequest;  // ui/ContingencyPage.h
struct ProfileRequest;      // ui/ContingencyPage.h

class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A message box with one OK button and the application title.
    virtual void message(QWidget* parent, const QString& text,
                         QMessageBox::Icon icon = QMessageBox::NoIcon);
    // A question box; returns the button chosen (Cancel/No when closed).
    virtual QMessageBox::StandardButton question(QWidget* parent, const QString& caption,
                                                 const QString& text,
                                                 QMessageBox::StandardButtons buttons);
    // An open dialog; the chosen path, or "" when cancelled. places: folders
    // offered beside the user's own places (the sample networks); folder:
    // where it opens (the working folder when empty).
    virtual QString openFile(QWidget* parent, const QString& title, const QString& filter,
                             const QStringList& places = {}, const QString& folder = {});
    // A save dialog; the chosen path (defaultSuffix added to a name without
    // one), or "" when cancelled. proposed: the file name and folder the
    // dialog opens with. The folder must exist; replacing an existing file,
    // and with confirmNewFile creating a new one, are confirmed through
    // question(), a missing folder is told through message(), and the dialog
    // then opens again.
    virtual QString saveFile(QWidget* parent, const QString& title, const QString& filter,
                             const QString& defaultSuffix, const QString& proposed = {},
                             bool confirmNewFile = true);
    // A font dialog loaded with font; false when cancelled.
    virtual bool chooseFont(QWidget* parent, QFont& font);
    // A number asked with label, proposed as value and kept within min..max
    // with the given decimals; false when cancelled.
    virtual bool askNumber(QWidget* parent, const QString& caption, const QString& label, double& value,
                           double min, double max, int decimals);
    // A line of text asked with label, proposed as value; false when cancelled.
    virtual bool askText(QWidget* parent, const QString& caption, const QString& label, QString& value);
    // The contingency study's options (ui/ContingencyDialog.cpp), loaded with
    // request; false when cancelled.
    virtual bool contingencyOptions(QWidget* parent, ContingencyRequest& request);
    // The options of a run over the load profile profileName: "с анализом
    // отключений (N-1)" with the outages, the limits and the threads, loaded
    // with request; false when cancelled.
    virtual bool profileOptions(QWidget* parent, const QString& profileName, ProfileRequest& request);
};

// Loads the toolkit's own texts (buttons of the message boxes, the file and
// font dialogs, the panes' context menus) in the language of locale; false
// when the toolkit has no translation for it, and its texts stay English.
bool installToolkitTranslation(const QLocale& locale);

// The dialogs in use: the real ones unless a test installed its own.
Dialogs& dialogs();
// Installs a replacement (not owned); nullptr restores the real dialogs.
void setDialogs(Dialogs* replacement);

}  // namespace tarvel::ui
