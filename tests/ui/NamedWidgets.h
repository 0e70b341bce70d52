// The main window's widgets, menus and actions found by their object names,
// as users' scripts find them.
#pragma once

#include <QAction>
#include <QMenu>
#include <QTabWidget>
#include <QtGlobal>

#include "ui/TextPane.h"

namespace tarvel::test {

template <class T = QWidget>
T* named(const QObject& window, const char* name)
{
    T* found = window.findChild<T*>(QLatin1String(name));
    if (!found)
        qFatal("The window has no %s named %s", T::staticMetaObject.className(), name);
    return found;
}

inline QAction* action(const QObject& window, const char* name)
{
    return named<QAction>(window, name);
}

inline QMenu* menu(const QObject& window, const char* name)
{
    return named<QMenu>(window, name);
}

inline ui::TextPane* pane(const QObject& window, const char* name)
{
    return named<ui::TextPane>(window, name);
}

inline QTabWidget* tabs(const QObject& window)
{
    return named<QTabWidget>(window, "PageControl1");
}

}  // namespace tarvel::test
