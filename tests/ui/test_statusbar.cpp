// The status bar: caret line and column in displayed lines, the modified mark.
#include <QApplication>
#include <QTabBar>
#include <QAbstractTextDocumentLayout>
#include <QTextBlock>
#include <QTextLayout>

#include "tests/ui/WindowFixture.h"

using tarvel::test::action;
using tarvel::test::pane;
using tarvel::test::tabs;
using tarvel::test::WindowFixture;
using tarvel::ui::TextPane;

class StatusBarTest : public QObject {
    Q_OBJECT

    std::unique_ptr<WindowFixture> f;
    tarvel::ui::TForm1& w() { return *f->window; }
    QString position() const { return f->window->statusPanelText(0); }
    QString mark() const { return f->window->statusPanelText(1); }

    void clickAt(TextPane* pane, int offset)
    {
        QTextCursor c = pane->textCursor();
        c.setPosition(offset);
        const QRect r = pane->cursorRect(c);
        QTest::mouseClick(pane->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(r.left() + 1, r.center().y()));
    }

private slots:
    void init()
    {
        f = std::make_unique<WindowFixture>();
        QVERIFY(f->exposed);
        action(w(), "N3")->trigger();
    }
    void cleanup()
    {
        const QStringList unexpected = f->dialogs.unexpected();
        f.reset();
        QVERIFY2(unexpected.isEmpty(), qPrintable(unexpected.join(QStringLiteral("; "))));
    }

    void typingAndClicking()
    {
        QCOMPARE(position(), QStringLiteral("1: 1"));  // New showed the input tab
        clickAt(pane(w(), "Memo1"), 0);
        QCOMPARE(position(), QStringLiteral("1: 1"));
        QCOMPARE(mark(), QString());

        pane(w(), "Memo1")->setFocus();
        QTest::keyPress(pane(w(), "Memo1"), Qt::Key_A, Qt::NoModifier);
        QCOMPARE(position(), QStringLiteral("1: 1"));  // key down: before the key's effect
        QCOMPARE(mark(), QString());
        QTest::keyRelease(pane(w(), "Memo1"), Qt::Key_A, Qt::NoModifier);
        QCOMPARE(position(), QStringLiteral("1: 2"));
        QCOMPARE(mark(), QStringLiteral("модиф."));
        QCOMPARE(w().statusPanelText(2), QString());

        tarvel::test::typeText(pane(w(), "Memo1"), QStringLiteral("\rline 2\rline 3"));
        clickAt(pane(w(), "Memo1"), pane(w(), "Memo1")->document()->findBlockByNumber(2).position());
        QCOMPARE(position(), QStringLiteral("3: 1"));

        // Saving does not refresh the bar; the next event does.
        f->dialogs.answerSave(f->path(QStringLiteral("s.cdu")));
        action(w(), "N11")->trigger();
        QCOMPARE(mark(), QStringLiteral("модиф."));
        clickAt(pane(w(), "Memo1"), 1);
        QCOMPARE(position(), QStringLiteral("1: 2"));
        QCOMPARE(mark(), QString());
    }

    void wrappedLinesCountAsLines()
    {
        const QString longLine(400, QLatin1Char('x'));
        pane(w(), "Memo1")->setPlainText(QStringLiteral("first\n") + longLine + QStringLiteral("\nlast"));
        const QTextBlock block = pane(w(), "Memo1")->document()->findBlockByNumber(1);
        QVERIFY(block.layout()->lineCount() >= 3);  // the pane is narrower than 400 characters
        const int perLine = block.layout()->lineAt(0).textLength();

        clickAt(pane(w(), "Memo1"), block.position() + perLine + 4);  // fifth character of the second part
        QCOMPARE(position(), QStringLiteral("3: 5"));

        // The line after the long one counts every displayed part before it.
        const int lastLine = 1 + block.layout()->lineCount() + 1;
        clickAt(pane(w(), "Memo1"), pane(w(), "Memo1")->document()->findBlockByNumber(2).position() + 2);
        QCOMPARE(position(), QStringLiteral("%1: 3").arg(lastLine));
    }

