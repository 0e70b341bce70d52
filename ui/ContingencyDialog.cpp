// The dialogs of "Анализ отключений (N-1)..." (every branch or a list file,
// a limits file, the number of threads) and of "Расчет по графику
// нагрузки..." (the same, the outages with the N-1 of every step only).
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
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
// folder: where the dialog opens while the line names no file.
QWidget* fileChooser(QWidget* parent, QLineEdit*& edit, const QString& title, const char* name, const QString* folder)
{
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    edit = new QLineEdit(row);
    edit->setObjectName(QLatin1String(name));
    auto* browse = new QPushButton(QStringLiteral("Обзор..."), row);
    layout->addWidget(edit, 1);
    layout->addWidget(browse);
    QObject::connect(browse, &QPushButton::clicked, row, [row, edit, title, folder] {
        const QString named = edit->text().trimmed();
        const QString start = named.isEmpty() ? *folder : QFileInfo(named).absolutePath();
        const QString path =
            dialogs().openFile(row, title, QStringLiteral("Текстовые файлы (*.txt *.m);;Все файлы (*)"), {}, start);
        if (!path.isEmpty())
            edit->setText(path);
    });
    return row;
}

}  // namespace

namespace {

// The outages (every branch or a list), the limits file and the threads, as
// both dialogs ask them.
class StudyFields {
public:
    StudyFields(QDialog& dialog, QVBoxLayout* layout)
    {
        all_ = new QRadioButton(QStringLiteral("Каждая ветвь по отдельности"), &dialog);
        fromList_ = new QRadioButton(QStringLiteral("Отключения из списка:"), &dialog);
        listRow_ = fileChooser(&dialog, list_, QStringLiteral("Список отключений"), "ContingencyList", &folder_);
        layout->addWidget(all_);
        layout->addWidget(fromList_);
        layout->addWidget(listRow_);
        auto* form = new QFormLayout;
        form->addRow(QStringLiteral("Пределы токов ветвей (файл):"),
                     fileChooser(&dialog, limits_, QStringLiteral("Пределы токов"), "ContingencyLimits", &folder_));
        threads_ = new QSpinBox(&dialog);
        threads_->setObjectName(QStringLiteral("ContingencyThreads"));
        threads_->setRange(0, std::max(1, QThread::idealThreadCount()));
        threads_->setSpecialValueText(QStringLiteral("все ядра"));
        form->addRow(QStringLiteral("Число потоков:"), threads_);
        layout->addLayout(form);
        QObject::connect(fromList_, &QRadioButton::toggled, listRow_, &QWidget::setEnabled);
    }

    void load(const ContingencyRequest& request)
    {
        folder_ = request.folder;
        list_->setText(request.listFile);
        limits_->setText(request.limitsFile);
        threads_->setValue(request.threads);
        (request.listFile.isEmpty() ? all_ : fromList_)->setChecked(true);
        listRow_->setEnabled(!request.listFile.isEmpty());
    }

    void store(ContingencyRequest& request) const
    {
        request.listFile = fromList_->isChecked() ? list_->text().trimmed() : QString();
        request.limitsFile = limits_->text().trimmed();
        request.threads = threads_->value();
    }

    // The outages' choice, on and off with the N-1.
    void enableOutages(bool on)
    {
        all_->setEnabled(on);
        fromList_->setEnabled(on);
        listRow_->setEnabled(on && fromList_->isChecked());
    }

private:
    QRadioButton* all_ = nullptr;
    QRadioButton* fromList_ = nullptr;
    QWidget* listRow_ = nullptr;
    QLineEdit* list_ = nullptr;
    QLineEdit* limits_ = nullptr;
    QSpinBox* threads_ = nullptr;
    QString folder_;  // where the file dialogs open
};

void addButtons(QDialog& dialog, QVBoxLayout* layout)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Отмена"));
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
}

}  // namespace

bool Dialogs::contingencyOptions(QWidget* parent, ContingencyRequest& request)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ContingencyDialog"));
    dialog.setWindowTitle(QStringLiteral("Анализ отключений (N-1)"));
    auto* layout = new QVBoxLayout(&dialog);
    StudyFields fields(dialog, layout);
    addButtons(dialog, layout);
    fields.load(request);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    fields.store(request);
    return true;
}

bool Dialogs::profileOptions(QWidget* parent, const QString& profileName, ProfileRequest& request)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("ProfileDialog"));
    dialog.setWindowTitle(QStringLiteral("Расчет по графику нагрузки"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("График нагрузки: %1").arg(profileName), &dialog));
    auto* withOutages = new QCheckBox(QStringLiteral("с анализом отключений (N-1)"), &dialog);
    withOutages->setObjectName(QStringLiteral("ProfileWithOutages"));
    layout->addWidget(withOutages);
    StudyFields fields(dialog, layout);
    addButtons(dialog, layout);
    fields.load(request.study);
    withOutages->setChecked(request.withOutages);
    fields.enableOutages(request.withOutages);
    QObject::connect(withOutages, &QCheckBox::toggled, &dialog, [&fields](bool on) { fields.enableOutages(on); });
    if (dialog.exec() != QDialog::Accepted)
        return false;
    request.withOutages = withOutages->isChecked();
    fields.store(request.study);
    return true;
}

}  // namespace tarvel::ui
