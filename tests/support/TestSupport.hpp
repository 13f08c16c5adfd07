// SPDX-License-Identifier: MIT
//
// Helpers shared by the tests: assembling compressed files from counts and bit
// strings, a reference encoder that derives codes from the tree's parent
// links, temporary directories, and running the built commands.
#ifndef TESTS_SUPPORT_TESTSUPPORT_HPP
#define TESTS_SUPPORT_TESTSUPPORT_HPP

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "CodeTree.hpp"
#include "HCTree.hpp"
#include "SymbolCounts.hpp"

namespace testing_support {

// Counts from a list of (symbol, count) pairs; every other entry is 0.
SymbolCounts makeCounts(const std::vector<std::pair<int, std::int32_t>>& entries);

// Counts of the bytes of data.
SymbolCounts countBytes(const std::string& data);

// The 1024-byte header for counts, little-endian.
std::string headerBytes(const SymbolCounts& counts);

// Packs a string of '0' and '1' (spaces ignored) least significant bit first,
// padding the last byte with zeros.
std::string packBits(const std::string& bits);

// The code of every symbol as a string of '0' and '1', root end first, found
// by climbing parent links from each leaf; empty for a symbol without a leaf.
std::vector<std::string> codesOf(const HCTree& tree);

// The engine's code of the counts tree was built from (its leaves' counts).
huffcodec::CodeTree codeOf(const HCTree& tree);

// A whole compressed file for data: header of its counts, then its codes.
std::string compressReference(const std::string& data);

// What the plain reference path (decodeSymbol over a BitInputStream) makes of
// a body: the symbols it decodes before it stops, whether it decoded all of
// symbolCount, and the body bytes it fetched.
struct PlainDecoding {
    std::string symbols;
    bool complete = false;
    std::uint64_t bytesFetched = 0;
};
PlainDecoding decodePlain(const HCTree& tree, const std::string& body, std::uint64_t symbolCount);

// The body encodeSymbol writes over a BitOutputStream for data.
std::string encodePlain(const HCTree& tree, const std::string& data);

// Count tables of many shapes with fixed seeds: sparse and dense, small and
// large counts, one symbol, Fibonacci counts (codes of over 40 bits), equal
// counts. The empty table is not among them.
std::vector<SymbolCounts> countTableShapes();

// Calls run once for every lane kernel this processor runs, with that kernel
// in use and its name in the failure messages; the kernel in use before is
// back afterwards.
void forEachKernel(const std::function<void()>& run);

// size symbols drawn with the frequencies of counts (which must not be empty).
std::string dataFor(const SymbolCounts& counts, std::size_t size, std::uint64_t seed);

// Deterministic pseudo-random bytes, optionally skewed towards few values.
std::string randomBytes(std::uint64_t seed, std::size_t size, int alphabet = 256);

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
