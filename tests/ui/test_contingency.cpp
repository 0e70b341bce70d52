// "Расчет" → "Анализ отключений (N-1)...": enabled after a power flow, the
// study in the background with its count, the table sorted by a column,
// contingency.rez and the CSV export; cancel writes nothing; a bad list is
// told with its line.
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include "model/TextFile.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/WindowFixture.h"
#include "ui/ContingencyPage.h"

using tarvel::test::WindowFixture;

class ContingencyTest : public QObject {
    Q_OBJECT

    static QString sample(const char* name)
    {
        return QString::fromStdString(tarvel::test::sourcePath(std::string("samples/") + name).string());
    }

    static bool waitFinished(tarvel::ui::ContingencyPage* page, int ms = 60000)
    {
        QSignalSpy spy(page, &tarvel::ui::ContingencyPage::finished);
        return spy.count() > 0 || spy.wait(ms);
    }

private slots:
    void studyOfIeee118WithLimitsFillsASortableTableAndWritesTheReport()
    {
        WindowFixture f;
        QVERIFY(f.window->Contingency1);
        f.window->openFile(sample("ieee118.cdu"));
        QVERIFY(!f.window->Contingency1->isEnabled());
        f.window->N2->trigger();
        QVERIFY(f.window->Contingency1->isEnabled());
        tarvel::ui::ContingencyRequest request;
        request.limitsFile = sample("ieee118-limits.txt");
        request.threads = 2;
        f.dialogs.answerContingency(request);
        auto* page = f.window->Contingency1Page;
        QSignalSpy spy(page, &tarvel::ui::ContingencyPage::finished);
        f.window->Contingency1->trigger();
        QCOMPARE(f.activeTab(), QStringLiteral("Отключения"));
        QVERIFY(spy.wait(60000));
        QCOMPARE(spy.first().first().toBool(), true);
        QTableWidget* table = page->table();
        QCOMPARE(table->rowCount(), 186);
        QCOMPARE(page->findChild<QLabel*>(QStringLiteral("ContingencyStatus"))->text(),
                 QStringLiteral("Отключений: 186; без нарушений: 172; с нарушениями: 5; разделение сети: 9; не сошлось: 0"));
        // Sorted by the loading, highest first: the outages that overload lead.
        table->sortItems(7, Qt::DescendingOrder);
        // Within the precision of the solve: the last decimal may move with the start.
        const auto loading = [&](int row) { return table->item(row, 7)->text().toDouble(); };
        QVERIFY(qAbs(loading(0) - 198.2) < 0.15);
        QVERIFY(qAbs(loading(1) - 198.1) < 0.15);
        QVERIFY(qAbs(loading(2) - 117.1) < 0.15);
        QVERIFY(table->item(0, 8)->toolTip().contains(QStringLiteral("перегрузка ветви 68-69")));
        const QString report = QString::fromStdString(tarvel::cp1251ToUtf8(f.read(QStringLiteral("contingency.rez")).toStdString()));
        QVERIFY(report.contains(QStringLiteral("перегрузка ветви 49-69: I = 0.141 кА")));

        f.dialogs.answerSave(f.path(QStringLiteral("outages.csv")));
        page->findChild<QPushButton*>(QStringLiteral("ContingencyCsv"))->click();
        const QByteArray csv = f.read(QStringLiteral("outages.csv"));
        QVERIFY(csv.startsWith("label,branches,outcome,"));
        QCOMPARE(csv.count('\n'), 187);
        QVERIFY(f.dialogs.unexpected().isEmpty());
    }

    void cancelStopsTheStudyAndWritesNothing()
    {
        WindowFixture f;
        tarvel::test::GridOptions grid;
        grid.nodes = 3000;
        f.window->Memo1->setPlainText(QString::fromStdString(tarvel::test::generateGrid(grid).text));
        f.window->N2->trigger();
        QVERIFY(f.window->Contingency1->isEnabled());
        f.dialogs.answerContingency({});
        auto* page = f.window->Contingency1Page;
        QSignalSpy spy(page, &tarvel::ui::ContingencyPage::finished);
        f.window->Contingency1->trigger();
        page->cancel();
        QVERIFY(spy.wait(10000));
        QCOMPARE(spy.first().first().toBool(), false);
        QVERIFY(page->findChild<QLabel*>(QStringLiteral("ContingencyStatus"))->text().startsWith(QStringLiteral("Анализ прерван")));
        QVERIFY(!QFile::exists(f.path(QStringLiteral("contingency.rez"))));
        QVERIFY(f.window->Contingency1->isEnabled());
        QVERIFY(f.dialogs.unexpected().isEmpty());
    }

    void aBadListIsToldWithItsLine()
    {
        WindowFixture f;
        f.window->openFile(sample("ieee14.cdu"));
        f.window->N2->trigger();
        f.write(QStringLiteral("list.txt"), "1 2\n2 77\n");
        tarvel::ui::ContingencyRequest request;
        request.listFile = f.path(QStringLiteral("list.txt"));
        f.dialogs.answerContingency(request);
        f.window->Contingency1->trigger();
        QCOMPARE(f.dialogs.messages(), QStringList{QStringLiteral("Строка 2 списка отключений: ветви 2 77 в сети нет")});
        QVERIFY(!f.window->Contingency1Page->running());
        QVERIFY(!QFile::exists(f.path(QStringLiteral("contingency.rez"))));
        QVERIFY(f.dialogs.unexpected().isEmpty());
    }
};

QTEST_MAIN(ContingencyTest)
#include "test_contingency.moc"
