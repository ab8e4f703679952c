#pragma once

#include <QApplication>
#include <QCursor>

namespace varnel {

//! The hourglass pointer over the whole application while the object lives; Restore
//! brings the normal pointer back early (before a message box, say).
class WaitCursor {
  public:
    explicit WaitCursor(Qt::CursorShape shape = Qt::WaitCursor) {
        QApplication::setOverrideCursor(QCursor(shape));
    }
    ~WaitCursor() { Restore(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

    void Restore() {
        if (!active_) return;
        active_ = false;
        QApplication::restoreOverrideCursor();
    }

  private:
    bool active_ = true;
};

}  // namespace varnel
