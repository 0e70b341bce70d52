// "Расчет" → "Анализ отключений (N-1)...": enabled after a power flow, the
// study in the background with its count, the table sorted by a column,
// contingency.rez and the CSV export; cancel writes nothing; a bad list is
// told with its line; a row's double-click shows its outage on "Схема".
#include <QFileInfo>
#include <QGraphicsItem>
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
#include "diagram/Topology.h"
#include "ui/ContingencyPage.h"
#include "ui/DiagramPage.h"
#include "ui/DiagramView.h"

using tarvel::test::action;
using tarvel::test::named;
using tarvel::test::pane;
using tarvel::test::tabs;
using tarvel::test::WindowFixture;

class ContingencyTest : public QObject {
    Q_OBJECT

    static QString sample(const char* name)
    {
        return QString::fromStdString(tarvel::test::sourcePath(std::string("samples/") + name).string());
    }

    static tarvel::ui::DiagramView* view(WindowFixture& f) { return named<tarvel::ui::DiagramPage>(*f.window, "Diagram1")->view(); }

    static bool waitFinished(tarvel::ui::ContingencyPage* page, int ms = 60000)
    {
        QSignalSpy spy(page, &tarvel::ui::ContingencyPage::finished);
        return spy.count() > 0 || spy.wait(ms);
    }

    // Runs the study of IEEE 118 with the current limits of the samples.
    static bool studyIeee118(WindowFixture& f)
    {
        f.window->openFile(sample("ieee118.cdu"));
        action(*f.window, "N2")->trigger();
        tarvel::ui::ContingencyRequest request;
        request.limitsFile = sample("ieee118-limits.txt");
        f.dialogs.answerContingency(request);
        QSignalSpy spy(named<tarvel::ui::ContingencyPage>(*f.window, "Contingency1Page"), &tarvel::ui::ContingencyPage::finished);
        action(*f.window, "Contingency1")->trigger();
        return spy.wait(60000) && spy.first().first().toBool();
    }

    static void doubleClickRow(QTableWidget* table, int row)
    {
        QTableWidgetItem* item = table->item(row, 0);
        table->scrollToItem(item);
        const QPoint at = table->visualItemRect(item).center();
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
    }

    static int rowWithOutcome(QTableWidget* table, const QString& outcome)
    {
        for (int row = 0; row < table->rowCount(); ++row)
            if (table->item(row, 1)->text() == outcome)
                return row;
        return -1;
    }

    // The hover text's line that starts with the prefix.
    static QString lineOf(const QString& text, const QString& prefix)
    {
        for (const QString& line : text.split(QLatin1Char('\n')))
            if (line.startsWith(prefix))
                return line;
        return {};
    }

private slots:
    void studyOfIeee118WithLimitsFillsASortableTableAndWritesTheReport()
    {
        WindowFixture f;
        QVERIFY(action(*f.window, "Contingency1"));
        f.window->openFile(sample("ieee118.cdu"));
        QVERIFY(!action(*f.window, "Contingency1")->isEnabled());
        action(*f.window, "N2")->trigger();
        QVERIFY(action(*f.window, "Contingency1")->isEnabled());
        tarvel::ui::ContingencyRequest request;
        request.limitsFile = sample("ieee118-limits.txt");
        request.threads = 2;
        f.dialogs.answerContingency(request);
        auto* page = named<tarvel::ui::ContingencyPage>(*f.window, "Contingency1Page");
        QSignalSpy spy(page, &tarvel::ui::ContingencyPage::finished);
        action(*f.window, "Contingency1")->trigger();
        QCOMPARE(f.activeTab(), QStringLiteral("Отключения"));
        // Its file dialogs open beside the document.
        QCOMPARE(f.dialogs.shown.back().proposed, QFileInfo(sample("ieee118.cdu")).absolutePath());
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
        // Proposed in a folder that takes files: the samples' own, in a build tree.
        QCOMPARE(f.dialogs.shown.back().proposed,
                 QFileInfo(sample("ieee118.cdu")).dir().filePath(QStringLiteral("contingencies.csv")));
        const QByteArray csv = f.read(QStringLiteral("outages.csv"));
        QVERIFY(csv.startsWith("label,branches,outcome,"));
        QCOMPARE(csv.count('\n'), 187);
        QVERIFY(f.dialogs.unexpected().isEmpty());
    }

