// One main window in its own temporary working folder, with scripted dialogs.
#pragma once

#include <memory>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include "tests/ui/NamedWidgets.h"
#include "tests/ui/ScriptedDialogs.h"
#include "ui/DocumentController.h"
#include "ui/MainWindow.h"
#include "ui/TextPane.h"

namespace tarvel::test {

// Types text into a widget key by key; unlike QTest::keyClicks it takes any
// character, not only Latin-1.
inline void typeText(QWidget* widget, const QString& text)
{
    for (const QChar ch : text) {
        const Qt::Key key = ch.unicode() < 0x80 ? QTest::asciiToKey(static_cast<char>(ch.unicode())) : Qt::Key_unknown;
        QTest::sendKeyEvent(QTest::Click, widget, key, QString(ch), Qt::NoModifier);
    }
}

class WindowFixture {
public:
    // settings: the content of the settings file found at start (none when empty).
    explicit WindowFixture(const QByteArray& settings = QByteArray())
    {
        previousDir_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
        if (!settings.isEmpty())
            write(QStringLiteral("Vetrasol.ini"), settings);
        window = std::make_unique<tarvel::ui::TForm1>();
        window->show();
        exposed = QTest::qWaitForWindowExposed(window.get());
    }
    ~WindowFixture()
    {
        window.reset();
        QDir::setCurrent(previousDir_);
    }

    QString path(const QString& name) const { return dir_.filePath(name); }
    QByteArray read(const QString& name) const
    {
        QFile f(path(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    void write(const QString& name, const QByteArray& bytes) const
    {
        QFile f(path(name));
        if (f.open(QIODevice::WriteOnly))
            f.write(bytes);
    }

    // A caption as the user reads it: without its mnemonic marker.
    static QString shownCaption(QString caption)
    {
        caption.replace(QRegularExpression(QStringLiteral("&(.)")), QStringLiteral("\\1"));
        return caption;
    }
    // The captions of the visible entries of a menu (separators as "-"),
    // or of the menu bar when menu is null.
    QStringList visibleEntries(const QMenu* menu) const
    {
        QStringList out;
        const auto actions = menu ? menu->actions() : window->menuBar()->actions();
        for (const QAction* a : actions)
            if (a->isVisible())
                out << (a->isSeparator() ? QStringLiteral("-") : shownCaption(a->text()));
        return out;
    }
    // The captions of the visible tabs.
    QStringList visibleTabs() const
    {
        QStringList out;
        for (int i = 0; i < tabs(*window)->count(); ++i)
            if (tabs(*window)->isTabVisible(i))
                out << tabs(*window)->tabText(i);
        return out;
    }
    QString activeTab() const
    {
        return tabs(*window)->tabText(tabs(*window)->currentIndex());
    }

    ScriptedDialogs dialogs;  // installed before the window is created
    std::unique_ptr<tarvel::ui::TForm1> window;
    bool exposed = false;

private:
    QTemporaryDir dir_;
    QString previousDir_;
};

}  // namespace tarvel::test
