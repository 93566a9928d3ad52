// Shared by the window tests: whether closing a main window ends the application's event loop.
#pragma once

#include <QApplication>
#include <QTimer>
#include <QWidget>

namespace hg::test {

// Closes the main window from inside the application's event loop (the only place where the
// application quits on its own) and tells whether the loop then ended before a second passed.
inline bool QuitsWhenClosed(QWidget& mainWindow)
{
    QTimer::singleShot(0, &mainWindow, [&mainWindow] { mainWindow.close(); });
    bool timedOut = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&timedOut] {
        timedOut = true;
        QCoreApplication::exit(1);
    });
    guard.start(1000);
    QApplication::exec();
    return !timedOut;
}

} // namespace hg::test