    void aRowsDoubleClickShowsItsOutageOnTheDiagram()
    {
        WindowFixture f;
        QVERIFY(studyIeee118(f));
        auto* page = named<tarvel::ui::ContingencyPage>(*f.window, "Contingency1Page");
        auto* diagram = named<tarvel::ui::DiagramPage>(*f.window, "Diagram1");
        diagram->waitForLayout();
        QTableWidget* table = page->table();
        const auto picture = [&]() -> const tarvel::diagram::Picture& { return diagram->picture(); };
        const auto outaged = [&] {
            std::vector<const tarvel::diagram::BranchShape*> out;
            for (const auto& b : picture().branches)
                if (b.outaged)
                    out.push_back(&b);
            return out;
        };

        // A splitting outage: its branch dashed, grey exactly the nodes that
        // the network without it leaves apart from the base node.
        const int split = rowWithOutcome(table, QStringLiteral("разделение сети"));
        QVERIFY(split >= 0);
        const QString splitLabel = table->item(split, 0)->text();
        doubleClickRow(table, split);
        QCOMPARE(f.activeTab(), QStringLiteral("Схема"));
        QCOMPARE(diagram->outageLabel()->text(), QStringLiteral("Отключение: ") + splitLabel);
        QVERIFY(diagram->outageLabel()->isVisible());
        QVERIFY(diagram->baseCaseButton()->isVisible());
        QCOMPARE(outaged().size(), std::size_t{1});
        const tarvel::diagram::BranchShape& cut = *outaged()[0];
        QVERIFY(splitLabel == QStringLiteral("%1-%2").arg(cut.startNumber).arg(cut.endNumber) ||
                splitLabel == QStringLiteral("%2-%1").arg(cut.startNumber).arg(cut.endNumber));
        QVERIFY(view(f)->branchItem(cut.record)->toolTip().contains(QStringLiteral("Ветвь отключена")));
        tarvel::diagram::Topology without = tarvel::diagram::topologyOf(f.window->calculation().model);
        std::erase_if(without.branches, [&](const auto& b) { return b.record == cut.record; });
        const std::vector<bool> apart = tarvel::diagram::islandNodes(without);
        int grey = 0;
        for (std::size_t k = 0; k < picture().nodes.size(); ++k) {
            QCOMPARE(picture().nodes[k].cutOff, static_cast<bool>(apart[k]));
            grey += apart[k];
        }
        QVERIFY(grey > 0);

        // The lowest voltage of the study: the node's hover text gives the
        // outage's voltage in p.u. as the table does, not the base case's.
        table = page->table();
        tabs(*f.window)->setCurrentWidget(named(*f.window, "TabSheet8"));
        table->sortItems(3, Qt::AscendingOrder);
        int low = 0;
        while (low < table->rowCount() && table->item(low, 1)->text() != QStringLiteral("решено"))
            ++low;
        QVERIFY(low < table->rowCount());
        const QString lowPu = table->item(low, 3)->text();
        const int lowNode = table->item(low, 4)->text().toInt();
        QVERIFY(diagram->showsOutage());
        diagram->baseCaseButton()->click();
        QVERIFY(!diagram->showsOutage());
        QVERIFY(outaged().empty());
        const QString baseText = view(f)->nodeItem(lowNode)->toolTip();
        QVERIFY(!baseText.contains(QStringLiteral("Отключение")));
        doubleClickRow(table, low);
        QCOMPARE(f.activeTab(), QStringLiteral("Схема"));
        const QString outageText = view(f)->nodeItem(lowNode)->toolTip();
        QVERIFY2(lineOf(outageText, QStringLiteral("V = ")).contains(QStringLiteral(", ") + lowPu + QStringLiteral(" о.е.")),
                 qPrintable(outageText));
        QVERIFY(lineOf(outageText, QStringLiteral("V = ")).section(QLatin1Char(','), 0, 0) !=
                lineOf(baseText, QStringLiteral("V = ")).section(QLatin1Char('('), 0, 0).trimmed());

        // The worst overload: its branch in red with the loading the table gives.
        tabs(*f.window)->setCurrentWidget(named(*f.window, "TabSheet8"));
        table->sortItems(7, Qt::DescendingOrder);
        const QString loading = table->item(0, 7)->text();
        doubleClickRow(table, 0);
        bool worstInRed = false;
        for (const auto& b : picture().branches) {
            if (!b.violation)
                continue;
            const QString text = QString::fromStdString(b.text);
            QVERIFY(text.contains(QStringLiteral("перегрузка ветви")));
            worstInRed = worstInRed || text.contains(QStringLiteral("загрузка ") + loading + QStringLiteral(" %"));
        }
        QVERIFY(worstInRed);

        // Another study takes its earlier outage off the diagram.
        QVERIFY(diagram->showsOutage());
        QSignalSpy again(page, &tarvel::ui::ContingencyPage::finished);
        f.dialogs.answerContingency({});
        action(*f.window, "Contingency1")->trigger();
        QVERIFY(!diagram->showsOutage());
        QVERIFY(again.wait(60000));
        doubleClickRow(page->table(), 0);
        QVERIFY(diagram->showsOutage());

        // A new power flow shows its own base case.
        action(*f.window, "N2")->trigger();
        diagram->waitForLayout();
        QVERIFY(!diagram->showsOutage());
        QVERIFY(!diagram->outageLabel()->isVisible());
        QVERIFY(outaged().empty());
        QVERIFY(f.dialogs.unexpected().isEmpty());
    }

