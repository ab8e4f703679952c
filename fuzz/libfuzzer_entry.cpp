// The libFuzzer program of one target; the build names it with VARNEL_FUZZ_TARGET.

#include <cstddef>
#include <cstdint>

#include "fuzz/fuzz_targets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    varnel::fuzz::VARNEL_FUZZ_TARGET(data, size);
    return 0;
}
