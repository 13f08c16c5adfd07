// SPDX-License-Identifier: MIT
//
// The compress command run as a user runs it, and round trips through
// compress and uncompress over data of many sizes and shapes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "huffcodec/huffcodec.hpp"

namespace {

using namespace testing_support;

const std::string kCompress = COMPRESS_PATH;
const std::string kUncompress = UNCOMPRESS_PATH;
const std::string kSampleDir = SAMPLE_DIR;

std::string report(const std::string& in, const std::string& out, int unique, long long total,
                   const std::string& ratio) {
    return "Reading from file \"" + in + "\"... done.\nInput file has " + std::to_string(unique) +
           " unique symbols and size " + std::to_string(total) +
           " bytes.\nBuilding Huffman code tree... done.\nWriting to file \"" + out +
           "\"... done.\nCompression ratio: " + ratio + "\n";
}

std::string writingProblem(const std::string& out, int unique, long long total,
                           const std::string& problem) {
    const std::string full = report("IN", out, unique, total, "");
    return full.substr(0, full.find("... done.\nCompression")) + "...  Problem: " + problem + "\n";
}

std::vector<CliCase> cliCases() {
    const std::string usage = usageText(kCompress);
    const std::string warning = "warning: HUFFCODEC_THREADS=\"x\" is not a thread count; using " +
                                std::to_string(huffcodec::availableProcessors()) + "\n";
    return {
        {"no arguments", "", false, {}, 255, usage, std::nullopt},
        {"one argument", "abc", false, {"IN"}, 255, usage, std::nullopt},
        {"one argument, after the warning about HUFFCODEC_THREADS",
         "abc",
         false,
         {"IN"},
         255,
         warning + usage,
         std::nullopt,
         {"", {}, {"HUFFCODEC_THREADS=x"}}},
        {"three arguments", "abc", false, {"IN", "OUT", "OUT"}, 255, usage, std::nullopt},
        {"same text twice",
         "abc",
         false,
         {"IN", "IN"},
         255,
         "infile and outfile must be different files\n" + usage,
         std::nullopt},
        {"missing input", "", true, {"IN", "OUT"}, 255, "Error opening \"IN\".\n", std::nullopt},
        {"output in a missing directory",
         "abc",
         false,
         {"IN", "no/such/OUT"},
         255,
         "Error opening \"no/such/OUT\".\n",
         std::nullopt},
        {"empty input gives a header of zeros",
         "",
         false,
         {"IN", "OUT"},
         0,
         report("IN", "OUT", 0, 0, "0"),
         std::string(kHeaderBytes, '\0')},
        {"one byte value gives the header alone",
         "zzzz",
         false,
         {"IN", "OUT"},
         0,
         report("IN", "OUT", 1, 4, "0.00390625"),
         headerBytes(makeCounts({{'z', 4}}))},
        {"first example",
         "CABC",
         false,
         {"IN", "OUT"},
         0,
         report("IN", "OUT", 3, 4, "0.00390244"),
         headerBytes(makeCounts({{65, 1}, {66, 1}, {67, 2}})) + "\x31"},
        {"second example",
         "aabcabcaa",
         false,
         {"IN", "OUT"},
         0,
         report("IN", "OUT", 3, 9, "0.00877193"),
         headerBytes(makeCounts({{97, 5}, {98, 2}, {99, 2}})) + "\x63\x1C"},
        {"full device, empty input",
         "",
         false,
         {"IN", "/dev/full"},
         255,
         writingProblem("/dev/full", 0, 0, "error writing output file."),
         std::nullopt},
        {"full device",
         randomBytes(3, 5000, 40),
         false,
         {"IN", "/dev/full"},
         255,
         writingProblem("/dev/full", 40, 5000, "error writing output file."),
         std::nullopt},
    };
}

// Made once per program: the cases name the tests too.
const std::vector<CliCase>& table() {
    static const std::vector<CliCase> cases = cliCases();
    return cases;
}

// The parameter is the case's index.
class TableOfCases : public testing::TestWithParam<std::size_t> {};

TEST_P(TableOfCases, Case) {
    expectCliCase(kCompress, table()[GetParam()]);
}

INSTANTIATE_TEST_SUITE_P(CompressCli, TableOfCases, testing::Range<std::size_t>(0, table().size()),
                         RowNames(table(), [](const CliCase& c) { return c.name; }));

// A directory opens but cannot be read: both commands refuse it at once.
TEST(CompressCli, InputThatIsADirectoryCannotBeOpened) {
    TempDir dir;
    const std::string out = dir.path("out");
    for (const std::string& program : {kCompress, kUncompress}) {
        const RunResult result = runProgram(program, {program, dir.path(""), out});
        EXPECT_EQ(result.exitStatus, 255);
        EXPECT_EQ(result.err, "Error opening \"" + dir.path("") + "\".\n");
        EXPECT_FALSE(fileExists(out));
    }
}

TEST(CompressCli, RefusesOutputThatIsTheInputUnderAnotherName) {
    TempDir dir;
    const std::string in = dir.path("in");
    writeFile(in, "abc");
    ASSERT_EQ(link(in.c_str(), dir.path("hard").c_str()), 0);
    ASSERT_EQ(symlink(in.c_str(), dir.path("soft").c_str()), 0);
    ASSERT_EQ(mkdir(dir.path("sub").c_str(), 0700), 0);
    for (const std::string& alias :
         {dir.path("hard"), dir.path("soft"), dir.path("./in"), dir.path("sub/../in")}) {
        const RunResult result = runProgram(kCompress, {kCompress, in, alias});
        EXPECT_EQ(result.exitStatus, 255) << alias;
        EXPECT_EQ(result.err,
                  "infile and outfile must be different files\n" + usageText(kCompress));
        EXPECT_EQ(readFile(in), "abc");
    }
}

// An endless input stops at the size limit instead of running forever.
TEST(CompressCli, EndlessInputStopsAtTheSizeLimit) {
    TempDir dir;
    const RunResult result = runProgram(kCompress, {kCompress, "/dev/zero", dir.path("out")});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.err,
              "Reading from file \"/dev/zero\"...  Problem: input exceeds 2147483647 bytes.\n");
}

