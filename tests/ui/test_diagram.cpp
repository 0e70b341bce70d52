// The "Схема" tab: when it is shown, its hover texts against network.rez,
// search, double-click on a shape, the exports and its help topic.
#include <QGraphicsItem>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollBar>
#include <QToolTip>

#include "model/CalculationSettings.h"
#include "model/NetworkModel.h"
#include "model/TextFile.h"
#include "tests/support/NetworkGenerator.h"
#include "tests/support/TestSupport.h"
#include "tests/ui/WindowFixture.h"
#include "ui/DiagramPage.h"
#include "ui/DiagramView.h"
#include "ui/Help.h"

using tarvel::test::action;
using tarvel::test::menu;
using tarvel::test::named;
using tarvel::test::pane;
using tarvel::test::tabs;
using tarvel::test::ScriptedDialogs;
using tarvel::test::WindowFixture;

namespace {

const QString kDiagram = QStringLiteral("Схема");

}  // namespace

class DiagramTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowFixture> f;
    tarvel::ui::TForm1& w() { return *f->window; }
    tarvel::ui::DiagramView* view() { return named<tarvel::ui::DiagramPage>(w(), "Diagram1")->view(); }

    void openSample()
    {
        f->dialogs.answerOpen(QString::fromStdString(tarvel::test::sourcePath("samples/ieee14.cdu").string()));
        action(w(), "N4")->trigger();
    }
    void calculate()
    {
        action(w(), "N2")->trigger();
        named<tarvel::ui::DiagramPage>(w(), "Diagram1")->waitForLayout();
    }
    QStringList reportLines()
    {
        std::string utf8;
        tarvel::readTextFile(f->path(QStringLiteral("network.rez")).toStdString(), utf8);
        return QString::fromStdString(utf8).split(QStringLiteral("\r\n"));
    }
    void showDiagram()
    {
        tabs(w())->setCurrentWidget(named(w(), "TabSheet6"));
        view()->fitAll();
    }
    QPoint onScreen(QGraphicsItem* item, QPointF local = {})
    {
        return view()->mapFromScene(item->mapToScene(local));
    }

    // The report's figures as the hover texts give them: a zero without a sign.
    static QStringList unsignedZeros(QStringList figures)
    {
        for (QString& figure : figures)
            if (figure == QStringLiteral("-0.00"))
                figure = QStringLiteral("0.00");
        return figures;
    }

