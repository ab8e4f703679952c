#include "tests/ui/support/window_test.h"

#include <QApplication>
#include <QEvent>

namespace varnel::testing {

void EnsureQtApplication() {
    if (QApplication::instance()) return;
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: widgets of unloaded windows may still be pending deletion
    // when the process's static objects go.
    new QApplication(argc, argv);
}

void DeleteDeferredWidgets() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace varnel::testing
