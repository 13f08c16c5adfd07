// SPDX-License-Identifier: MIT
//
// Both commands in a hostile environment: closed standard descriptors, file
// size and memory limits, a reader that goes away, input from a pipe, a huge
// input, signals; then a fault struck at every read, write and close of the
// input and the output in turn.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "huffcodec/huffcodec.hpp"

namespace {

using namespace testing_support;
using huffcodec::kHeaderBytes;

const std::string kCompress = COMPRESS_PATH;
const std::string kUncompress = UNCOMPRESS_PATH;

// The report of program turning original (compress) or its compressed form
// (uncompress) from in into out; with a problem, cut after the "..." of the
// first line that holds stage and closed by the problem.
std::string report(const std::string& program, const std::string& in, const std::string& out,
                   const std::string& original, const std::string& stage = "",
                   const std::string& problem = "") {
    const bool packing = program == kCompress;
    const SymbolCounts counts = countBytes(original);
    const auto unique = std::count_if(counts.begin(), counts.end(), [](auto c) { return c != 0; });
    std::ostringstream text;
    text << (packing ? "Reading from file \"" : "Reading header from file \"") << in
         << "\"... done.\n"
         << (packing ? "Input file has " : "Uncompressed file will have ") << unique
         << " unique symbols and size " << original.size()
         << " bytes.\nBuilding Huffman code tree... done.\nWriting to file \"" << out
         << "\"... done.\n"
         << (packing ? "Compression ratio: " : "Uncompression ratio: ")
         << static_cast<double>(original.size()) /
                static_cast<double>(compressReference(original).size())
         << "\n";
    const std::string full = text.str();
    if (stage.empty()) {
        return full;
    }
    return full.substr(0, full.find("...", full.find(stage)) + 3) + "  Problem: " + problem + "\n";
}

// Preloads the fault library with settings. ASan wants to come first among
// the libraries; this one only passes calls on to it.
std::vector<std::string> faultEnv(std::vector<std::string> settings) {
    const char* asan = std::getenv("ASAN_OPTIONS");
    settings.push_back("LD_PRELOAD=" FAULT_INJECTION_PATH);
    settings.push_back("ASAN_OPTIONS=" + std::string(asan != nullptr ? asan : "") +
                       ":verify_asan_link_order=0");
    return settings;
}

struct Row {
    std::string program;
    CliCase c;
};

Row row(const std::string& program, const std::string& name, const std::string& input,
        const std::vector<std::string>& args, int status, const std::string& err,
        const std::optional<std::string>& output, const RunOptions& run = {},
        std::int64_t inputSize = -1) {
    return {program, {name, input, false, args, status, err, output, run, inputSize}};
}

// The inputs of the table's rows, and what a copy of the threaded one cut by
// a read error at 262144 gives.
struct Inputs {
    std::string small, packed, large, largePacked, threaded, threadedPacked, keptBeforeError;
};

Inputs makeInputs() {
    Inputs made;
    made.small = randomBytes(3, 5000, 40);
    made.packed = compressReference(made.small);
    made.large = randomBytes(4, 1 << 20);
    made.largePacked = compressReference(made.large);
    made.threaded = randomBytes(8, (std::size_t{4} << 20) + 333, 60);
    made.threadedPacked = compressReference(made.threaded);
    HCTree threadedTree;
    threadedTree.buildFromCounts(countBytes(made.threaded));
    made.keptBeforeError =
        decodePlain(threadedTree, made.threadedPacked.substr(kHeaderBytes, 262144 - kHeaderBytes),
                    made.threaded.size())
            .symbols;
    return made;
}

// The rows over inputs; their names and number do not depend on the inputs,
// so empty ones list them without the seconds the inputs and their reports
// take.
std::vector<Row> tableRows(const Inputs& inputs) {
    const std::string &small = inputs.small, &packed = inputs.packed, &large = inputs.large,
                      &largePacked = inputs.largePacked, &threaded = inputs.threaded,
                      &threadedPacked = inputs.threadedPacked,
                      &keptBeforeError = inputs.keptBeforeError;
    const std::string writing = "error writing output file.";
    const std::string in = "IN", out = "OUT", stdIn = "/dev/stdin", stdOut = "/dev/stdout";
    auto limit = [](const std::string& ulimit) { return RunOptions{ulimit + "; exec \"$@\""}; };
    const RunOptions headReads{"set -o pipefail; \"$@\" | head -c 1 >/dev/null"};
    const RunOptions closed12{"", {1, 2}}, closedAll{"", {0, 1, 2}};
    std::vector<Row> rows = {
        row(kCompress, "stdout, stderr closed", small, {in, out}, 0, "", packed, closed12),
        row(kCompress, "all three closed", small, {in, out}, 0, "", packed, closedAll),
        row(kUncompress, "stdout, stderr closed", packed, {in, out}, 0, "", small, closed12),
        row(kCompress, "file size limit", small, {in, out}, 255,
            report(kCompress, in, out, small, "Writing", writing), std::nullopt,
            limit("ulimit -f 1")),
        row(kUncompress, "file size limit", packed, {in, out}, 255,
            report(kUncompress, in, out, small, "Writing", writing), small.substr(0, 1024),
            limit("ulimit -f 1")),
        row(kCompress, "reader goes away", large, {in, stdOut}, 255,
            report(kCompress, in, stdOut, large, "Writing", writing), std::nullopt, headReads),
        row(kUncompress, "reader goes away", largePacked, {in, stdOut}, 255,
            report(kUncompress, in, stdOut, large, "Writing", writing), std::nullopt, headReads),
        row(kCompress, "input from a pipe, no temporary file left", small, {stdIn, out}, 0,
            report(kCompress, stdIn, out, small), packed,
            {"mkdir IN.tmp && cat IN | TMPDIR=IN.tmp \"$@\"; s=$?; rmdir IN.tmp && exit $s"}),
        row(kCompress, "input from a pipe, temporary file over the size limit", small, {stdIn, out},
            255, "Reading from file \"/dev/stdin\"...  Problem: error writing temporary file.\n",
            std::nullopt, {"cat IN | (ulimit -f 1; exec \"$@\")"}),
        // A fault on the first read of the input would show if it were read.
        row(kCompress, "3 GiB input refused before reading", "", {in, out}, 255,
            "Reading from file \"IN\"...  Problem: input exceeds 2147483647 bytes.\n", std::nullopt,
            {"", {}, faultEnv({"FAULT_OP=read", "FAULT_AT=1", "FAULT_PATH=IN"})},
            std::int64_t{3} << 30),
    };
    // Stacks of 24 KiB, for the calling thread and the workers alike; the
    // sanitizers' frames are larger.
    for (const std::string threads : {"1", "2"}) {
        if (SANITIZED) {
            break;
        }
        const RunOptions smallStack{
            "ulimit -s 24; exec \"$@\"", {}, {"HUFFCODEC_THREADS=" + threads}};
        rows.push_back(row(kCompress, "24 KiB stack, threads " + threads, threaded, {in, out}, 0,
                           report(kCompress, in, out, threaded), threadedPacked, smallStack));
        rows.push_back(row(kUncompress, "24 KiB stack, threads " + threads, threadedPacked,
                           {in, out}, 0, report(kUncompress, in, out, threaded), threaded,
                           smallStack));
    }
    // A read error 262144 bytes into the file: on every thread count, what
    // a copy cut there gives, and the problem line.
    for (const std::string threads : {"1", "2", "3", "4"}) {
        rows.push_back(
            row(kUncompress, "read error at 262144, threads " + threads, threadedPacked, {in, out},
                255, report(kUncompress, in, out, threaded, "Writing", "error reading input file."),
                keptBeforeError,
                {"",
                 {},
                 faultEnv({"FAULT_OP=read", "FAULT_OFFSET=262144", "FAULT_PATH=IN",
                           "HUFFCODEC_THREADS=" + threads})}));
    }
    // Killed while it waits for input, once the output exists and the report
    // has begun (it begins just after the output is created); bash's own
    // reports of the job go to /dev/null.
    const std::string waitThenKill =
        "set -m; exec 4>&2 2>/dev/null; mkfifo IN.fifo || exit; \"$@\" 2>&4 & "
        "exec 3>IN.fifo; until [ -e OUT ] && [ -s /dev/fd/4 ]; do sleep 0.01; done; kill -";
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        const std::string kill = "kill -" + std::to_string(signal);
        rows.push_back(row(kCompress, kill, "", {"IN.fifo", out}, 128 + signal,
                           "Reading from file \"IN.fifo\"...", std::nullopt,
                           {waitThenKill + std::to_string(signal) + " $!; wait $!"}));
    }
    // Ignored by the caller (as nohup does), SIGHUP must stay ignored: the
    // input then comes to its end and the output is whole.
    const std::string hup = std::to_string(SIGHUP);
    rows.push_back(
        row(kCompress, "kill -" + hup + ", ignored", small, {"IN.fifo", out}, 0,
            report(kCompress, "IN.fifo", out, small), packed,
            {"trap '' HUP; " + waitThenKill + hup + " $!; cat IN >&3; exec 3>&-; wait $!"}));
    return rows;
}

