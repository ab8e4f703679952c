#include "run/run_settings.h"

#include "run/process_state.h"

namespace varnel {

void ResetRunSettings(ProcessState& state, RunSettings& settings) {
    settings = RunSettings{};
    state.ConfigMode = false;
}

}  // namespace varnel
