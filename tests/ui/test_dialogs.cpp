// The real dialogs behind the window's dialog seam: the toolkit's texts in
// the user's language, and the save dialog's questions about the chosen name.
#include <deque>
#include <functional>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include "ui/Dialogs.h"

using tarvel::ui::Dialogs;

namespace {

// The real file dialogs, with the message boxes asked through the seam
// answered from a queue and recorded.
class PromptDialogs : public Dialogs {
public:
    void message(QWidget*, const QString& text, QMessageBox::Icon) override { messages << text; }
    QMessageBox::StandardButton question(QWidget*, const QString&, const QString& text,
                                         QMessageBox::StandardButtons buttons) override
    {
        questions << text;
        if (buttons != (QMessageBox::Yes | QMessageBox::No) || answers.empty())
            return QMessageBox::No;
        const auto answer = answers.front();
        answers.pop_front();
        return answer;
    }
    QStringList messages;
    QStringList questions;
    std::deque<QMessageBox::StandardButton> answers;
};

}  // namespace

class DialogsTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QTimer driver_;
    // What to do with each file dialog that appears, in turn: a name to type
    // and accept, or "" to cancel.
    QStringList names_;
    int fileDialogs_ = 0;
    // Message boxes of the toolkit itself, which the program should not show.
    QStringList toolkitBoxes_;
    // The captions of their buttons.
    QStringList boxButtons_;
    // Each file dialog shown: its title and the file type choices.
    QStringList seen_;
    // The last file dialog's folder, name and places in its side bar.
    QString shownFolder_;
    QString shownName_;
    QList<QUrl> shownPlaces_;

    void driveDialogs()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            toolkitBoxes_ << box->text();
            for (const QAbstractButton* button : box->buttons())
                boxButtons_ << button->text().remove(QLatin1Char('&'));
            box->reject();
            return;
        }
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        if (!dialog || !dialog->isVisible())
            return;
        ++fileDialogs_;
        QStringList choices;
        if (const auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo")))
            for (int i = 0; i < types->count(); ++i)
                choices << types->itemText(i);
        seen_ << dialog->windowTitle() + QStringLiteral(": ") + choices.join(QStringLiteral(" | "));
        shownFolder_ = dialog->directory().path();
        shownName_ = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
        shownPlaces_ = dialog->sidebarUrls();
        if (names_.isEmpty() || names_.front().isEmpty()) {
            if (!names_.isEmpty())
                names_.pop_front();
            dialog->reject();
            return;
        }
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(names_.takeFirst());
        static_cast<QDialog*>(dialog)->accept();
    }

    QString save(PromptDialogs& prompts, const QStringList& names)
    {
        names_ = names;
        fileDialogs_ = 0;
        toolkitBoxes_.clear();
        seen_.clear();
        return prompts.saveFile(nullptr, QStringLiteral("Сохранить как:"),
                                QStringLiteral("Формат ЦДУ *.cdu (*.cdu);;Все файлы *.* (*)"), QStringLiteral("cdu"));
    }

