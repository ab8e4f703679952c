#include "base/run_hooks.h"

namespace varnel {

namespace {

RunHooks* installed = nullptr;

}  // namespace

void InstallRunHooks(RunHooks* hooks) {
    installed = hooks;
}

void ReachRunPoint(std::string_view point) {
    if (installed) installed->Reached(point);
}

void NoteStatementSent() {
    if (installed) installed->Sending();
}

}  // namespace varnel
