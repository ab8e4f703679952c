// Runs one fuzz target on saved inputs without libFuzzer: varnel_fuzz_replay TARGET PATH...
// Each PATH is a file or a folder of files. Exits 0 when every input passed its checks
// (a failed check aborts).

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz/fuzz_targets.h"

namespace {

void Replay(varnel::fuzz::Target target, const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in),
                                  std::istreambuf_iterator<char>()};
    std::cout << "replaying " << file.string() << " (" << bytes.size() << " bytes)\n" << std::flush;
    target(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: varnel_fuzz_replay TARGET PATH...\n";
        return 2;
    }
    const varnel::fuzz::Target target = varnel::fuzz::FindTarget(argv[1]);
    if (target == nullptr) {
        std::cerr << "unknown target " << argv[1] << "\n";
        return 2;
    }
    int replayed = 0;
    for (int i = 2; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path)) {
                if (!entry.is_regular_file()) continue;
                Replay(target, entry.path());
                ++replayed;
            }
        } else {
            Replay(target, path);
            ++replayed;
        }
    }
    std::cout << replayed << " inputs passed\n";
    return replayed > 0 ? 0 : 1;
}