    // Lines that cannot wrap are counted without laying them out; the count
    // must stay what a full layout gives, across lengths near the pane's
    // width, tabs, Cyrillic, edits and resizes.
    void longTextsCountAsAFullLayoutDoes()
    {
        TextPane standalone(QStringLiteral("MemoX"));
        standalone.show();
        QVERIFY(QTest::qWaitForWindowExposed(&standalone));
        TextPane* pane = &standalone;
        QString text;
        for (int k = 0; k < 3000; ++k) {
            const int length = (k * 37) % 130;
            QString line = QString(length, QLatin1Char(k % 3 ? '7' : 'W'));
            if (k % 11 == 0)
                line.prepend(QLatin1Char('\t'));
            if (k % 13 == 0)
                line += QStringLiteral("Узел");
            text += line + QLatin1Char('\n');
        }
        pane->setPlainText(text);
        const auto fullLayout = [pane](int blockNumber) {
            int lines = 0;
            for (QTextBlock b = pane->document()->begin(); b.blockNumber() < blockNumber; b = b.next()) {
                pane->document()->documentLayout()->blockBoundingRect(b);
                lines += std::max(1, b.layout()->lineCount());
            }
            return lines;
        };
        for (const int width : {700, 431, 260}) {
            pane->resize(width, 300);
            QApplication::processEvents();
            for (const int blockNumber : {2999, 1500, 17}) {
                QTextCursor c(pane->document()->findBlockByNumber(blockNumber));
                pane->setTextCursor(c);
                const int counted = pane->caret().line;  // before the reference lays everything out
                QCOMPARE(counted, fullLayout(blockNumber));
            }
        }
        QTextCursor c(pane->document()->findBlockByNumber(5));
        c.insertText(QString(300, QLatin1Char('x')));  // one line more that wraps
        pane->setTextCursor(QTextCursor(pane->document()->findBlockByNumber(2999)));
        const int counted = pane->caret().line;
        QCOMPARE(counted, fullLayout(2999));
    }

    void selectionReportsItsEnd()
    {
        pane(w(), "Memo1")->setPlainText(QStringLiteral("abcdef\nxyz"));
        pane(w(), "Memo1")->setFocus();
        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_End);
        QTest::keyClick(pane(w(), "Memo1"), Qt::Key_Home, Qt::ShiftModifier);  // selected backwards
        QCOMPARE(pane(w(), "Memo1")->textCursor().position(), 0);
        QCOMPARE(position(), QStringLiteral("1: 7"));
    }

    void resizeShowsTheInputPane()
    {
        pane(w(), "Memo1")->setFocus();
        tarvel::test::typeText(pane(w(), "Memo1"), QStringLiteral("ab"));
        f->write(QStringLiteral("network.rip"), "r1\r\nr2\r\nr3\r\n");
        w().N22Click();
        QCOMPARE(f->activeTab(), QStringLiteral("Анализ потерь"));
        QCOMPARE(position(), QStringLiteral("1: 1"));  // the report tab was shown
        QCOMPARE(mark(), QString());
        clickAt(pane(w(), "Memo5"), pane(w(), "Memo5")->document()->findBlockByNumber(1).position() + 1);
        QCOMPARE(position(), QStringLiteral("2: 2"));

        w().resize(w().width() + 20, w().height() + 10);
        QCOMPARE(position(), QStringLiteral("1: 3"));
        QCOMPARE(mark(), QStringLiteral("модиф."));

        // Back on the input tab: its show event.
        clickAt(pane(w(), "Memo5"), pane(w(), "Memo5")->document()->findBlockByNumber(2).position());
        QCOMPARE(position(), QStringLiteral("3: 1"));
        tabs(w())->setCurrentIndex(0);
        QCOMPARE(position(), QStringLiteral("1: 3"));
        QCOMPARE(mark(), QStringLiteral("модиф."));
    }

    void focusComingBackOrARestoredWindowIsNoEventOfAPane()
    {
        pane(w(), "Memo1")->setFocus();
        tarvel::test::typeText(pane(w(), "Memo1"), QStringLiteral("ab"));
        f->dialogs.answerSave(f->path(QStringLiteral("s.cdu")));
        action(w(), "N11")->trigger();
        QCOMPARE(mark(), QStringLiteral("модиф."));

        // The window becomes active again (after a dialog or another program):
        // the focus comes back to the same pane without entering its page.
        QWidget other;
        other.resize(80, 60);
        other.show();
        other.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&other));
        w().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w()));
        QCOMPARE(QApplication::focusWidget(), pane(w(), "Memo1"));
        QCOMPARE(mark(), QStringLiteral("модиф."));

        // A closing menu gives the focus back the same way.
        QFocusEvent back(QEvent::FocusIn, Qt::PopupFocusReason);
        QApplication::sendEvent(pane(w(), "Memo1"), &back);
        QCOMPARE(mark(), QStringLiteral("модиф."));

        // Minimized and restored, the window shows the same page again: that
        // page was not shown anew.
        w().showMinimized();
        QTest::qWait(20);
        w().showNormal();
        QTest::qWait(20);
        QCOMPARE(mark(), QStringLiteral("модиф."));

        // Entering the input page from outside it is an event of the page.
        tabs(w())->tabBar()->setFocus();
        QCOMPARE(mark(), QStringLiteral("модиф."));
        pane(w(), "Memo1")->setFocus(Qt::TabFocusReason);
        QCOMPARE(mark(), QString());
        QCOMPARE(position(), QStringLiteral("1: 3"));
    }
};

QTEST_MAIN(StatusBarTest)
#include "test_statusbar.moc"