TEST(CompressCli, EmptyArgumentVectorNamesTheCommand) {
    const RunResult result = runProgram(kCompress, {});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.err, usageText("compress"));
}

// The figure after "ratio: " on the last line of a report.
std::string ratioOf(const std::string& report) {
    const std::size_t at = report.rfind("ratio: ");
    return at == std::string::npos ? "(no ratio)" : report.substr(at + 7);
}

// Data of many sizes and shapes. Each is compressed by the command, compared
// with the reference encoder byte for byte, and restored by uncompress.
struct Shape {
    std::string name;
    std::string data;
};

std::vector<Shape> shapes() {
    std::vector<Shape> list = {
        {"empty", ""},
        {"one byte", "q"},
        {"one value", std::string(70000, '\x07')},
        {"two values", randomBytes(11, 65537, 2)},
        {"all values once", ""},
        {"uniform random", randomBytes(12, 200003)},
        {"small alphabet", randomBytes(13, 4097, 5)},
        {"high byte values", ""},
        {"skewed", ""},
        {"deep tree", ""},
    };
    for (int v = 0; v < 256; ++v) {
        list[4].data.push_back(static_cast<char>(v));
    }
    for (char c : randomBytes(14, 3000, 64)) {
        list[7].data.push_back(static_cast<char>(static_cast<unsigned char>(c) | 0xC0));
    }
    std::mt19937 random(15);
    for (int i = 0; i < 150000; ++i) {
        list[8].data.push_back(random() % 100 < 93 ? 'a' : static_cast<char>(random() % 256));
    }
    // Fibonacci counts make the deepest code per byte of input.
    long long a = 1, b = 1;
    for (int s = 0; s < 24; ++s) {
        list[9].data.append(static_cast<std::size_t>(a), static_cast<char>(s * 7));
        const long long next = a + b;
        a = b;
        b = next;
    }
    std::shuffle(list[9].data.begin(), list[9].data.end(), random);
    return list;
}

const std::vector<Shape>& shapeTable() {
    static const std::vector<Shape> table = shapes();
    return table;
}

// The parameter is the shape's index.
class RoundTripsEveryShape : public testing::TestWithParam<std::size_t> {};

TEST_P(RoundTripsEveryShape, Shape) {
    const Shape& shape = shapeTable()[GetParam()];
    TempDir dir;
    const std::string original = dir.path("original");
    const std::string packed = dir.path("packed");
    const std::string restored = dir.path("restored");
    writeFile(original, shape.data);
    const RunResult compressed = runProgram(kCompress, {kCompress, original, packed});
    ASSERT_EQ(compressed.exitStatus, 0) << compressed.err;
    EXPECT_EQ(readFile(packed), compressReference(shape.data));
    const RunResult uncompressed = runProgram(kUncompress, {kUncompress, packed, restored});
    ASSERT_EQ(uncompressed.exitStatus, 0) << uncompressed.err;
    EXPECT_EQ(readFile(restored), shape.data);
    // Both commands print one ratio for one file.
    EXPECT_EQ(ratioOf(compressed.err), ratioOf(uncompressed.err));
}

INSTANTIATE_TEST_SUITE_P(CompressCli, RoundTripsEveryShape,
                         testing::Range<std::size_t>(0, shapeTable().size()),
                         RowNames(shapeTable(), [](const Shape& shape) { return shape.name; }));

