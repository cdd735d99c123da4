// Replays files through a fuzz target without libFuzzer, so that ordinary
// test runs (and sanitizer builds with any compiler) check the whole corpus.
// Arguments are files or folders of files; folders are read in name order.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_support.h"

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputs_named_by(const char* argument) {
    std::vector<fs::path> paths;
    const fs::path path(argument);
    if (!fs::is_directory(path)) {
        paths.push_back(path);
        return paths;
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(path)) {
        if (entry.is_regular_file()) {
            paths.push_back(entry.path());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

} // namespace

int main(int argc, char** argv) {
    int replayed = 0;
    for (int i = 1; i < argc; ++i) {
        for (const fs::path& path : inputs_named_by(argv[i])) {
            std::ifstream in(path, std::ios::binary);
            if (!in) {
                std::fprintf(stderr, "can't read %s\n", path.c_str());
                return 1;
            }
            const std::string bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
            std::fprintf(stderr, "%s\n", path.c_str()); // names the input if it fails
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size());
            ++replayed;
        }
    }
    std::printf("replayed %d inputs\n", replayed);
    // An empty corpus would pass while checking nothing.
    return replayed > 0 ? 0 : 1;
}
