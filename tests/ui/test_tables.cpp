// The "Таблицы" tab: grids bound to the input pane both ways, one undo
// history, findings at their cells, the last run's figures, bulk edits, and
// the time a large network's tables take.
#include <cmath>

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGraphicsItem>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QSet>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTextBlock>
#include <QTextDocument>

#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/WindowFixture.h"
#include "ui/DiagramPage.h"
#include "ui/DiagramView.h"
#include "ui/NetworkTableModel.h"
#include "ui/ReportTabs.h"
#include "ui/TablesPage.h"

using tarvel::test::action;
using tarvel::test::named;
using tarvel::test::pane;
using tarvel::test::tabs;
using tarvel::test::WindowFixture;
using tarvel::ui::TablesPage;

namespace {

constexpr int kP = static_cast<int>(tarvel::app::NodeColumn::P);
constexpr int kUnom = static_cast<int>(tarvel::app::NodeColumn::Unom);

}  // namespace

class TablesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowFixture> f;
    tarvel::ui::TForm1& w() { return *f->window; }
    TablesPage* page() { return named<TablesPage>(w(), "Tables1"); }
    QTextDocument* document() { return pane(w(), "Memo1")->document(); }
    QString line(int n) { return document()->findBlockByNumber(n - 1).text(); }

    void openSample()
    {
        f->dialogs.answerOpen(QString::fromStdString(tarvel::test::sourcePath("samples/ieee14.cdu").string()));
        action(w(), "N4")->trigger();
    }
    void showTables()
    {
        QVERIFY(!tabs(w())->isTabVisible(tarvel::ui::ReportTabs::Tables));
        action(w(), "Tables2")->trigger();
        QCOMPARE(tabs(w())->currentIndex(), static_cast<int>(tarvel::ui::ReportTabs::Tables));
        page()->refresh();
    }
    // The index in view of a node record's cell.
    QModelIndex nodeCell(int number, int column)
    {
        QAbstractItemModel* shown = page()->nodeView()->model();
        for (int r = 0; r < shown->rowCount(); ++r) {
            const QModelIndex numberCell = shown->index(r, static_cast<int>(tarvel::app::NodeColumn::Number));
            if (numberCell.data().toInt() == number && shown->index(r, 0).data().toString().startsWith(QStringLiteral("Узел")))
                return shown->index(r, column);
        }
        return {};
    }

