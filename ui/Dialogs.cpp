#include "ui/Dialogs.h"

#include <QFileDialog>
#include <QFontDialog>

namespace tarvel::ui {

QString applicationTitle()
{
    return QStringLiteral("Tarvel");
}

void Dialogs::message(QWidget* parent, const QString& text, QMessageBox::Icon icon)
{
    QMessageBox box(icon, applicationTitle(), text, QMessageBox::Ok, parent);
    box.exec();
}

QMessageBox::StandardButton Dialogs::question(QWidget* parent, const QString& caption,
                                              const QString& text,
                                              QMessageBox::StandardButtons buttons)
{
    QMessageBox box(QMessageBox::Question, caption, text, buttons, parent);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QString Dialogs::openFile(QWidget* parent, const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, title, QString(), filter);
}

QString Dialogs::saveFile(QWidget* parent, const QString& title, const QString& filter,
                          const QString& defaultSuffix)
{
    QFileDialog dialog(parent, title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

bool Dialogs::chooseFont(QWidget* parent, QFont& font)
{
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, font, parent);
    if (ok)
        font = chosen;
    return ok;
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
