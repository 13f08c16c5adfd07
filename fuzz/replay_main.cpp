// SPDX-License-Identifier: MIT
//
// Runs a fuzz target without libFuzzer: every path argument is a file, or a
// directory whose files are all taken (in name order), and each file is passed
// once to LLVMFuzzerTestOneInput. A failed check aborts as it does under the
// fuzzer. A path that cannot be read or holds no input fails the run, so a
// missing corpus is never taken for a clean one. With --expect-workers first,
// the run also fails unless worker threads decoded chunks in some run.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "FuzzCheck.hpp"

namespace {

namespace fs = std::filesystem;

bool readFile(const fs::path& path, std::vector<std::uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() && in.is_open();
}

}  // namespace

int main(int argc, char* argv[]) {
    const bool expectWorkers = argc > 1 && std::string(argv[1]) == "--expect-workers";
    const int first = expectWorkers ? 2 : 1;
    if (argc <= first) {
        std::fprintf(stderr, "usage: %s [--expect-workers] FILE_OR_DIR...\n", argv[0]);
        return 2;
    }
    std::size_t total = 0;
    for (int i = first; i < argc; ++i) {
        const fs::path arg = argv[i];
        std::error_code error;
        std::vector<fs::path> files;
        if (fs::is_directory(arg, error)) {
            for (const fs::directory_entry& entry : fs::directory_iterator(arg, error)) {
                if (entry.is_regular_file()) {
                    files.push_back(entry.path());
                }
            }
            std::sort(files.begin(), files.end());
        } else if (fs::is_regular_file(arg, error)) {
            files.push_back(arg);
        }
        if (error || files.empty()) {
            std::fprintf(stderr, "%s: no inputs in %s\n", argv[0], argv[i]);
            return 1;
        }
        std::vector<std::uint8_t> bytes;
        for (const fs::path& file : files) {
            if (!readFile(file, bytes)) {
                std::fprintf(stderr, "%s: cannot read %s\n", argv[0], file.c_str());
                return 1;
            }
            // libFuzzer never passes a null pointer, even for an empty input.
            const std::uint8_t none = 0;
            LLVMFuzzerTestOneInput(bytes.empty() ? &none : bytes.data(), bytes.size());
        }
        std::printf("%s: %zu inputs\n", argv[i], files.size());
        total += files.size();
    }
    std::printf("%zu inputs ran, %zu of them with work shared out to threads\n", total,
                fuzzRunsWithWorkers);
    if (expectWorkers && fuzzRunsWithWorkers == 0) {
        std::fprintf(stderr, "%s: no input had worker threads decode a chunk\n", argv[0]);
        return 1;
    }
    return 0;
}
