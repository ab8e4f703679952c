#include "driver/start_up.h"
#include "run/process_state.h"

int main(int argc, char** argv) {
    // The one state of the process; everything below is handed it.
    varnel::ProcessState state;
    return varnel::Main(state, argc, argv);
}