    void anOutageOfAnotherNetworkIsNotDrawnOverThisOne()
    {
        WindowFixture f;
        f.window->openFile(sample("ieee14.cdu"));
        action(*f.window, "N2")->trigger();
        f.dialogs.answerContingency({});
        QSignalSpy spy(named<tarvel::ui::ContingencyPage>(*f.window, "Contingency1Page"), &tarvel::ui::ContingencyPage::finished);
        action(*f.window, "Contingency1")->trigger();
        QVERIFY(spy.wait(60000));
        // The input loses its last branch and is calculated again.
        QStringList lines = pane(*f.window, "Memo1")->toPlainText().split(QLatin1Char('\n'));
        int last = static_cast<int>(lines.size()) - 1;
        while (last >= 0 && !lines[last].startsWith(QStringLiteral("0301")))
            --last;
        QVERIFY(last > 0);
        lines.removeAt(last);
        pane(*f.window, "Memo1")->setPlainText(lines.join(QLatin1Char('\n')));
        action(*f.window, "N2")->trigger();
        tabs(*f.window)->setCurrentWidget(named(*f.window, "TabSheet8"));
        doubleClickRow(named<tarvel::ui::ContingencyPage>(*f.window, "Contingency1Page")->table(), 0);
        QCOMPARE(f.dialogs.messages(),
                 QStringList{QStringLiteral("На схеме другая сеть: выполните анализ отключений для нее заново.")});
        QVERIFY(!named<tarvel::ui::DiagramPage>(*f.window, "Diagram1")->showsOutage());
        QCOMPARE(f.activeTab(), QStringLiteral("Отключения"));
    }

    void cancelStopsTheStudyAndWritesNothing()
    {
        WindowFixture f;
        tarvel::test::GridOptions grid;
        grid.nodes = 3000;
        pane(*f.window, "Memo1")->setPlainText(QString::fromStdString(tarvel::test::generateGrid(grid).text));
        action(*f.window, "N2")->trigger();
        QVERIFY(action(*f.window, "Contingency1")->isEnabled());
        f.dialogs.answerContingency({});
        auto* page = named<tarvel::ui::ContingencyPage>(*f.window, "Contingency1Page");
        QSignalSpy spy(page, &tarvel::ui::ContingencyPage::finished);
        action(*f.window, "Contingency1")->trigger();
        page->cancel();
        QVERIFY(spy.wait(10000));
        QCOMPARE(spy.first().first().toBool(), false);
        QVERIFY(page->findChild<QLabel*>(QStringLiteral("ContingencyStatus"))->text().startsWith(QStringLiteral("Анализ прерван")));
        QVERIFY(!QFile::exists(f.path(QStringLiteral("contingency.rez"))));
        QVERIFY(action(*f.window, "Contingency1")->isEnabled());
        QVERIFY(f.dialogs.unexpected().isEmpty());
    }