private slots:
    void initTestCase()
    {
        // The file dialogs keep their state in the toolkit's settings: the
        // test's own, not the user's.
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(dir_.isValid());
        connect(&driver_, &QTimer::timeout, this, &DialogsTest::driveDialogs);
        driver_.start(10);
    }

    void toolkitTextsInTheUsersLanguage()
    {
        if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + QStringLiteral("/qtbase_ru.qm")))
            QSKIP("the toolkit's Russian texts are not installed");
        QVERIFY(tarvel::ui::installToolkitTranslation(QLocale(QLocale::Russian, QLocale::Russia)));
        QMessageBox box(QMessageBox::Question, QStringLiteral("Файл изменен"), QStringLiteral("?"),
                        QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        QCOMPARE(box.button(QMessageBox::Yes)->text().remove(QLatin1Char('&')), QStringLiteral("Да"));
        QCOMPARE(box.button(QMessageBox::No)->text().remove(QLatin1Char('&')), QStringLiteral("Нет"));
        QCOMPARE(box.button(QMessageBox::Cancel)->text().remove(QLatin1Char('&')), QStringLiteral("Отмена"));

        // A language without a translation replaces the earlier one: English.
        QVERIFY(!tarvel::ui::installToolkitTranslation(QLocale(QStringLiteral("xx_YY"))));
        QCOMPARE(QCoreApplication::translate("QPlatformTheme", "Cancel"), QStringLiteral("Cancel"));
    }

    // The program's own boxes say "Да", "Нет", "Отмена" whether or not the
    // toolkit's texts are installed.
    void messageBoxButtonsAreRussianWhateverTheToolkitSays()
    {
        tarvel::ui::installToolkitTranslation(QLocale(QStringLiteral("xx_YY")));
        Dialogs real;
        boxButtons_.clear();
        real.question(nullptr, QStringLiteral("Файл изменен"), QStringLiteral("?"),
                      QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        boxButtons_.sort();
        QCOMPARE(boxButtons_, QStringList({QStringLiteral("Да"), QStringLiteral("Нет"), QStringLiteral("Отмена")}));
        boxButtons_.clear();
        real.message(nullptr, QStringLiteral("Tarvel  V2.0"), QMessageBox::Information);
        QCOMPARE(boxButtons_, QStringList{QStringLiteral("ОК")});
        toolkitBoxes_.clear();
    }

    void titlesAndFileTypes()
    {
        PromptDialogs prompts;
        const QString file = dir_.filePath(QStringLiteral("shown.cdu"));
        QFile(file).open(QIODevice::WriteOnly);
        names_ = QStringList{file};
        seen_.clear();
        QCOMPARE(prompts.openFile(nullptr, QStringLiteral("Открыть"),
                                  QStringLiteral("Файл ЦДУ *.cdu (*.cdu);;Все файлы *.* (*)")),
                 file);
        QCOMPARE(seen_, QStringList{QStringLiteral("Открыть: Файл ЦДУ *.cdu | Все файлы *.*")});

        QCOMPARE(save(prompts, {QString()}), QString());
        QCOMPARE(seen_, QStringList{QStringLiteral("Сохранить как:: Формат ЦДУ *.cdu | Все файлы *.*")});
        QVERIFY(prompts.questions.isEmpty());
    }

    // The exports propose a name and do not ask about a file that is new;
    // the open dialog offers the sample networks.
    void proposedNameAndOfferedPlaces()
    {
        PromptDialogs prompts;
        names_ = QStringList{QString()};
        QCOMPARE(prompts.openFile(nullptr, QStringLiteral("Открыть"), QStringLiteral("Файл ЦДУ *.cdu (*.cdu)"),
                                  {dir_.path()}),
                 QString());
        QVERIFY(shownPlaces_.contains(QUrl::fromLocalFile(dir_.path())));
        // The offered place does not stay in the user's side bar.
        QFileDialog later;
        QVERIFY(!later.sidebarUrls().contains(QUrl::fromLocalFile(dir_.path())));

        names_ = QStringList{QString()};  // looked at, then cancelled
        fileDialogs_ = 0;
        const QString proposed = dir_.filePath(QStringLiteral("net.svg"));
        const QString chosen = prompts.saveFile(nullptr, QStringLiteral("Схема в SVG"),
                                                QStringLiteral("Рисунок SVG *.svg (*.svg)"), QStringLiteral("svg"),
                                                proposed, false);
        QCOMPARE(shownFolder_, dir_.path());
        QCOMPARE(shownName_, QStringLiteral("net.svg"));
        QCOMPARE(chosen, QString());  // cancelled by the driver
        names_ = QStringList{proposed};
        QCOMPARE(prompts.saveFile(nullptr, QStringLiteral("Схема в SVG"), QStringLiteral("Рисунок SVG *.svg (*.svg)"),
                                  QStringLiteral("svg"), proposed, false),
                 proposed);
        QVERIFY(prompts.questions.isEmpty());
    }

    void saveDialogConfirmsTheChosenName()
    {
        PromptDialogs prompts;
        const QString existing = dir_.filePath(QStringLiteral("old.cdu"));
        QFile file(existing);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();

        // A new file: its creation is confirmed; the default extension is added.
        prompts.answers = {QMessageBox::Yes};
        QCOMPARE(save(prompts, {dir_.filePath(QStringLiteral("new"))}), dir_.filePath(QStringLiteral("new.cdu")));
        QCOMPARE(prompts.questions.size(), 1);
        QVERIFY(prompts.questions.last().contains(QStringLiteral("new.cdu")));
        QVERIFY(prompts.questions.last().contains(QStringLiteral("Создать")));

        // An existing file: replacing it is confirmed; No opens the dialog again.
        prompts.answers = {QMessageBox::No, QMessageBox::Yes};
        QCOMPARE(save(prompts, {existing, existing}), existing);
        QCOMPARE(fileDialogs_, 2);
        QCOMPARE(prompts.questions.size(), 3);
        QVERIFY(prompts.questions.last().contains(QStringLiteral("Заменить")));

        // A folder that does not exist is told, and the dialog opens again.
        QCOMPARE(save(prompts, {dir_.filePath(QStringLiteral("missing/x.cdu")), QString()}), QString());
        QCOMPARE(fileDialogs_, 2);
        QCOMPARE(prompts.messages.size(), 1);
        QVERIFY(prompts.messages.last().contains(QStringLiteral("missing")));
        QCOMPARE(prompts.questions.size(), 3);

        // Refusing to create opens the dialog again; Cancel there ends it.
        prompts.answers = {QMessageBox::No};
        QCOMPARE(save(prompts, {dir_.filePath(QStringLiteral("other.cdu")), QString()}), QString());
        QCOMPARE(fileDialogs_, 2);
        QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("other.cdu"))));
        QVERIFY2(toolkitBoxes_.isEmpty(), qPrintable(toolkitBoxes_.join(QLatin1Char('|'))));
    }
};

QTEST_MAIN(DialogsTest)
#include "test_dialogs.moc"
