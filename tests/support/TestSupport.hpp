// SPDX-License-Identifier: MIT
//
// Helpers shared by the tests: count tables, data and lane kernels to run
// over, callbacks over strings, inputs large enough for threads, temporary
// directories, and running the built commands. The oracle's helpers
// (Oracle.hpp) are here under their own names too.
#ifndef TESTS_SUPPORT_TESTSUPPORT_HPP
#define TESTS_SUPPORT_TESTSUPPORT_HPP

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "HCTree.hpp"
#include "Oracle.hpp"
#include "SymbolCounts.hpp"
#include "common/CodeTree.hpp"
#include "huffcodec/experimental.hpp"

namespace testing_support {

// The oracle's helpers, called by these names throughout the tests.
using oracle::codesOf;
using oracle::compressReference;
using oracle::countBytes;
using oracle::decodePlain;
using oracle::encodePlain;
using oracle::headerBytes;
using oracle::packBits;
using oracle::PlainDecoding;

// Counts from a list of (symbol, count) pairs; every other entry is 0.
SymbolCounts makeCounts(const std::vector<std::pair<int, std::int32_t>>& entries);

// The engine's code of the counts tree was built from (its leaves' counts).
huffcodec::CodeTree codeOf(const HCTree& tree);

// Count tables of many shapes with fixed seeds: sparse and dense, small and
// large counts, one symbol, Fibonacci counts (codes of over 40 bits), equal
// counts. The empty table is not among them.
std::vector<SymbolCounts> countTableShapes();

// Options for threads threads, tuned by tuning (which must outlive the call)
// when given.
inline huffcodec::Options optionsWith(int threads, const huffcodec::Tuning* tuning = nullptr) {
    huffcodec::Options options;
    options.threads = threads;
    options.tuning = tuning;
    return options;
}

// Calls run once for every lane kernel this processor runs, with that
// kernel's name in the failure messages.
void forEachKernel(const std::function<void(huffcodec::Kernel)>& run);

// size symbols drawn with the frequencies of counts (which must not be empty).
std::string dataFor(const SymbolCounts& counts, std::size_t size, std::uint64_t seed);

// Deterministic pseudo-random bytes, optionally skewed towards few values.
std::string randomBytes(std::uint64_t seed, std::size_t size, int alphabet = 256);

// Reads bytes from offset on, at most 777 bytes a call, advancing offset;
// both must outlive the reader.
huffcodec::ReadFn readerOf(const std::string& bytes, std::size_t& offset);

// Appends everything written to out.
huffcodec::WriteFn appendTo(std::string& out);

// The encoder's chunks and the smallest input it shares out among threads.
inline constexpr std::size_t kChunk = std::size_t{512} << 10;
inline constexpr std::size_t kThreadedSize = std::size_t{4} << 20;

struct LargeShape {
    std::string name;
    std::string data;
    bool midByteBoundary;  // some chunk's codes start inside a byte of the one before
};

// Inputs large enough for threads: text, a skewed alphabet, the deepest
// tree 5.7 MB can make (its longest codes placed at both ends of chunks),
// exactly 4 MiB of two values, whose one-bit codes put every chunk boundary
// on a byte boundary, and uniform bytes, whose codes of eight bits are
// decoded and encoded as a byte table.
std::vector<LargeShape> largeShapes();

// Their names, in the same order, without the megabytes of making them.
std::vector<std::string> largeShapeNames();

// Test names for a table's rows, so that a failure names its row and
// --gtest_filter (ctest -R) runs one: each row's description with its letters
// and digits kept and every other run of characters one '_' (none at either
// end), and "_row" and the row's index after a name an earlier row has. The
// name generator of a parameterised table whose parameter is the row's index.
class RowNames {
public:
    explicit RowNames(const std::vector<std::string>& descriptions);
    template <class Rows, class Describe>
    RowNames(const Rows& rows, Describe describe) : RowNames(describeAll(rows, describe)) {}
    template <class Info>
    std::string operator()(const Info& info) const {
        return names.at(info.index);
    }

private:
    template <class Rows, class Describe>
    static std::vector<std::string> describeAll(const Rows& rows, Describe describe) {
        std::vector<std::string> descriptions;
        for (const auto& row : rows) {
            descriptions.push_back(describe(row));
        }
        return descriptions;
    }
    std::vector<std::string> names;
};

// A temporary directory removed with everything in it when destroyed.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string path(const std::string& name) const { return dir + "/" + name; }

private:
    std::string dir;
};

void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);
bool fileExists(const std::string& path);

// The two lines every command prints on bad arguments.
std::string usageText(const std::string& program);

// text with every "IN" replaced by in and every "OUT" by out.
std::string substitutePaths(std::string text, const std::string& in, const std::string& out);

struct RunResult {
    int exitStatus = -1;  // exit code, or -1 when killed by a signal
    int signal = 0;       // the signal that killed it, if one did
    std::string out;
    std::string err;
};

// How to start a program beyond its arguments.
struct RunOptions {
    std::string script;              // if set, run by bash -c script with the argv as "$@"
    std::vector<int> closedFds{};    // standard descriptors closed before it starts
    std::vector<std::string> env{};  // NAME=VALUE, replacing any inherited NAME
    unsigned timeoutSeconds = 120;   // then SIGALRM ends it
};

// Runs program with args (argv[0] included) and empty standard input.
RunResult runProgram(const std::string& program, const std::vector<std::string>& argv,
                     const RunOptions& options = {});

// One run of a command on a file "in.huf" in a fresh directory, with the
// status, standard error and output file it must give.
struct CliCase {
    std::string name;
    std::string input;              // contents of the input file
    bool noInput = false;           // the input file does not exist
    std::vector<std::string> args;  // after the program name; "IN"/"OUT" are replaced
    int exitStatus = 0;
    std::string err;                    // "IN"/"OUT" are replaced
    std::optional<std::string> output;  // bytes of OUT; nullopt: OUT must not exist
    RunOptions run{};                   // "IN"/"OUT" are replaced in script and env
    std::int64_t inputSize = -1;        // if set, the input is extended with a hole to this size
};

// Runs the case and reports every mismatch as a test failure. Standard output
// must stay empty, the input file unchanged, and every line of standard error
// documented (expectDocumentedLines).
void expectCliCase(const std::string& program, const CliCase& c);

// Fails the test for each line of the run's standard error that is not among
// the DIAGNOSTICS of program's manual page (man/<name>.1), and for a last line
// listed without the exit status the run ended with. A stage line ended by a
// problem counts as the stage's line with " done." and the problem line.
void expectDocumentedLines(const std::string& program, const RunResult& result);

// Whether case index of an exhaustive sweep (every cut point, every count,
// every call a fault can strike) runs: all of them in a plain build; under the
// sanitizers, which run each case ten to thirty times slower, one in
// kSanitizedSweepStride, chosen by offset. Sweeps over many shapes pass an
// offset that changes from shape to shape, so that together they still reach
// every residue.
inline constexpr std::size_t kSanitizedSweepStride = 4;
constexpr bool inSweep(std::size_t index, std::size_t offset) {
    return SANITIZED == 0 || index % kSanitizedSweepStride == offset % kSanitizedSweepStride;
}

}  // namespace testing_support

#endif  // TESTS_SUPPORT_TESTSUPPORT_HPP
