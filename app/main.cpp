#include "driver/start_up.h"
#include "run/process_state.h"
#include "ui/desktop.h"

int main(int argc, char** argv) {
    // The one state of the process; everything below is handed it. The desktop goes
    // first when the process ends, taking its windows with it.
    varnel::ProcessState state;
    varnel::Desktop desktop(argc > 0 ? argv[0] : "varnel");
    return varnel::Main(
        state, argc, argv,
        [&desktop](varnel::ProcessState& s, varnel::StartMode mode) {
            return desktop.Session(s, mode);
        },
        [&desktop](varnel::ProcessState& s) { desktop.PrepareRun(s); });
}