private slots:
    void init()
    {
        f = std::make_unique<WindowFixture>();
        QVERIFY(f->exposed);
    }
    void cleanup()
    {
        const QStringList unexpected = f->dialogs.unexpected();
        f.reset();
        QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QStringLiteral("; "))));
    }

    void gridAndTextEditEachOtherWithOneUndoHistory()
    {
        openSample();
        showTables();
        QCOMPARE(page()->nodeModel()->rowCount(), 15);  // base node, 13 nodes, a shunt
        QCOMPARE(page()->branchModel()->rowCount(), 20);
        QVERIFY(!document()->isModified());
        const QString before = document()->toPlainText();

        // A cell edit rewrites its field and nothing else, and marks the document modified.
        QVERIFY(page()->nodeView()->model()->setData(nodeCell(4, kP), QStringLiteral("50,5")));
        QCOMPARE(line(4), QStringLiteral("0201 0 4 220 50.5 -3.9 0 0 0 0 0"));
        QVERIFY(document()->isModified());
        QCOMPARE(nodeCell(4, kP).data().toString(), QStringLiteral("50.5"));
        // A refused value writes nothing and says why, with the line.
        QVERIFY(!page()->nodeView()->model()->setData(nodeCell(4, kP), QStringLiteral("abc")));
        QCOMPARE(page()->messageLabel()->text(), QStringLiteral("Строка 4: Текст \"abc\" не является числом"));

        // Ctrl+Z in the grid undoes the step in the text, Ctrl+Shift+Z redoes it.
        page()->nodeView()->setFocus();
        QTest::keyClick(page()->nodeView(), Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(document()->toPlainText(), before);
        QCOMPARE(nodeCell(4, kP).data().toString(), QStringLiteral("47.8"));
        QTest::keyClick(page()->nodeView(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(line(4), QStringLiteral("0201 0 4 220 50.5 -3.9 0 0 0 0 0"));

        // The text typed in the pane is in the grid once it is read.
        QTextCursor cursor(document()->findBlockByNumber(4));
        cursor.movePosition(QTextCursor::EndOfBlock, QTextCursor::KeepAnchor);
        cursor.insertText(QStringLiteral("0201 0 5 220 9.25 1.6 0 0 0 0 0"));
        page()->refresh();
        QCOMPARE(nodeCell(5, kP).data().toString(), QStringLiteral("9.25"));
        // The pane's own undo takes back the typing and then the grid's edit.
        document()->undo();
        document()->undo();
        page()->refresh();
        QCOMPARE(document()->toPlainText(), before);
    }

    void findingsAtCellsAndFiguresOfTheRun()
    {
        openSample();
        action(w(), "N2")->trigger();
        named<tarvel::ui::DiagramPage>(w(), "Diagram1")->waitForLayout();
        showTables();
        // V and the angle of node 14 as network.rez gives them (227.82, -16.03).
        const int u = page()->nodeModel()->dataColumns();
        QCOMPARE(nodeCell(14, u).data().toString(), QStringLiteral("227.817"));
        QCOMPARE(nodeCell(14, u + 1).data().toString().left(6), QStringLiteral("-16.03"));
        // A nominal voltage the reader refuses is marked at its cell before any calculation.
        QVERIFY(page()->nodeView()->model()->setData(nodeCell(7, kUnom), QStringLiteral("5000")));
        QCOMPARE(nodeCell(7, kUnom).data(Qt::ToolTipRole).toString(),
                 QStringLiteral("Числовая ошибка 2. U ном. велико или мало\n(строка 7)"));
        QVERIFY(nodeCell(8, kUnom).data(Qt::ToolTipRole).toString().isEmpty());
        // A double-click on the diagram (node slot 9) brings its row forward.
        tabs(w())->setCurrentIndex(tarvel::ui::ReportTabs::Diagram);
        emit named<tarvel::ui::DiagramPage>(w(), "Diagram1")->nodeActivated(9);
        QCOMPARE(page()->nodeView()->currentIndex().siblingAtColumn(1).data().toInt(), 10);  // the ninth node record
        QCOMPARE(tabs(w())->currentIndex(), static_cast<int>(tarvel::ui::ReportTabs::Tables));
        emit named<tarvel::ui::DiagramPage>(w(), "Diagram1")->branchActivated(3);
        QCOMPARE(page()->branchView()->currentIndex().siblingAtColumn(1).data().toInt(), 3);  // branch 2-3
        // And back: the row chosen is the item marked on the diagram.
        auto* view = named<tarvel::ui::DiagramPage>(w(), "Diagram1")->view();
        QVERIFY(view->branchItem(3) && view->branchItem(3)->isSelected());
        page()->nodeView()->setCurrentIndex(page()->nodeView()->model()->index(2, 1));
        const int chosen = page()->nodeView()->currentIndex().siblingAtColumn(1).data().toInt();
        QVERIFY(view->nodeItem(chosen) && view->nodeItem(chosen)->isSelected());
        QVERIFY(!view->branchItem(3)->isSelected());
    }

    void loadingOfAnImportedCaseAgainstItsRatings()
    {
        f->dialogs.answerOpen(QString::fromStdString(tarvel::test::sourcePath("tests/data/interchange/case9.m").string()));
        action(w(), "N35")->trigger();
        action(w(), "N2")->trigger();
        showTables();
        // Branch 5-6 is rated 150 MVA in the case.
        QAbstractItemModel* shown = page()->branchView()->model();
        const int flows = page()->branchModel()->dataColumns();
        int row = -1;
        for (int r = 0; r < shown->rowCount(); ++r) {
            const QSet<int> ends{shown->index(r, 0).data().toInt(), shown->index(r, 1).data().toInt()};
            if (ends == QSet<int>{5, 6})
                row = r;
        }
        QVERIFY(row >= 0);
        auto figure = [&](int k) { return shown->index(row, flows + k).data().toDouble(); };
        const double expected = 100.0 * std::max(std::hypot(figure(0), figure(1)), std::hypot(figure(2), figure(3))) / 150.0;
        QVERIFY(std::abs(shown->index(row, flows + 6).data().toDouble() - expected) < 0.1);
    }

    void bulkEditsAreOneStepEach()
    {
        openSample();
        showTables();
        const QString before = document()->toPlainText();
        // The loads of nodes 9..14 (filtered by a node number range would do; here selected) by 1.1.
        QTableView* view = page()->nodeView();
        QItemSelection selection;
        for (const int number : {9, 10, 11})
            selection.select(nodeCell(number, kP), nodeCell(number, kP + 1));
        view->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
        page()->factorField()->setText(QStringLiteral("1,1"));
        page()->multiplySelection();
        QCOMPARE(line(9), QStringLiteral("0201 0 9 220 32.45 18.26 0 0 0 0 0"));
        QCOMPARE(line(10), QStringLiteral("0201 0 10 220 9.9 6.38 0 0 0 0 0"));
        document()->undo();
        QCOMPARE(document()->toPlainText(), before);

        // Fill down: the top cell of the selection into the others of its column.
        QItemSelection column;
        column.select(nodeCell(9, kP), nodeCell(9, kP));
        column.select(nodeCell(10, kP), nodeCell(10, kP));
        column.select(nodeCell(11, kP), nodeCell(11, kP));
        view->selectionModel()->select(column, QItemSelectionModel::ClearAndSelect);
        view->setFocus();
        QTest::keyClick(view, Qt::Key_D, Qt::ControlModifier);
        QCOMPARE(line(10), QStringLiteral("0201 0 10 220 29.5 5.8 0 0 0 0 0"));
        QCOMPARE(line(11), QStringLiteral("0201 0 11 220 29.5 1.8 0 0 0 0 0"));
        document()->undo();
        QCOMPARE(document()->toPlainText(), before);

        // A block from a spreadsheet: rows by line ends, cells by tabs, a decimal comma.
        view->setCurrentIndex(nodeCell(4, kP));
        QApplication::clipboard()->setText(QStringLiteral("1,5\t2\r\n3\t4,25\r\n"));
        view->setFocus();
        QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
        QCOMPARE(line(4), QStringLiteral("0201 0 4 220 1.5 2 0 0 0 0 0"));
        QCOMPARE(line(5), QStringLiteral("0201 0 5 220 3 4.25 0 0 0 0 0"));
        document()->undo();
        QCOMPARE(document()->toPlainText(), before);

        // Filtered by district and node number.
        page()->numberFilter()->setText(QStringLiteral("4"));
        QCOMPARE(view->model()->rowCount(), 1);
        QCOMPARE(page()->branchView()->model()->rowCount(), 5);  // 2-4, 3-4, 4-5, 4-7, 4-9
        page()->numberFilter()->clear();

        // A row added and removed: a record line after the last node, then gone.
        view->setFocus();
        page()->addRecord();
        QCOMPARE(line(15), QStringLiteral("0201 0 15 220 14.9 5 0 0 0 0 0"));
        view->selectionModel()->select(nodeCell(15, 1), QItemSelectionModel::ClearAndSelect);
        page()->removeSelectedRecords();
        QCOMPARE(document()->toPlainText(), before);

        // Another document starts with the input tab only, as every document does.
        f->dialogs.answerQuestion(QMessageBox::No);
        action(w(), "N3")->trigger();
        QCOMPARE(f->visibleTabs().size(), 1);
    }

    void largeNetworkOpensAndEditsQuickly()
    {
        tarvel::test::GridOptions options;
        options.nodes = 10000;
        const std::string text = tarvel::test::cduText(tarvel::test::generateGrid(options));
        document()->setPlainText(QString::fromStdString(text));
        QElapsedTimer timer;
        timer.start();
        showTables();
        QApplication::processEvents();
        const qint64 opened = timer.elapsed();
        QVERIFY(page()->nodeModel()->rowCount() > 10000);
        const QModelIndex cell = nodeCell(5000, kP);
        timer.restart();
        QVERIFY(page()->nodeView()->model()->setData(cell, QStringLiteral("12.5")));
        const qint64 edited = timer.elapsed();
        QCOMPARE(cell.data().toString(), QStringLiteral("12.5"));
        // The findings follow once the edits pause: a nominal voltage out of range is marked.
        QVERIFY(page()->nodeView()->model()->setData(cell.siblingAtColumn(kUnom), QStringLiteral("0.01")));
        QTRY_VERIFY(cell.siblingAtColumn(kUnom).data(Qt::ToolTipRole).toString().startsWith(
            QStringLiteral("Числовая ошибка 2.")));
        qInfo("10 000 nodes: tables shown in %lld ms, a cell edited in %lld ms", opened, edited);
        // The loads of one district by 1.1, as one step.
        page()->districtFilter()->setCurrentIndex(page()->districtFilter()->findData(3));
        QAbstractItemModel* shown = page()->nodeView()->model();
        QVERIFY(shown->rowCount() > 500);
        page()->nodeView()->selectionModel()->select(
            QItemSelection(shown->index(0, kP), shown->index(shown->rowCount() - 1, kP + 1)),
            QItemSelectionModel::ClearAndSelect);
        const QString firstP = shown->index(0, kP).data().toString();
        timer.restart();
        page()->multiplySelection();
        const qint64 multiplied = timer.elapsed();
        qInfo("%d loads of district 3 multiplied in %lld ms", shown->rowCount(), multiplied);
        QCOMPARE(shown->index(0, kP).data().toDouble(), std::round(firstP.toDouble() * 1.1 * 1e4) / 1e4);
        document()->undo();
        page()->refresh();
        QCOMPARE(shown->index(0, kP).data().toString(), firstP);
        // A block of a thousand rows pasted from the first row shown on.
        QString block;
        for (int k = 0; k < 1000; ++k)
            block += QStringLiteral("%1,25\t1\n").arg(k);
        QApplication::clipboard()->setText(block);
        page()->nodeView()->setCurrentIndex(shown->index(0, kP));
        page()->nodeView()->setFocus();
        timer.restart();
        QTest::keyClick(page()->nodeView(), Qt::Key_V, Qt::ControlModifier);
        const qint64 pasted = timer.elapsed();
        qInfo("a block of 1000 rows pasted in %lld ms", pasted);
        QCOMPARE(shown->index(999, kP).data().toString(), QStringLiteral("999.25"));
        document()->undo();
        page()->refresh();
        QCOMPARE(shown->index(0, kP).data().toString(), firstP);
        // Generous bounds for a shared test machine; the figures are told above.
        QVERIFY(opened < 3000);
        QVERIFY(edited < 1000);
    }
};

QTEST_MAIN(TablesTest)
#include "test_tables.moc"
