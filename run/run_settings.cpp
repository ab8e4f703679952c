#include "run/run_settings.h"

namespace varnel {

void ResetRunSettings(RunSettings& settings) {
    settings = RunSettings{};
    ConfigMode = false;
}

}  // namespace varnel