// Made once per program run, for all the rows it runs.
const std::vector<Row>& table() {
    static const std::vector<Row> rows = tableRows(makeInputs());
    return rows;
}

std::string nameOf(const Row& r) {
    return (r.program == kCompress ? "compress: " : "uncompress: ") + r.c.name;
}

// The parameter is the row's index.
class TableOfCases : public testing::TestWithParam<std::size_t> {};

TEST_P(TableOfCases, Case) {
    const Row& r = table()[GetParam()];
    expectCliCase(r.program, r.c);
}

INSTANTIATE_TEST_SUITE_P(HardenedEdges, TableOfCases,
                         testing::Range<std::size_t>(0, tableRows(Inputs{}).size()),
                         RowNames(tableRows(Inputs{}), nameOf));

// Address-space limits from where the program cannot even load to where it
// runs through, on one thread and on two: every run gives the normal result,
// or ends the report so far with "  Problem: out of memory." and status 255,
// leaving no output from compress and an empty one, if any, from uncompress
// (all its memory is taken before the first byte is written); and some limit gives
// that problem. Where the allocations fall changes with the code; the sweep
// does not depend on it.
TEST(HardenedEdges, MemoryLimitsGiveTheOutOfMemoryProblem) {
    if (SANITIZED) {
        GTEST_SKIP() << "the sanitizers reserve far more address space than these limits";
    }
    struct Sweep {
        std::string original;
        std::string threads;
        int fromKib, toKib, stepKib;
    };
    const Sweep sweeps[] = {
        {randomBytes(3, 300000, 40), "1", 3000, 12000, 200},
        {randomBytes(7, (std::size_t{4} << 20) + 4099, 40), "2", 3000, 40000, 500}};
    const std::string line = "  Problem: out of memory.\n";
    for (const Sweep& sweep : sweeps) {
        const std::string& original = sweep.original;
        const std::string packed = compressReference(original);
        for (const std::string& program : {kCompress, kUncompress}) {
            SCOPED_TRACE(program + ", threads " + sweep.threads);
            const bool packing = program == kCompress;
            TempDir dir;
            const std::string in = dir.path("in"), out = dir.path("out");
            writeFile(in, packing ? original : packed);
            const std::string full = report(program, in, out, original);
            int outOfMemory = 0;
            for (int kib = sweep.fromKib; kib <= sweep.toKib; kib += sweep.stepKib) {
                SCOPED_TRACE(kib);
                std::remove(out.c_str());
                const RunResult result =
                    runProgram(program, {program, in, out},
                               {"ulimit -v " + std::to_string(kib) + "; exec \"$@\"",
                                {},
                                {"HUFFCODEC_THREADS=" + sweep.threads}});
                if (result.exitStatus == 127) {
                    continue;  // the loader could not map the program
                }
                expectDocumentedLines(program, result);
                if (result.exitStatus == 0) {
                    EXPECT_EQ(result.err, full);
                    EXPECT_TRUE(readFile(out) == (packing ? packed : original));
                    continue;
                }
                ++outOfMemory;
                EXPECT_EQ(result.exitStatus, 255);
                ASSERT_GE(result.err.size(), line.size()) << result.err;
                const std::size_t before = result.err.size() - line.size();
                EXPECT_EQ(result.err.substr(before), line);
                EXPECT_EQ(result.err.substr(0, before), full.substr(0, before));
                // Before the first stage line, uncompress may not have
                // created its output yet.
                EXPECT_TRUE(packing ? !fileExists(out) : fileExists(out) || before == 0);
                EXPECT_EQ(fileExists(out) ? readFile(out).size() : 0, 0u);
            }
            EXPECT_GT(outOfMemory, 0);
        }
    }
}

