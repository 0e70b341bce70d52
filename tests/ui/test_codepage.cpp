// The input and echo panes take only characters of the DOS code page that the
// Windows-1251 documents can hold.
#include <QApplication>
#include <QClipboard>

#include "tests/ui/WindowFixture.h"
#include "ui/CodePageFilter.h"

using tarvel::test::action;
using tarvel::test::pane;
using tarvel::test::WindowFixture;
using tarvel::ui::cp866Has;
using tarvel::ui::oemRoundTrips;

class CodePageTest : public QObject {
    Q_OBJECT

private slots:
    void codePage866Repertoire()
    {
        // The 128 upper bytes of code page 866 are 128 distinct characters.
        int upper = 0;
        for (char32_t c = 0x80; c < 0x2600; ++c)
            upper += cp866Has(c);
        QCOMPARE(upper, 128);
        for (char32_t c : {U'A', U'~', U'\t', U'А', U'я', U'Ё', U'ё', U'Є', U'ї', U'Ў', U'ў', U'°', U'∙', U'·',
                           U'√', U'№', U'¤', U'■', U'\u00A0', U'╬', U'░', U'█'})
            QVERIFY2(cp866Has(c), qPrintable(QString::number(c, 16)));
        for (char32_t c : {U'€', U'‰', U'«', U'é', U'Ђ', U'—', U'\u2028'})
            QVERIFY2(!cp866Has(c), qPrintable(QString::number(c, 16)));

        // What the pane takes must survive the way to the Windows-1251 file too.
        QVERIFY(oemRoundTrips(U'№'));
        QVERIFY(oemRoundTrips(U'Ў'));
        QVERIFY(oemRoundTrips(U'\u00A0'));
        QVERIFY(!oemRoundTrips(U'╬'));  // in 866, not in 1251
        QVERIFY(!oemRoundTrips(U'√'));
        QVERIFY(!oemRoundTrips(U'€'));  // in 1251, not in 866

        int replaced = 0;
        QCOMPARE(tarvel::ui::replaceNonOem(QStringLiteral("a€b╬c😀d"), &replaced), QStringLiteral("a?b?c?d"));
        QCOMPARE(replaced, 3);
    }

    void panesFilterTypedAndPastedText()
    {
        WindowFixture f;
        QVERIFY(f.exposed);
        auto& w = *f.window;
        action(w, "N3")->trigger();
        pane(w, "Memo1")->setFocus();
        tarvel::test::typeText(pane(w, "Memo1"), QStringLiteral("Уз€л╬ №1"));
        QCOMPARE(pane(w, "Memo1")->text(), QStringLiteral("Узл №1"));

        QApplication::clipboard()->setText(QStringLiteral(" a€b\r\n╬😀"));
        action(w, "N8")->trigger();
        QCOMPARE(pane(w, "Memo1")->text(), QStringLiteral("Узл №1 a?b\n??"));

        // Shift+Enter breaks the line like Enter.
        QTest::keyClick(pane(w, "Memo1"), Qt::Key_Return, Qt::ShiftModifier);
        tarvel::test::typeText(pane(w, "Memo1"), QStringLiteral("x"));

        f.dialogs.answerSave(f.path(QStringLiteral("cp.cdu")));
        action(w, "N10")->trigger();
        QCOMPARE(f.read(QStringLiteral("cp.cdu")),
                 QByteArray("\xD3\xE7\xEB \xB9" "1 a?b\r\n??\r\nx"));

        // Memo2 filters too; the results pane takes any text.
        tarvel::test::typeText(pane(w, "Memo2"), QStringLiteral("€a"));
        QCOMPARE(pane(w, "Memo2")->text(), QStringLiteral("a"));
        tarvel::test::typeText(pane(w, "Memo3"), QStringLiteral("€a"));
        QCOMPARE(pane(w, "Memo3")->text(), QStringLiteral("€a"));

        // A loaded file is taken as it is.
        f.write(QStringLiteral("in.cdu"), "\x88\x89");  // € and ‰ in Windows-1251
        f.dialogs.answerOpen(f.path(QStringLiteral("in.cdu")));
        action(w, "N4")->trigger();
        QCOMPARE(pane(w, "Memo1")->text(), QStringLiteral("€‰"));
        QVERIFY(f.dialogs.unexpected().isEmpty());
    }
};

QTEST_MAIN(CodePageTest)
#include "test_codepage.moc"