private slots:
    void init()
    {
        f = std::make_unique<WindowFixture>();
        QVERIFY(f->exposed);
        w().calculation().settings.precision = 0.01f;
        w().calculation().settings.iteraz = 10;
    }
    void cleanup()
    {
        const QStringList unexpected = f->dialogs.unexpected();
        f.reset();
        QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QStringLiteral("; "))));
    }

    void tabFollowsEveryRunThatReadTheInput()
    {
        openSample();
        QVERIFY(!f->visibleTabs().contains(kDiagram));
        calculate();
        QCOMPARE(f->visibleTabs().last(), kDiagram);
        QCOMPARE(f->activeTab(), QStringLiteral("Результаты"));
        const QStringList exports = f->visibleEntries(menu(w(), "N13"));
        QVERIFY(exports.contains(QStringLiteral("Схема в SVG...")) && exports.contains(QStringLiteral("Схема в PNG...")));
        QVERIFY(named<tarvel::ui::DiagramPage>(w(), "Diagram1")->picture().withResults);
        QCOMPARE(named<tarvel::ui::DiagramPage>(w(), "Diagram1")->picture().nodes.size(), std::size_t(14));

        // Refused data: the topology alone, the finding on the node.
        pane(w(), "Memo1")->setPlainText(QStringLiteral("0102 0 1 110 0 0 0 0 0 0 0\n0201 0 2 110 10 5 0 0 0 0 0\n"
                                               "0201 0 3 110 1 1 0 0 0 0 0\n0301 0 1 2 5 20 -100 1 0 0 0\n"));
        calculate();
        QCOMPARE(f->visibleTabs(), (QStringList{QStringLiteral("ieee14.cdu"), kDiagram}));
        QCOMPARE(f->activeTab(), QStringLiteral("ieee14.cdu"));
        QVERIFY(!named<tarvel::ui::DiagramPage>(w(), "Diagram1")->picture().withResults);
        QVERIFY(view()->nodeItem(3)->toolTip().contains(QStringLiteral("Нет ветвей для узла 3")));
        QVERIFY(named<tarvel::ui::DiagramPage>(w(), "Diagram1")->statusLabel()->text().contains(QStringLiteral("отвергнуты")));

        // A refused run while the diagram is on display keeps it there.
        showDiagram();
        calculate();
        QCOMPARE(f->activeTab(), kDiagram);

        // Another document hides it again, and so does New.
        openSample();
        QVERIFY(!f->visibleTabs().contains(kDiagram));
        calculate();
        f->dialogs.answerQuestion(QMessageBox::Yes);  // lose the results
        action(w(), "N3")->trigger();
        QCOMPARE(f->visibleTabs(), QStringList{QStringLiteral("Без_имени(*.cdu)")});
    }

    void hoverTextsAgreeWithTheReport()
    {
        openSample();
        calculate();
        const QStringList lines = reportLines();
        const int nodesAt = lines.indexOf(QRegularExpression(QStringLiteral("^ +N +V +dV.*")));
        const int branchesAt = lines.indexOf(QRegularExpression(QStringLiteral("^ +N1 +N1 +P12.*")));
        QVERIFY(nodesAt > 0 && branchesAt > nodesAt);
        for (int i = nodesAt + 1; i <= nodesAt + 14; ++i) {
            const QStringList v = unsignedZeros(lines[i].split(QLatin1Char(' '), Qt::SkipEmptyParts));
            QGraphicsItem* node = view()->nodeItem(v[0].toInt());
            QVERIFY2(node, qPrintable(v[0]));
            const QString tip = node->toolTip();
            QVERIFY2(tip.startsWith(QStringLiteral("Узел ") + v[0]), qPrintable(tip));
            for (const QString& part : {QStringLiteral("V = %1 кВ").arg(v[1]), QStringLiteral("Угол = %1°").arg(v[2]),
                                        QStringLiteral("P = %1 МВт, Q = %2 Мвар").arg(v[3], v[4]),
                                        QStringLiteral("Pg = %1 МВт, Qb = %2 Мвар").arg(v[5], v[6])})
                QVERIFY2(tip.contains(part), qPrintable(tip + " / " + part));
            // Every record but the base node's gives 220 kV; the fixed-voltage
            // nodes hold more, and their deviation is measured from 220.
            if (v[0] != QStringLiteral("1"))
                QVERIFY2(tip.contains(QStringLiteral("(Uном 220.00 кВ, ")), qPrintable(tip));
            QVERIFY2(!tip.contains(QStringLiteral("dV")), qPrintable(tip));
        }
        for (int j = 1; j <= 20; ++j) {
            const QStringList v = unsignedZeros(lines[branchesAt + j].split(QLatin1Char(' '), Qt::SkipEmptyParts));
            const QString tip = view()->branchItem(j)->toolTip();
            QVERIFY2(tip.startsWith(QStringLiteral("Ветвь %1 - %2").arg(v[0], v[1])), qPrintable(tip));
            for (const QString& part : {QStringLiteral("P12 = %1 МВт, Q12 = %2 Мвар").arg(v[2], v[3]),
                                        QStringLiteral("P21 = %1 МВт, Q21 = %2 Мвар").arg(v[4], v[5]),
                                        QStringLiteral("dP = %1 МВт").arg(v[6])})
                QVERIFY2(tip.contains(part), qPrintable(tip + " / " + part));
        }
    }

    void searchCentresAndMarksTheNode()
    {
        openSample();
        calculate();
        showDiagram();
        view()->zoomBy(4);  // larger than the view, so that it can be centred anywhere
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        view()->setFocus();
        QTest::keyClick(view(), Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(QApplication::focusWidget(), named<tarvel::ui::DiagramPage>(w(), "Diagram1")->searchField());
        QTest::keyClicks(named<tarvel::ui::DiagramPage>(w(), "Diagram1")->searchField(), QStringLiteral("13"));
        QTest::keyClick(named<tarvel::ui::DiagramPage>(w(), "Diagram1")->searchField(), Qt::Key_Return);
        QGraphicsItem* node = view()->nodeItem(13);
        QVERIFY(node->isSelected());
        const QPoint centre = view()->viewport()->rect().center();
        QVERIFY((onScreen(node) - centre).manhattanLength() < 4);
        QVERIFY(view()->transform().m11() >= 0.7);  // zoomed in far enough to read

        named<tarvel::ui::DiagramPage>(w(), "Diagram1")->searchField()->setText(QStringLiteral("77"));
        named<tarvel::ui::DiagramPage>(w(), "Diagram1")->findNode();
        QCOMPARE(named<tarvel::ui::DiagramPage>(w(), "Diagram1")->statusLabel()->text(), QStringLiteral("Узел 77 на схеме не найден"));
        QVERIFY(node->isSelected());
    }

    void doubleClickSelectsTheRecord()
    {
        openSample();
        calculate();
        showDiagram();
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, onScreen(view()->nodeItem(5)));
        QCOMPARE(f->activeTab(), QStringLiteral("ieee14.cdu"));
        QCOMPARE(pane(w(), "Memo1")->textCursor().selectedText(), QStringLiteral("0201 0 5 220 7.6 1.6 0 0 0 0 0"));

        // Branch 6-12 (the 11th): a point of its line away from both nodes.
        showDiagram();
        QGraphicsItem* branch = view()->branchItem(11);
        const QPointF a = view()->nodeItem(6)->pos(), b = view()->nodeItem(12)->pos();
        view()->centerOn(a + (b - a) * 0.35);
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, view()->mapFromScene(a + (b - a) * 0.35));
        QVERIFY(branch);
        QCOMPARE(pane(w(), "Memo1")->textCursor().selectedText(), QStringLiteral("0301 0 6 12 59.48844 123.812 -0 1 0 0 0"));
    }

    // The run lays the diagram out while its tab is hidden: shown, the whole
    // network fills the view rather than a corner of it.
    void theFirstLookShowsTheWholeNetwork()
    {
        openSample();
        calculate();
        QVERIFY(!view()->isVisible());
        tabs(w())->setCurrentWidget(named(w(), "TabSheet6"));
        QVERIFY(view()->isVisible());
        const QRect network = view()->mapFromScene(view()->scene()->itemsBoundingRect()).boundingRect();
        const QRect shown = view()->viewport()->rect();
        QVERIFY2(shown.contains(network.adjusted(20, 20, -20, -20)), "the network reaches beyond the view");
        QVERIFY2(network.width() > shown.width() / 2 || network.height() > shown.height() / 2, "the network is a speck");
    }

    // Zoomed far out the view paints the network in batches: the dots must
    // keep the nodes' colours and places, and pointing at a dot must still
    // find its node although the dot is larger than the node's shape.
    void fromAfarTheDotsShowAndAnswer()
    {
        openSample();
        calculate();
        showDiagram();
        view()->zoomBy(1.0 / view()->transform().m11());
        QGraphicsItem* node = view()->nodeItem(5);
        view()->centerOn(node);
        const QImage near = view()->viewport()->grab().toImage();
        const QRgb fill = near.pixel(onScreen(node));

        view()->zoomBy(0.1);
        QVERIFY(view()->isFarView());
        view()->centerOn(node);
        const QImage far = view()->viewport()->grab().toImage();
        QCOMPARE(QColor(far.pixel(onScreen(node))), QColor(fill));
        const QPointF a = view()->nodeItem(6)->pos(), b = view()->nodeItem(12)->pos();
        QVERIFY(qGray(far.pixel(view()->mapFromScene((a + b) / 2))) < 200);  // the branch between them

        // Two pixels off the centre: inside the dot, outside the node's shape at this scale.
        const QPoint pointer = onScreen(node) + QPoint(2, 1);
        QHelpEvent help(QEvent::ToolTip, pointer, view()->viewport()->mapToGlobal(pointer));
        QApplication::sendEvent(view()->viewport(), &help);
        QVERIFY2(QToolTip::text().startsWith(QStringLiteral("Узел 5")), qPrintable(QToolTip::text()));
        QTest::mouseDClick(view()->viewport(), Qt::LeftButton, {}, pointer);
        QCOMPARE(pane(w(), "Memo1")->textCursor().selectedText(), QStringLiteral("0201 0 5 220 7.6 1.6 0 0 0 0 0"));

        // A found node keeps its mark when one zooms out again.
        showDiagram();
        QVERIFY(view()->centreOnNode(13));
        view()->zoomBy(0.1 / view()->transform().m11());
        QVERIFY(view()->isFarView());
        const QImage marked = view()->viewport()->grab().toImage();
        const QPoint at = onScreen(view()->nodeItem(13));
        int markPixels = 0;
        for (int dy = -8; dy <= 8; ++dy)
            for (int dx = -8; dx <= 8; ++dx)
                markPixels += marked.pixel(at + QPoint(dx, dy)) == QColor(0x00, 0x99, 0xff).rgb();
        QVERIFY(markPixels > 10);
    }

    // A drag that starts on a node pans the view as one on empty ground
    // does; "Найти" leaves the focus in the field for the next number.
    void aDragFromANodePansAndTheSearchKeepsTheFocus()
    {
        openSample();
        calculate();
        showDiagram();
        view()->zoomBy(4);
        QApplication::processEvents();
        QGraphicsItem* node = view()->nodeItem(view()->nodeItem(13) ? 13 : 1);
        view()->centerOn(node);
        const QPoint from = onScreen(node);
        QVERIFY(view()->itemAt(from));
        const int h = view()->horizontalScrollBar()->value(), v = view()->verticalScrollBar()->value();
        QTest::mousePress(view()->viewport(), Qt::LeftButton, {}, from);
        for (int step = 1; step <= 4; ++step)
            QTest::mouseMove(view()->viewport(), from + QPoint(10 * step, 8 * step));
        QTest::mouseRelease(view()->viewport(), Qt::LeftButton, {}, from + QPoint(40, 32));
        QCOMPARE(view()->horizontalScrollBar()->value(), h - 40);
        QCOMPARE(view()->verticalScrollBar()->value(), v - 32);

        auto* search = named<QLineEdit>(w(), "DiagramSearch");
        search->setFocus();
        search->setText(QStringLiteral("13"));
        QTest::keyClick(search, Qt::Key_Return);
        QCOMPARE(named<QLabel>(w(), "DiagramStatus")->text(), QStringLiteral("Узел 13"));
        QVERIFY(search->hasFocus());
        QCOMPARE(search->selectedText(), QStringLiteral("13"));
    }

    // Beyond 200 000 nodes and branches the tab says the network is not
    // drawn, and nothing is laid out.
    void aNetworkTooLargeToDrawIsToldInsteadOfLaidOut()
    {
        QString text = QStringLiteral("0102 0 1 220 0 0 0 0 0 0 0\n0201 0 2 220 10 5 0 0 0 0 0\n");
        const QString branch = QStringLiteral("0301 0 1 2 1 10 0 1 0 0 0\n");
        text.reserve(text.size() + 200000 * branch.size());
        for (int j = 0; j < 200000; ++j)
            text += branch;
        action(w(), "N3")->trigger();
        pane(w(), "Memo1")->setText(text);
        action(w(), "N2")->trigger();
        QVERIFY(f->visibleTabs().contains(kDiagram));
        QVERIFY(!named<tarvel::ui::DiagramPage>(w(), "Diagram1")->isLayingOut());
        const auto* notes = named<tarvel::ui::DiagramPage>(w(), "Diagram1")->findChild<QLabel*>(QStringLiteral("DiagramNotes"));
        QVERIFY2(notes->text().startsWith(QStringLiteral("Схема не строится: узлов 2, ветвей 200")),
                 qPrintable(notes->text()));
        QVERIFY(!notes->isHidden());
        QVERIFY(view()->scene()->items().isEmpty());
        QVERIFY(!action(w(), "DiagramSvg1")->isEnabled() && !action(w(), "DiagramPng1")->isEnabled());

        // The next network of a usual size is drawn, and can be exported.
        if (pane(w(), "Memo1")->isModified())
            f->dialogs.answerQuestion(QMessageBox::No);
        openSample();
        calculate();
        QVERIFY(!view()->scene()->items().isEmpty());
        QVERIFY(action(w(), "DiagramSvg1")->isEnabled() && action(w(), "DiagramPng1")->isEnabled());
        QVERIFY(named<tarvel::ui::DiagramPage>(w(), "Diagram1")->statusLabel()->text().isEmpty());
        QVERIFY(notes->isHidden());
    }

    // The legend is a widget of its own above the view: panning moves the
    // picture under it, never the legend, which stays whole; it lists the
    // district tints too.
    void legendStaysPutAndWholeWhilePanning()
    {
        f->dialogs.answerOpen(QString::fromStdString(tarvel::test::sourcePath("samples/districts.cdu").string()));
        action(w(), "N4")->trigger();
        calculate();
        showDiagram();
        auto* legend = named<tarvel::ui::DiagramPage>(w(), "Diagram1")->findChild<QWidget*>(QStringLiteral("DiagramLegend"));
        QVERIFY(legend && legend->isVisible());
        QVERIFY(legend->height() > 16 * (1 + 5 + 1 + 4));  // the scale, the heading and four districts
        view()->zoomBy(3);
        const QRect area(legend->mapTo(&w(), QPoint(0, 0)), legend->size());
        auto onScreen = [&] {
            QTest::qWait(100);
            return w().screen()->grabWindow(w().winId(), area.x(), area.y(), area.width(), area.height()).toImage();
        };
        const QImage before = onScreen();
        for (int step = 0; step < 3; ++step) {
            view()->horizontalScrollBar()->setValue(view()->horizontalScrollBar()->value() + 23);
            view()->verticalScrollBar()->setValue(view()->verticalScrollBar()->value() + 17);
            QCOMPARE(onScreen(), before);
        }
    }

    void exportsAndHelp()
    {
        openSample();
        calculate();
        f->dialogs.answerSave(f->path(QStringLiteral("net.svg")));
        action(w(), "DiagramSvg1")->trigger();
        const QByteArray svg = f->read(QStringLiteral("net.svg"));
        QVERIFY(svg.startsWith("<?xml"));
        for (int n = 1; n <= 14; ++n)
            QVERIFY(svg.contains(QStringLiteral(">%1</text>").arg(n).toUtf8()));

        // The dialogs propose the document's name in its folder, and ask
        // nothing of a new file.
        const QString samples = QString::fromStdString(tarvel::test::sourcePath("samples").string());
        QCOMPARE(f->dialogs.shown.back().proposed, QDir(samples).filePath(QStringLiteral("ieee14.svg")));
        QVERIFY(!f->dialogs.shown.back().confirmNewFile);
        QVERIFY(f->dialogs.questions().isEmpty());

        f->dialogs.answerSave(f->path(QStringLiteral("net.png")));
        action(w(), "DiagramPng1")->trigger();
        QCOMPARE(f->dialogs.shown.back().proposed, QDir(samples).filePath(QStringLiteral("ieee14.png")));
        const QImage png(f->path(QStringLiteral("net.png")));
        QVERIFY(png.width() > 300 && png.height() > 200);

        // A folder that is not there: told, nothing written.
        f->dialogs.answerSave(f->path(QStringLiteral("missing/net.svg")));
        action(w(), "DiagramSvg1")->trigger();
        QCOMPARE(f->dialogs.messages().size(), 1);

        showDiagram();
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        view()->setFocus();
        QTest::keyClick(view(), Qt::Key_F1);
        QCOMPARE(tarvel::ui::shownHelpTopic(), 500);
    }

    // The pictures of the README: TARVEL_DIAGRAM_SHOTS=folder.
    void screenshots()
    {
        const QString folder = qEnvironmentVariable("TARVEL_DIAGRAM_SHOTS");
        if (folder.isEmpty())
            QSKIP("TARVEL_DIAGRAM_SHOTS not set");
        w().resize(1100, 760);
        f->dialogs.answerOpen(QString::fromStdString(tarvel::test::sourcePath("samples/districts.cdu").string()));
        action(w(), "N4")->trigger();
        calculate();
        showDiagram();
        QTest::qWait(100);
        view()->fitAll();
        QVERIFY(w().grab().save(folder + QStringLiteral("/diagram-districts.png")));

        // A generated meshed grid of 2000 nodes, calculated.
        tarvel::test::GridOptions grid;
        grid.nodes = 2000;
        const std::string text = tarvel::test::cduText(tarvel::test::generateGrid(grid));
        f->dialogs.answerQuestion(QMessageBox::Yes);  // a new document: lose the results
        action(w(), "N3")->trigger();
        pane(w(), "Memo1")->setPlainText(QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
        calculate();
        showDiagram();
        QTest::qWait(100);
        view()->fitAll();
        QVERIFY(w().grab().save(folder + QStringLiteral("/diagram-2000.png")));
    }
};

QTEST_MAIN(DiagramTest)
#include "test_diagram.moc"
