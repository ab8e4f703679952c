#include "ui/desktop.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <iostream>

#include "base/environment.h"
#include "run/process_state.h"
#include "ui/choosers.h"
#include "ui/display_choice.h"
#include "ui/frm_main.h"
#include "ui/frm_progress.h"
#include "ui/qt_prompter.h"

namespace varnel {

void PrepareApplication() {
    QApplication::setQuitOnLastWindowClosed(false);
}

int RunWindowSession(ProcessState& state, Choosers& choosers) {
    PrepareApplication();
    state.SetProgressWindowFactory([&state]() -> std::unique_ptr<ProgressWindow> {
        return std::make_unique<FrmProgress>(state);
    });
    int status = 0;
    {
        FrmMain window(state, choosers);
        QObject::connect(&window, &FrmMain::Unloaded, QCoreApplication::instance(),
                         &QCoreApplication::quit, Qt::QueuedConnection);
        if (const QScreen* screen = window.screen()) {
            const QRect area = screen->availableGeometry();
            window.move(area.x() + (area.width() - window.width()) / 2,
                        area.y() + (area.height() - window.height()) / 2);
        }
        window.ShowMainWindow();
        if (!window.IsUnloaded()) QApplication::exec();
        state.UnloadProgressWindow();
        // Configuration mode succeeds only by the line it writes.
        if (state.ConfigMode && !window.ConfigurationSaved()) status = 1;
    }
    state.SetProgressWindowFactory(nullptr);
    return status;
}

Desktop::Desktop(std::string program) {
    arguments_ = {std::move(program), "-platform", ""};
}

Desktop::~Desktop() = default;

void Desktop::MakeApplication(const std::string& platforms) {
    arguments_[2] = platforms;
    argv_.clear();
    for (std::string& argument : arguments_) argv_.push_back(argument.data());
    argv_.push_back(nullptr);
    argc_ = static_cast<int>(arguments_.size());
    application_ = std::make_unique<QApplication>(argc_, argv_.data());
}

int Desktop::Session(ProcessState& state, StartMode) {
    const std::string display = EnvironmentValue("DISPLAY");
    std::string platform;
    if (DisplayAnswers(display))
        platform = "xcb";
    else if (WaylandAnswers(EnvironmentValue("WAYLAND_DISPLAY"),
                            EnvironmentValue("XDG_RUNTIME_DIR")))
        platform = "wayland";
    if (!platform.empty()) {
        // Qt ends the process when no platform it is given can start; offscreen always
        // can, and then says that the display chosen failed after all.
        MakeApplication(platform + ";offscreen");
        if (QGuiApplication::platformName() != QString::fromStdString(platform)) {
            application_.reset();
            platform.clear();
        }
    }
    if (platform.empty()) {
        std::cerr << "Varnel: the main window cannot open: the display " << display
                  << " does not answer. Give the run options on the command line (varnel "
                     "--help).\n";
        return 1;
    }
    QtChoosers choosers;
    QtPrompter prompter([&state]() -> QWidget* {
        if (QWidget* active = QApplication::activeWindow()) return active;
        auto* main = dynamic_cast<FrmMain*>(state.MainWindow);
        return main && main->isVisible() ? main : nullptr;
    });
    state.SetPrompter(&prompter);
    const int status = RunWindowSession(state, choosers);
    state.SetPrompter(nullptr);
    return status;
}

void Desktop::PrepareRun(ProcessState& state) {
    const DisplayChoice choice = ChooseDisplay();
    if (choice.ConsoleProgress) return;
    // A display that stopped answering since the test still leaves offscreen to fall
    // back on: the platform can never end the process.
    MakeApplication(choice.Platform + ";offscreen");
    if (QGuiApplication::platformName() != QString::fromStdString(choice.Platform)) return;
    state.SetProgressWindowFactory([&state]() -> std::unique_ptr<ProgressWindow> {
        return std::make_unique<FrmProgress>(state);
    });
}

}  // namespace varnel
