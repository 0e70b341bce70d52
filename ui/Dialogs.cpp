#include "ui/Dialogs.h"

#include <memory>
#include <utility>

#include <QAbstractButton>

#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QLibraryInfo>
#include <QTranslator>
#include <QUrl>

namespace tarvel::ui {

QString applicationTitle()
{
    return QStringLiteral("Tarvel");
}

namespace {

// The buttons in the program's own words, beside its Russian questions,
// whether or not the toolkit's translation is installed.
void nameButtons(QMessageBox& box)
{
    const std::pair<QMessageBox::StandardButton, const char16_t*> names[] = {
        {QMessageBox::Ok, u"ОК"}, {QMessageBox::Yes, u"&Да"}, {QMessageBox::No, u"&Нет"},
        {QMessageBox::Cancel, u"Отмена"}};
    for (const auto& [button, name] : names)
        if (QAbstractButton* shown = box.button(button))
            shown->setText(QString::fromUtf16(name));
}

}  // namespace

void Dialogs::message(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    QMessageBox box(icon, applicationTitle(), text, QMessageBox::Ok, parent);
    nameButtons(box);
    box.exec();
}

QMessageBox::StandardButton Dialogs::question(QWidget* parent, const QString& caption,
                                              const QString& text,
                                              QMessageBox::StandardButtons buttons)
{
    QMessageBox box(QMessageBox::Question, caption, text, buttons, parent);
    nameButtons(box);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString Dialogs::openFile(QWidget* parent, const QString& title, const QString& filter, const QStringList& places,
                          const QString& folder)
{
    QFileDialog dialog(parent, title, folder, filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // A file type shows by its name alone, the patterns in brackets stay unseen.
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QList<QUrl> usersPlaces = dialog.sidebarUrls();
    QList<QUrl> sidebar = usersPlaces;
    for (const QString& place : places)
        sidebar << QUrl::fromLocalFile(place);
    dialog.setSidebarUrls(sidebar);
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    // The toolkit keeps the side bar in the user's settings when the dialog
    // goes: only the places the user put there are kept.
    dialog.setSidebarUrls(usersPlaces);
    return chosen ? dialog.selectedFiles().first() : QString();
}

QString Dialogs::saveFile(QWidget* parent, const QString& title, const QString& filter,
                          const QString& defaultSuffix, const QString& proposed, bool confirmNewFile)
{
    QFileDialog dialog(parent, title, proposed, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);  // asked below, in the program's words
    for (;;) {
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        const QString path = dialog.selectedFiles().first();
        const QFileInfo info(path);
        const QString shown = QDir::toNativeSeparators(path);
        if (!info.absoluteDir().exists()) {
            message(parent,
                    QStringLiteral("%1\nПапка не найдена.\nПроверьте правильность пути.")
                        .arg(QDir::toNativeSeparators(info.absolutePath())),
                    QMessageBox::Warning);
            continue;
        }
        if (!info.exists() && !confirmNewFile)
            return path;
        const QString questionText =
            info.exists() ? QStringLiteral("%1 уже существует.\nЗаменить его?").arg(shown)
                          : QStringLiteral("%1\nЭтот файл не существует.\nСоздать этот файл?").arg(shown);
        if (question(parent, title, questionText, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes)
            return path;
    }
}

bool Dialogs::askNumber(QWidget* parent, const QString& caption, const QString& label, double& value, double min,
                        double max, int decimals)
{
    bool ok = false;
    const double answer = QInputDialog::getDouble(parent, caption, label, value, min, max, decimals, &ok);
    if (ok)
        value = answer;
    return ok;
}

bool Dialogs::askText(QWidget* parent, const QString& caption, const QString& label, QString& value)
{
    bool ok = false;
    const QString answer = QInputDialog::getText(parent, caption, label, QLineEdit::Normal, value, &ok);
    if (ok)
        value = answer;
    return ok;
}

bool Dialogs::chooseFont(QWidget* parent, QFont& font)
{
    bool ok = false;
    // The reports are columns of figures: only fixed-width fonts keep them.
    const QFont chosen = QFontDialog::getFont(&ok, font, parent, QString(), QFontDialog::MonospacedFonts);
    if (ok)
        font = chosen;
    return ok;
}

bool installToolkitTranslation(const QLocale& locale)
{
    static QTranslator* installed = nullptr;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    installed = translator.release();
    QCoreApplication::installTranslator(installed);
    return true;
}

namespace {
Dialogs* g_replacement = nullptr;
}

Dialogs& dialogs()
{
    static Dialogs real;
    return g_replacement ? *g_replacement : real;
}

void setDialogs(Dialogs* replacement)
{
    g_replacement = replacement;
}

}  // namespace tarvel::ui