TEST(CompressCli, BundledSampleMatchesItsCompressedForm) {
    TempDir dir;
    const RunResult result =
        runProgram(kCompress, {kCompress, kSampleDir + "/sample.txt", dir.path("out")});
    ASSERT_EQ(result.exitStatus, 0);
    EXPECT_EQ(readFile(dir.path("out")), readFile(kSampleDir + "/sample.huf"));
}

// Both commands on an input large enough for threads, with every thread count
// HUFFCODEC_THREADS may give and with values that are none: the same files and
// the same reports, after one warning line for a value that is not a count.
struct ThreadsRow {
    std::string value;
    bool count;
    std::string shown = "";  // in the warning, if not the value itself
};

std::vector<ThreadsRow> threadsRows() {
    const std::string zeros(100000, '0'), forty(40, 'y'), huge(102400, 'z');
    std::vector<ThreadsRow> rows = {
        {"1", true},     {"2", true},        {"3", true},         {"4", true},   {"04", true},
        {"00002", true}, {"0001024", true},  {zeros + "3", true}, {"x", false},  {"0", true},
        {"1025", false}, {"0001025", false}, {"0000", true},      {"-1", false}, {"", false},
        {" 2", false},   {"2 ", false},      {"3.0", false},      {forty, false}};
    // Values the warning escapes or cuts short.
    rows.insert(rows.end(), {{"2\n", false, "2\\x0a"},
                             {"2\r\x1b[2J", false, "2\\x0d\\x1b[2J"},
                             {"\xc3\xa9\x7f\"\\", false, "\\xc3\\xa9\\x7f\\x22\\x5c"},
                             {huge, false, huge.substr(0, 40) + "..."}});
    return rows;
}

const std::vector<ThreadsRow>& threadsTable() {
    static const std::vector<ThreadsRow> table = threadsRows();
    return table;
}

std::string shownOf(const ThreadsRow& row) {
    return row.shown.empty() ? row.value : row.shown;
}

// The parameter is the row's index.
class ThreadCountsFromTheEnvironment : public testing::TestWithParam<std::size_t> {
protected:
    // The input and what both commands make of it, once for all the rows a
    // run takes.
    static void SetUpTestSuite() {
        data = dataFor(countTableShapes()[1], (std::size_t{4} << 20) + 4099, 31);
        packed = compressReference(data);
        const SymbolCounts counts = countBytes(data);
        const int unique = static_cast<int>(
            std::count_if(counts.begin(), counts.end(), [](std::int32_t c) { return c != 0; }));
        std::ostringstream ratio;
        ratio << static_cast<double>(data.size()) / static_cast<double>(packed.size());
        const auto size = static_cast<long long>(data.size());
        compressReport = report("IN", "OUT", unique, size, ratio.str());
        uncompressReport =
            "Reading header from file \"IN\"... done.\nUncompressed file will have " +
            std::to_string(unique) + " unique symbols and size " + std::to_string(size) +
            " bytes.\nBuilding Huffman code tree... done.\nWriting to file \"OUT\"... done.\n"
            "Uncompression ratio: " +
            ratio.str() + "\n";
    }
    static inline std::string data, packed, compressReport, uncompressReport;
};

TEST_P(ThreadCountsFromTheEnvironment, Value) {
    const ThreadsRow& row = threadsTable()[GetParam()];
    const std::string available = std::to_string(huffcodec::availableProcessors());
    const std::string shown = shownOf(row);
    const std::string warning = row.count
                                    ? ""
                                    : "warning: HUFFCODEC_THREADS=\"" + shown +
                                          "\" is not a thread count; using " + available + "\n";
    const RunOptions run{"", {}, {"HUFFCODEC_THREADS=" + row.value}};
    expectCliCase(kCompress, {"compress, HUFFCODEC_THREADS=\"" + shown.substr(0, 50) + "\"",
                              data,
                              false,
                              {"IN", "OUT"},
                              0,
                              warning + compressReport,
                              packed,
                              run});
    expectCliCase(kUncompress, {"uncompress, HUFFCODEC_THREADS=\"" + shown.substr(0, 50) + "\"",
                                packed,
                                false,
                                {"IN", "OUT"},
                                0,
                                warning + uncompressReport,
                                data,
                                run});
}

INSTANTIATE_TEST_SUITE_P(CompressCli, ThreadCountsFromTheEnvironment,
                         testing::Range<std::size_t>(0, threadsTable().size()),
                         RowNames(threadsTable(), [](const ThreadsRow& row) {
                             return "HUFFCODEC_THREADS=\"" + shownOf(row).substr(0, 50) + "\"";
                         }));

}  // namespace
