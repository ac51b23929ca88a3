#include "ui/Display.h"

#include <QApplication>
#include <QThread>

namespace ui {

bool HasDisplay() {
    // A QCoreApplication (no GUI) does not count, and widgets may only be made on the GUI thread.
    const auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app != nullptr && QThread::currentThread() == app->thread();
}

} // namespace ui
