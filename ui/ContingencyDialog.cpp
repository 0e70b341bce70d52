// The dialog of "Анализ отключений (N-1)...": every branch or a list file,
// a limits file, the number of threads.
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QThread>
#include <QVBoxLayout>

#include "ui/ContingencyPage.h"
#include "ui/Dialogs.h"

namespace tarvel::ui {

namespace {

// A line for a file name with a button that opens the file dialog.
QWidget* fileChooser(QWidget* parent, QLineEdit*& edit, const QString& title, const char* name)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    edit = new QLineEdit(row);
    edit->setObjectName(QLatin1String(name));
    auto* browse = new QPushButton(QStringLiteral("Обзор..."), row);
    layout->addWidget(edit, 1);
    layout->addWidget(browse);
    QObject::connect(browse, &QPushButton::clicked, row, [row, edit, title] {
        const QString path =
            dialogs().openFile(row, title, QStringLiteral("Текстовые файлы (*.txt *.m);;Все файлы (*)"));
        if (!path.isEmpty())
            edit->setText(path);
    });
    return row;
}

}  // namespace

bool Dialogs::contingencyOptions(QWidget* parent, ContingencyRequest& request)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ContingencyDialog"));
    dialog.setWindowTitle(QStringLiteral("Анализ отключений (N-1)"));
    auto* layout = new QVBoxLayout(&dialog);
    auto* all = new QRadioButton(QStringLiteral("Каждая ветвь по отдельности"), &dialog);
    auto* fromList = new QRadioButton(QStringLiteral("Отключения из списка:"), &dialog);
    QLineEdit* list = nullptr;
    QLineEdit* limits = nullptr;
    QWidget* listRow = fileChooser(&dialog, list, QStringLiteral("Список отключений"), "ContingencyList");
    layout->addWidget(all);
    layout->addWidget(fromList);
    layout->addWidget(listRow);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Пределы токов ветвей (файл):"),
                 fileChooser(&dialog, limits, QStringLiteral("Пределы токов"), "ContingencyLimits"));
    auto* threads = new QSpinBox(&dialog);
    threads->setObjectName(QStringLiteral("ContingencyThreads"));
    threads->setRange(0, std::max(1, QThread::idealThreadCount()));
    threads->setSpecialValueText(QStringLiteral("все ядра"));
    form->addRow(QStringLiteral("Число потоков:"), threads);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(fromList, &QRadioButton::toggled, listRow, &QWidget::setEnabled);

    list->setText(request.listFile);
    limits->setText(request.limitsFile);
    threads->setValue(request.threads);
    (request.listFile.isEmpty() ? all : fromList)->setChecked(true);
    listRow->setEnabled(!request.listFile.isEmpty());
    if (dialog.exec() != QDialog::Accepted)
        return false;
    request.listFile = fromList->isChecked() ? list->text().trimmed() : QString();
    request.limitsFile = limits->text().trimmed();
    request.threads = threads->value();
    return true;
}

}  // namespace tarvel::ui