    // A long study: F9 and closing the window say that it runs; a cancel
    // keeps the outages already solved in the table, marked as partial.
    void aCancelledStudyKeepsWhatItSolved()
    {
        WindowFixture f;
        tarvel::test::GridOptions grid;
        grid.nodes = 3000;
        pane(*f.window, "Memo1")->setPlainText(QString::fromStdString(tarvel::test::generateGrid(grid).text));
        action(*f.window, "N2")->trigger();
        tarvel::ui::ContingencyRequest request;
        request.threads = 1;
        f.dialogs.answerContingency(request);
        auto* page = named<tarvel::ui::ContingencyPage>(*f.window, "Contingency1Page");
        QSignalSpy spy(page, &tarvel::ui::ContingencyPage::finished);
        action(*f.window, "Contingency1")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(page->progress()->value() > 0 || !page->running(), 20000);
        if (!page->running())
            QSKIP("the study was done before it could be cancelled");

        action(*f.window, "N2")->trigger();
        QCOMPARE(f.dialogs.messages().size(), 1);
        QVERIFY(f.dialogs.messages().front().startsWith(QStringLiteral("Идет анализ отключений (N-1).")));
        f.dialogs.answerQuestion(QMessageBox::No);
        QVERIFY(!f.window->close());
        QCOMPARE(f.dialogs.questions(), QStringList{QStringLiteral("Идет анализ отключений (N-1). Прервать его и закрыть окно?")});

        page->cancel();
        QVERIFY(spy.wait(20000));
        QCOMPARE(spy.first().first().toBool(), false);
        const int rows = page->table()->rowCount();
        QVERIFY(rows > 0);
        QVERIFY(rows < page->progress()->maximum());
        const QString status = page->findChild<QLabel*>(QStringLiteral("ContingencyStatus"))->text();
        QVERIFY2(status.contains(QStringLiteral("Таблица неполная")), qPrintable(status));
        QVERIFY(status.contains(QStringLiteral("%1 из %2").arg(rows).arg(page->progress()->maximum())));
        // Each row is the outage it names, on the diagram as well.
        QVERIFY(page->overlayOf(page->outageOfRow(rows - 1)).has_value());
        QVERIFY(!page->findChild<QPushButton*>(QStringLiteral("ContingencyCsv"))->isEnabled());
        QVERIFY(!QFile::exists(f.path(QStringLiteral("contingency.rez"))));
        QVERIFY(f.dialogs.unexpected().isEmpty());
    }

    void aTimeLeftIsGuessedFromThePace()
    {
        QCOMPARE(tarvel::ui::timeLeftText(1000, 10, 100), QString());  // too early to tell
        QCOMPARE(tarvel::ui::timeLeftText(10000, 50, 100), QStringLiteral(", осталось около 10 с"));
        QCOMPARE(tarvel::ui::timeLeftText(60000, 10, 100), QStringLiteral(", осталось около 9 мин"));
        QCOMPARE(tarvel::ui::timeLeftText(60000, 100, 100), QString());
    }

    void aBadListIsToldWithItsLine()
    {
        WindowFixture f;
        f.window->openFile(sample("ieee14.cdu"));
        action(*f.window, "N2")->trigger();
        f.write(QStringLiteral("list.txt"), "1 2\n2 77\n");
        tarvel::ui::ContingencyRequest request;
        request.listFile = f.path(QStringLiteral("list.txt"));
        f.dialogs.answerContingency(request);
        action(*f.window, "Contingency1")->trigger();
        QCOMPARE(f.dialogs.messages(), QStringList{QStringLiteral("Строка 2 списка отключений: ветви 2 77 в сети нет")});
        QVERIFY(!named<tarvel::ui::ContingencyPage>(*f.window, "Contingency1Page")->running());
        QVERIFY(!QFile::exists(f.path(QStringLiteral("contingency.rez"))));
        QVERIFY(f.dialogs.unexpected().isEmpty());
    }
};

QTEST_MAIN(ContingencyTest)
#include "test_contingency.moc"