// Every read of the input, write of the output and close of either fails in
// turn (EIO), comes up short or is interrupted (EINTR), through a preloaded
// library: on a small input, and on one large enough for threads with
// HUFFCODEC_THREADS at 2, 3 and 4 (the sanitizer builds strike each call with
// one of the three in turn). Short and interrupted calls must not change the
// result; EIO gives the problem line of the stage it hits and, from compress,
// no output file; the threads stop with it, well within the time limit. A read
// error leaves uncompress's output as a copy of the input cut where it struck
// would, on every thread count, and no error if those bytes hold every code.
TEST(HardenedEdges, FaultAtEveryCall) {
    struct Input {
        std::string original;
        std::vector<std::string> threads;  // HUFFCODEC_THREADS; "-": as inherited
    };
    const Input inputs[] = {{randomBytes(5, 300000, 40), {"-"}},
                            {randomBytes(6, (std::size_t{4} << 20) + 4099, 3), {"2", "3", "4"}}};
    TempDir dir;
    const std::string in = dir.path("in"), out = dir.path("out"), struck = dir.path("struck");
    const std::vector<std::array<std::string, 3>> faults = {
        {"read", in, "eio"},    {"read", in, "short"},   {"read", in, "eintr"},
        {"write", out, "eio"},  {"write", out, "short"}, {"write", out, "eintr"},
        {"close", in, "eio"},   {"close", in, "eintr"},  {"close", out, "eio"},
        {"close", out, "eintr"}};
    for (const Input& input : inputs) {
        const std::string& original = input.original;
        const std::string packed = compressReference(original);
        HCTree tree;
        tree.buildFromCounts(countBytes(original));
        for (const std::string& program : {kCompress, kUncompress}) {
            const bool packing = program == kCompress;
            const std::string& result = packing ? packed : original;
            writeFile(in, packing ? original : packed);
            const std::string full = report(program, in, out, original);
            for (const auto& [op, target, kind] : faults) {
                // Under the sanitizers, every other call: the faults stay
                // spread over the whole run at half the cost.
                for (int at = 1, hit = 1; hit != 0 && at < 100; at += SANITIZED != 0 ? 2 : 1) {
                    for (std::size_t t = 0; t < input.threads.size(); ++t) {
                        const std::string& threads = input.threads[t];
                        if (SANITIZED && t != at % input.threads.size()) {
                            continue;
                        }
                        SCOPED_TRACE(program + " " + op + " " + target + " " + kind + " " +
                                     std::to_string(at) + ", " + std::to_string(original.size()) +
                                     " bytes, threads " + threads);
                        unlink(struck.c_str());
                        unlink(out.c_str());
                        std::vector<std::string> env = {
                            "FAULT_OP=" + op, "FAULT_AT=" + std::to_string(at),
                            "FAULT_KIND=" + kind, "FAULT_PATH=" + target, "FAULT_REPORT=" + struck};
                        if (threads != "-") {
                            env.push_back("HUFFCODEC_THREADS=" + threads);
                        }
                        const RunResult run =
                            runProgram(program, {program, in, out}, {"", {}, faultEnv(env), 60});
                        expectDocumentedLines(program, run);
                        hit = fileExists(struck) ? 1 : 0;
                        const std::string produced = fileExists(out) ? readFile(out) : "(none)";
                        if (hit != 0 && !packing && op == "read" && kind == "eio") {
                            const std::size_t offset = std::stoul(readFile(struck));
                            const PlainDecoding cut =
                                offset < kHeaderBytes
                                    ? PlainDecoding{}
                                    : decodePlain(
                                          tree, packed.substr(kHeaderBytes, offset - kHeaderBytes),
                                          original.size());
                            EXPECT_TRUE(produced == cut.symbols) << "struck at " << offset;
                            EXPECT_EQ(run.exitStatus, cut.complete ? 0 : 255);
                            EXPECT_EQ(run.err, cut.complete
                                                   ? full
                                                   : report(program, in, out, original,
                                                            offset < kHeaderBytes ? "Reading header"
                                                                                  : "Writing",
                                                            "error reading input file."));
                            continue;
                        }
                        // A failed close of the input loses nothing.
                        if (hit == 0 || kind != "eio" || (op == "close" && target == in)) {
                            EXPECT_EQ(run.exitStatus, 0) << "signal " << run.signal;
                            EXPECT_EQ(run.err, full);
                            EXPECT_TRUE(produced == result);
                            continue;
                        }
                        const std::string line = op == "read"
                                                     ? "  Problem: error reading input file.\n"
                                                     : "  Problem: error writing output file.\n";
                        EXPECT_EQ(run.exitStatus, 255) << "signal " << run.signal;
                        ASSERT_GE(run.err.size(), line.size() + 3) << run.err;
                        const std::size_t cut = run.err.size() - line.size();
                        EXPECT_EQ(run.err.substr(cut - 3), "..." + line);
                        EXPECT_EQ(full.compare(0, cut, run.err, 0, cut), 0) << run.err;
                        // compress leaves no output; uncompress keeps what it decoded.
                        EXPECT_TRUE(packing ? produced == "(none)"
                                            : result.compare(0, produced.size(), produced) == 0);
                    }
                }
            }
        }
    }
}

}  // namespace
