#pragma once

namespace varnel::testing {

//! Makes the process's QApplication on first use (the platform comes from
//! QT_QPA_PLATFORM, offscreen in the suites); it lives until the process ends.
void EnsureQtApplication();

//! Lets Qt delete the widgets that were handed to it for deletion.
void DeleteDeferredWidgets();

}  // namespace varnel::testing
