// The settings file: the profile-file layer, the first run, reading with
// defaults, writing back without losing other keys, and the working files
// deleted at exit.
#include <memory>

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

#include "tests/ui/ScriptedDialogs.h"
#include "ui/IniFile.h"
#include "ui/SettingsFile.h"

using tarvel::CalculationSettings;
using tarvel::test::ScriptedDialogs;
using tarvel::ui::IniFile;
using tarvel::ui::SettingsFile;
using tarvel::ui::WindowSettings;

namespace {

const QString kGone = QStringLiteral("Файл настроек \"Vetrasol.ini\" был удален или перемещен.\n"
                                     "Настройки не сохранены.");

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

std::unique_ptr<CalculationSettings> freshSettings()
{
    return std::make_unique<CalculationSettings>();
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString ini_;

    // Loads a file with the given text into fresh settings.
    void loadText(const QByteArray& text, CalculationSettings& calculation, WindowSettings& window)
    {
        writeAll(ini_, text);
        SettingsFile(ini_).load(calculation, window, QStringLiteral("/opt/tarvel/tarvel"), nullptr);
    }

private slots:
    void init()
    {
        QLocale::setDefault(QLocale::c());
        QVERIFY(dir_.isValid());
        ini_ = dir_.filePath(QStringLiteral("Vetrasol.ini"));
        QFile::remove(ini_);
    }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void iniFileKeepsWhatItDoesNotWrite()
    {
        IniFile ini;
        ini.parse(QByteArray("\xEF\xBB\xBF; made on Windows\n"
                             "orphan=before any section\n"
                             "[files]\r\n"
                             "FILE1 =  C:\\\xD1\xF5\xE5\xEC\xFB\\a.cdu  \r\n"  // Windows-1251 "Схемы"
                             "file1=second one is ignored\r\n"
                             "\r\n"
                             "[ Parametr ]\n"
                             "noequals line\n"
                             "Long=" + QByteArray(3000, 'x') + "\n"
                             "\n"
                             "[Other]\n"
                             "k=v"));
        QCOMPARE(ini.value("Files", "file1"), QStringLiteral("C:\\Схемы\\a.cdu"));
        QVERIFY(!ini.contains("Files", "orphan"));
        QVERIFY(!ini.contains("Parametr", "noequals line"));
        QCOMPARE(ini.value("parametr", "long").size(), 2047);
        QCOMPARE(ini.value("Other", "missing", "dflt"), QStringLiteral("dflt"));

        ini.setValue("FILES", "file1", "/home/u/b.cdu");     // in place, the file's spelling kept
        ini.setValue("Parametr", "iteraz", "12");            // after the last line of its section
        ini.setValue("New", "key", "line1\r\nline2=x");      // new section; no second line injected
        QCOMPARE(ini.toBytes(), QByteArray("\xEF\xBB\xBF; made on Windows\r\n"
                                           "orphan=before any section\r\n"
                                           "[files]\r\n"
                                           "FILE1=/home/u/b.cdu\r\n"
                                           "file1=second one is ignored\r\n"
                                           "\r\n"
                                           "[ Parametr ]\r\n"
                                           "noequals line\r\n"
                                           "Long=" + QByteArray(3000, 'x') + "\r\n"
                                           "iteraz=12\r\n"
                                           "\r\n"
                                           "[Other]\r\n"
                                           "k=v\r\n"
                                           "[New]\r\n"
                                           "key=line1  line2=x\r\n"));
        IniFile again;
        again.parse(ini.toBytes());
        QCOMPARE(again.value("new", "KEY"), QStringLiteral("line1  line2=x"));
        QVERIFY(!again.contains("New", "line2"));
    }

    void firstRunCreatesTheFileWithTheBuiltInDefaults()
    {
        for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::Russian, QLocale::Russia)}) {
            QFile::remove(ini_);
            QLocale::setDefault(locale);
            ScriptedDialogs dialogs;
            auto calculation = freshSettings();
            WindowSettings window;
            SettingsFile(ini_).load(*calculation, window, QStringLiteral("/opt/tarvel/tarvel"), nullptr);
            const QByteArray point = locale.decimalPoint().toUtf8();
            QCOMPARE(readAll(ini_), QByteArray("[Files]\r\n"
                                               "main=/opt/tarvel/tarvel\r\n"
                                               "[Parametr]\r\n"
                                               "Font=Courier New\r\n"
                                               "FontSize=9\r\n"
                                               "precision=0" + point + "01\r\n"
                                               "iteraz=10\r\n"
                                               "Height=534\r\n"
                                               "Width=716\r\n"
                                               "DelFile=0\r\n"));
            QCOMPARE(calculation->precision, 0.01f);
            QCOMPARE(calculation->iteraz, 10);
            QCOMPARE(calculation->DelFile, false);
            QCOMPARE(window.fontName, QStringLiteral("Courier New"));
            QCOMPARE(window.height, 534);
            QCOMPARE(window.recentKeyPresent, (std::array<bool, 3>{}));
            QVERIFY(dialogs.messages().isEmpty());

            // The second start reads what the first one wrote.
            auto second = freshSettings();
            WindowSettings secondWindow;
            SettingsFile(ini_).load(*second, secondWindow, QString(), nullptr);
            QCOMPARE(second->precision, 0.01f);
            QCOMPARE(secondWindow.fontSize, 9);
            QCOMPARE(secondWindow.width, 716);
        }
    }

    void fileThatCannotBeCreated()
    {
        ScriptedDialogs dialogs;
        auto calculation = freshSettings();
        WindowSettings window;
        SettingsFile settings(dir_.filePath(QStringLiteral("no/such/folder/Vetrasol.ini")));
        settings.load(*calculation, window, QString(), nullptr);
        QCOMPARE(dialogs.messages(), QStringList{QStringLiteral("Невозможно создать файл настроек")});
        QCOMPARE(calculation->iteraz, 10);
        QCOMPARE(window.height, 534);
        // At exit: the file is still missing, so nothing is saved.
        QVERIFY(!settings.save(*calculation, window, nullptr));
        QCOMPARE(dialogs.messages().last(), kGone);
    }

    void unwritableFolderToldAtStartIsNotToldAgain()
    {
        ScriptedDialogs dialogs;
        auto calculation = freshSettings();
        WindowSettings window;
        SettingsFile settings(dir_.filePath(QStringLiteral("no/such/folder/Vetrasol.ini")), true);
        settings.load(*calculation, window, QString(), nullptr);
        QVERIFY(!settings.save(*calculation, window, nullptr));
        QCOMPARE(dialogs.messages(), QStringList());

        // A file that did exist and has gone is still told.
        writeAll(ini_, "[Parametr]\r\niteraz=12\r\n");
        SettingsFile existing(ini_, true);
        existing.load(*calculation, window, QString(), nullptr);
        QFile::remove(ini_);
        QVERIFY(!existing.save(*calculation, window, nullptr));
        QCOMPARE(dialogs.messages(), QStringList{kGone});
    }

    void precisionIsWrittenRoundedToTwoDecimals()
    {
        const struct {
            float value;
            const char* written;
        } cases[] = {{0.015f, "0.01"}, {0.025f, "0.03"}, {0.0099f, "0.01"}, {0.01f, "0.01"},
                     {0.5f, "0.5"},    {12.345f, "12.35"}, {0.004f, "0"}};
        for (const auto& c : cases)
            QCOMPARE(tarvel::ui::formatStoredPrecision(c.value), QString::fromLatin1(c.written));

        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        QCOMPARE(tarvel::ui::formatStoredPrecision(0.025f), QStringLiteral("0,03"));
        auto calculation = freshSettings();
        WindowSettings window;
        loadText("[Parametr]\r\nprecision=0,015\r\n", *calculation, window);
        QCOMPARE(calculation->precision, 0.015f);
        QVERIFY(SettingsFile(ini_).save(*calculation, window, nullptr));
        QVERIFY(readAll(ini_).contains("precision=0,01\r\n"));
    }

    void valuesAreReadByTheirRules()
    {
        auto calculation = freshSettings();
        WindowSettings window;
        loadText("[Parametr]\r\n"
                 "Font=\r\n"
                 "precision=nan\r\n"
                 "iteraz=0x14\r\n"
                 "Height=-5\r\n"
                 "Width=300\r\n"
                 "FontSize=0\r\n"
                 "DelFile=2\r\n",
                 *calculation, window);
        QCOMPARE(window.fontName, QStringLiteral("MS Scan Serif"));
        QCOMPARE(calculation->precision, 0.01f);
        QCOMPARE(calculation->iteraz, 20);
        QCOMPARE(window.height, 550);  // negative: the default
        QCOMPARE(window.width, 300);   // small: the window raises it to its minimum
        QCOMPARE(window.fontSize, 10);
        QCOMPARE(calculation->DelFile, true);
        QVERIFY(SettingsFile(ini_).save(*calculation, window, nullptr));
        QVERIFY(readAll(ini_).contains("DelFile=1\r\n"));

        using tarvel::ui::parseWholeNumber;
        QCOMPARE(parseWholeNumber("$14"), std::optional<int32_t>(20));
        QCOMPARE(parseWholeNumber("0X1f"), std::optional<int32_t>(31));
        QCOMPARE(parseWholeNumber(" -7 "), std::optional<int32_t>(-7));
        QCOMPARE(parseWholeNumber("$FFFFFFFF"), std::optional<int32_t>(-1));
        QCOMPARE(parseWholeNumber("-2147483648"), std::optional<int32_t>(INT32_MIN));
        for (const char* bad : {"12abc", "1 2", "", "0x", "$", "+", "2147483648", "$100000000", "1.0", "1e2"})
            QVERIFY2(!parseWholeNumber(QString::fromLatin1(bad)), bad);

        // Precision with the user's separator only.
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        loadText("[PARAMETR]\r\nPrecision=0.02\r\nHEIGHT=200000\r\n", *calculation, window);
        QCOMPARE(calculation->precision, 0.01f);
        QCOMPARE(window.height, 550);
        loadText("[parametr]\r\nprecision = 0,02 \r\nheight=3000\r\n", *calculation, window);
        QCOMPARE(calculation->precision, 0.02f);
        QCOMPARE(window.height, 3000);
    }

    // The reactive limits and the method: missing or unknown values take
    // the defaults; whatever was chosen is written back and read again.
    void limitsAndMethodKeys()
    {
        using tarvel::CalculationMethod;
        auto calculation = freshSettings();
        WindowSettings window;
        loadText("[Parametr]\r\niteraz=12\r\n", *calculation, window);
        QCOMPARE(calculation->qLimits, false);
        QCOMPARE(calculation->method, CalculationMethod::Auto);
        loadText("[Parametr]\r\nQLimits=1\r\nMethod=Sparse\r\n", *calculation, window);
        QCOMPARE(calculation->qLimits, true);
        QCOMPARE(calculation->method, CalculationMethod::Sparse);
        loadText("[Parametr]\r\nQLimits=x\r\nMethod=dense\r\n", *calculation, window);
        QCOMPARE(calculation->qLimits, false);
        QCOMPARE(calculation->method, CalculationMethod::Auto);

        for (const auto method : {CalculationMethod::Exact, CalculationMethod::Sparse, CalculationMethod::Auto}) {
            calculation->qLimits = method != CalculationMethod::Auto;
            calculation->method = method;
            QVERIFY(SettingsFile(ini_).save(*calculation, window, nullptr));
            auto again = freshSettings();
            SettingsFile(ini_).load(*again, window, QStringLiteral("/opt/tarvel/tarvel"), nullptr);
            QCOMPARE(again->method, method);
            QCOMPARE(again->qLimits, method != CalculationMethod::Auto);
        }
    }

    void recentFileKeys()
    {
        auto calculation = freshSettings();
        WindowSettings window;
        loadText("[Files]\r\nfile2=/data/b.cdu\r\nfile3=\r\n", *calculation, window);
        QCOMPARE(window.recentKeyPresent, (std::array<bool, 3>{false, true, true}));
        QCOMPARE(window.recentFiles[0], QString());
        QCOMPARE(window.recentFiles[1], QStringLiteral("/data/b.cdu"));
        QCOMPARE(window.recentFiles[2], QString());

        // Only the filled slots are written; the empty key stays as it was.
        window.recentFiles[0] = QStringLiteral("/data/Схема.cdu");
        QVERIFY(SettingsFile(ini_).save(*calculation, window, nullptr));
        const QByteArray saved = readAll(ini_);
        QVERIFY(saved.startsWith(QStringLiteral("[Files]\r\nfile2=/data/b.cdu\r\nfile3=\r\n"
                                                "file1=/data/Схема.cdu\r\n[Parametr]\r\n")
                                     .toUtf8()));
    }

    void saveKeepsOtherKeysAndComments()
    {
        auto calculation = freshSettings();
        WindowSettings window;
        loadText("; settings of Tarvel\n"
                 "[Files]\n"
                 "main=C:\\Tarvel\\Tarvel.exe\n"
                 "\n"
                 "[parametr]\n"
                 "PRECISION=0.05\n"
                 "; keep me\n"
                 "Colour=blue\n"
                 "\n"
                 "[Other]\n"
                 "x=1\n",
                 *calculation, window);
        QCOMPARE(calculation->precision, 0.05f);
        calculation->iteraz = 25;
        window.fontName = QStringLiteral("DejaVu Sans Mono");
        QVERIFY(SettingsFile(ini_).save(*calculation, window, nullptr));
        QCOMPARE(readAll(ini_), QByteArray("; settings of Tarvel\r\n"
                                           "[Files]\r\n"
                                           "main=C:\\Tarvel\\Tarvel.exe\r\n"
                                           "\r\n"
                                           "[parametr]\r\n"
                                           "PRECISION=0.05\r\n"
                                           "; keep me\r\n"
                                           "Colour=blue\r\n"
                                           "Font=DejaVu Sans Mono\r\n"
                                           "FontSize=10\r\n"
                                           "iteraz=25\r\n"
                                           "Height=550\r\n"
                                           "Width=750\r\n"
                                           "DelFile=0\r\n"
                                           "QLimits=0\r\n"
                                           "Method=auto\r\n"
                                           "\r\n"
                                           "[Other]\r\n"
                                           "x=1\r\n"));
    }

    void fileRemovedOrUnusableAtExit()
    {
        ScriptedDialogs dialogs;
        auto calculation = freshSettings();
        WindowSettings window;
        loadText("[Parametr]\r\niteraz=12\r\n", *calculation, window);
        QFile::remove(ini_);
        QVERIFY(!SettingsFile(ini_).save(*calculation, window, nullptr));
        QCOMPARE(dialogs.messages(), QStringList{kGone});
        QVERIFY(!QFile::exists(ini_));

        // A folder in the file's place: defaults at start, nothing written at exit.
        QVERIFY(QDir(dir_.path()).mkdir(QStringLiteral("Vetrasol.ini")));
        auto other = freshSettings();
        other->iteraz = 3;
        WindowSettings otherWindow;
        SettingsFile folder(ini_);
        folder.load(*other, otherWindow, QString(), nullptr);
        QCOMPARE(other->iteraz, 10);
        QCOMPARE(otherWindow.fontName, QStringLiteral("MS Scan Serif"));
        QCOMPARE(otherWindow.height, 550);
        QVERIFY(!folder.save(*other, otherWindow, nullptr));
        QCOMPARE(dialogs.messages().size(), 2);
        QVERIFY(QFileInfo(ini_).isDir());
        QDir(dir_.path()).rmdir(QStringLiteral("Vetrasol.ini"));
    }

    void malformedFileGivesDefaultsAndIsRepaired()
    {
        auto calculation = freshSettings();
        WindowSettings window;
        static const char junk[] = "\x00\xFF\xFE garbage\n[Parametr\niteraz=\x01\x02\nprecision\n==\n";
        loadText(QByteArray(junk, sizeof junk - 1), *calculation, window);
        QCOMPARE(calculation->iteraz, 10);
        QCOMPARE(calculation->precision, 0.01f);
        QCOMPARE(window.fontName, QStringLiteral("MS Scan Serif"));
        QVERIFY(SettingsFile(ini_).save(*calculation, window, nullptr));
        auto reread = freshSettings();
        WindowSettings rereadWindow;
        SettingsFile(ini_).load(*reread, rereadWindow, QString(), nullptr);
        QCOMPARE(reread->iteraz, 10);
        QCOMPARE(rereadWindow.width, 750);
        QVERIFY(readAll(ini_).startsWith(QByteArray("\x00\xFF\xFE garbage\r\n", 13)));
    }

    void failedWriteLeavesTheFileAsItWas()
    {
        ScriptedDialogs dialogs;
        QTemporaryDir locked;
        // A read-only folder stops everybody but the super-user; a name so long
        // that the temporary file beside it cannot be named stops the super-user too.
        const bool superUser = ::geteuid() == 0;
        const QString path = locked.filePath(superUser ? QString(250, QLatin1Char('v')) : QStringLiteral("Vetrasol.ini"));
        writeAll(path, "[Parametr]\r\niteraz=7\r\n");
        auto calculation = freshSettings();
        WindowSettings window;
        SettingsFile settings(path);
        settings.load(*calculation, window, QString(), nullptr);
        QCOMPARE(calculation->iteraz, 7);
        if (!superUser)
            QFile::setPermissions(locked.path(), QFile::ReadOwner | QFile::ExeOwner);
        calculation->iteraz = 99;
        const bool saved = settings.save(*calculation, window, nullptr);
        QFile::setPermissions(locked.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!saved);
        QCOMPARE(dialogs.messages().size(), 1);
        QVERIFY(dialogs.messages().front().startsWith(QStringLiteral("Невозможно записать файл настроек")));
        QCOMPARE(readAll(path), QByteArray("[Parametr]\r\niteraz=7\r\n"));
    }

    void workingFilesAreDeletedWhateverTheirCase()
    {
        QTemporaryDir work;
        const QStringList doomed = {"Network.err", "network.OUT", "NETWORK.REZ", "network.rip", "Network.Tok",
                                    "network.err"};
        const QStringList kept = {"network.cdu", "losses.rez", "network.err.bak", "mynetwork.out"};
        for (const QString& name : doomed + kept)
            writeAll(work.filePath(name), "x");
        QDir(work.path()).mkdir(QStringLiteral("sub"));
        writeAll(work.filePath(QStringLiteral("sub/network.out")), "x");
        tarvel::ui::deleteWorkingFiles(work.path());
        QStringList left = QDir(work.path()).entryList(QDir::Files);
        left.sort();
        QStringList expected = kept;
        expected.sort();
        QCOMPARE(left, expected);
        QVERIFY(QFile::exists(work.filePath(QStringLiteral("sub/network.out"))));
    }
};

QTEST_MAIN(SettingsTest)
#include "test_settings.moc"
