// SPDX-License-Identifier: MIT
//
// The uncompress command run as a user runs it: exit status, the exact report
// on standard error, nothing on standard output, and the output file's bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "huffcodec/huffcodec.hpp"

namespace {

using namespace testing_support;

const std::string kUncompress = UNCOMPRESS_PATH;

std::string usage(const std::string& program) {
    return usageText(program);
}

std::string headerLines(const std::string& in, int unique, long long total) {
    return "Reading header from file \"" + in + "\"... done.\nUncompressed file will have " +
           std::to_string(unique) + " unique symbols and size " + std::to_string(total) +
           " bytes.\n";
}

std::string decodedReport(const std::string& in, const std::string& out, int unique,
                          long long total, const std::string& ratio) {
    return headerLines(in, unique, total) +
           "Building Huffman code tree... done.\nWriting to file \"" + out +
           "\"... done.\nUncompression ratio: " + ratio + "\n";
}

std::string decodingProblem(const std::string& in, const std::string& out, int unique,
                            long long total, const std::string& problem) {
    return headerLines(in, unique, total) +
           "Building Huffman code tree... done.\nWriting to file \"" + out +
           "\"...  Problem: " + problem + "\n";
}

const std::string kExample1 = headerBytes(makeCounts({{65, 1}, {66, 1}, {67, 2}})) + "\x31";
const std::string kExample2 =
    headerBytes(makeCounts({{97, 5}, {98, 2}, {99, 2}})) + packBits("1 1 00 01 1 00 01 1 1");

std::vector<CliCase> cliCases() {
    const std::string in = "IN", out = "OUT";
    return {
        {"no arguments", "", false, {}, 255, usage(kUncompress), std::nullopt},
        {"one argument", kExample1, false, {"IN"}, 255, usage(kUncompress), std::nullopt},
        {"three arguments",
         kExample1,
         false,
         {"IN", "OUT", "x"},
         255,
         usage(kUncompress),
         std::nullopt},
        {"same text twice",
         kExample1,
         false,
         {"IN", "IN"},
         255,
         "infile and outfile must be different files\n" + usage(kUncompress),
         std::nullopt},
        {"same text twice, after the warning about HUFFCODEC_THREADS",
         kExample1,
         false,
         {"IN", "IN"},
         255,
         "warning: HUFFCODEC_THREADS=\"-1\" is not a thread count; using " +
             std::to_string(huffcodec::availableProcessors()) +
             "\ninfile and outfile must be different files\n" + usage(kUncompress),
         std::nullopt,
         {"", {}, {"HUFFCODEC_THREADS=-1"}}},
        {"missing input", "", true, {"IN", "OUT"}, 255, "Error opening \"IN\".\n", std::nullopt},
        {"input shorter than the header",
         std::string(1000, '\0'),
         false,
         {"IN", "OUT"},
         255,
         "Reading header from file \"IN\"...  Problem: EOF while reading header.\n",
         ""},
        {"negative entry for byte value 7",
         headerBytes(makeCounts({{3, 1}, {7, -1}, {9, 1}})) + "\x01",
         false,
         {"IN", "OUT"},
         255,
         "Reading header from file \"IN\"...  Problem: EOF while reading header.\n",
         ""},
        {"counts adding up past 2147483647",
         headerBytes(makeCounts({{0, 2147483647}, {1, 1}})),
         false,
         {"IN", "OUT"},
         255,
         "Reading header from file \"IN\"...  Problem: uncompressed size exceeds 2147483647 "
         "bytes.\n",
         ""},
        {"largest total, many symbols, no body",
         headerBytes(makeCounts({{0, 2147483600}, {1, 47}})),
         false,
         {"IN", "OUT"},
         255,
         decodingProblem(in, out, 2, 2147483647, "EOF while decoding."),
         ""},
        {"all-zero header",
         std::string(kHeaderBytes, '\0'),
         false,
         {"IN", "OUT"},
         0,
         decodedReport(in, out, 0, 0, "0"),
         ""},
        {"one symbol needs no body",
         headerBytes(makeCounts({{120, 3}})),
         false,
         {"IN", "OUT"},
         0,
         decodedReport(in, out, 1, 3, "0.00292969"),
         "xxx"},
        {"one symbol, eight bytes",
         headerBytes(makeCounts({{200, 8}})),
         false,
         {"IN", "OUT"},
         0,
         decodedReport(in, out, 1, 8, "0.0078125"),
         std::string(8, '\xC8')},
        {"first example",
         kExample1,
         false,
         {"IN", "OUT"},
         0,
         decodedReport(in, out, 3, 4, "0.00390244"),
         "CABC"},
        {"first example with trailing bytes",
         kExample1 + "trailing",
         false,
         {"IN", "OUT"},
         0,
         decodedReport(in, out, 3, 4, "0.00390244"),
         "CABC"},
        {"first example without its body",
         kExample1.substr(0, kHeaderBytes),
         false,
         {"IN", "OUT"},
         255,
         decodingProblem(in, out, 3, 4, "EOF while decoding."),
         ""},
        {"second example crosses a byte boundary",
         kExample2,
         false,
         {"IN", "OUT"},
         0,
         decodedReport(in, out, 3, 9, "0.00877193"),
         "aabcabcaa"},
        {"body cut after the first byte keeps what was decoded",
         kExample2.substr(0, 1025),
         false,
         {"IN", "OUT"},
         255,
         decodingProblem(in, out, 3, 9, "EOF while decoding."),
         "aabca"},
        {"output on a full device",
         kExample2,
         false,
         {"IN", "/dev/full"},
         255,
         decodingProblem(in, "/dev/full", 3, 9, "error writing output file."),
         std::nullopt},
        {"output in a missing directory",
         kExample1,
         false,
         {"IN", "no/such/dir/out"},
         255,
         "Error opening \"no/such/dir/out\".\n",
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
    expectCliCase(kUncompress, table()[GetParam()]);
}

INSTANTIATE_TEST_SUITE_P(UncompressCli, TableOfCases,
                         testing::Range<std::size_t>(0, table().size()),
                         RowNames(table(), [](const CliCase& c) { return c.name; }));

TEST(UncompressCli, EmptyArgumentVectorNamesTheCommand) {
    const RunResult result = runProgram(kUncompress, {});
    EXPECT_EQ(result.exitStatus, 255);
    EXPECT_EQ(result.err, usage("uncompress"));
}

// Other spellings of the input must not let the output truncate it.
TEST(UncompressCli, RefusesOutputThatIsTheInputUnderAnotherName) {
    TempDir dir;
    const std::string in = dir.path("in.huf");
    writeFile(in, kExample1);
    ASSERT_EQ(link(in.c_str(), dir.path("hard").c_str()), 0);
    ASSERT_EQ(symlink(in.c_str(), dir.path("soft").c_str()), 0);
    ASSERT_EQ(mkdir(dir.path("sub").c_str(), 0700), 0);
    for (const std::string& alias :
         {dir.path("sub/../in.huf"), dir.path("hard"), dir.path("soft"), dir.path("./in.huf")}) {
        SCOPED_TRACE(alias);
        const RunResult result = runProgram(kUncompress, {kUncompress, in, alias});
        EXPECT_EQ(result.exitStatus, 255);
        EXPECT_EQ(result.err, "infile and outfile must be different files\n" + usage(kUncompress));
        EXPECT_EQ(readFile(in), kExample1);
    }
}

// Every prefix of a valid file either decodes in full or fails cleanly, having
// written exactly the symbols whose codes were complete.
TEST(UncompressCli, EveryTruncationOfASmallFile) {
    const std::string data = randomBytes(7, 40, 5);
    const std::string file = compressReference(data);
    TempDir dir;
    const std::string in = dir.path("in.huf"), out = dir.path("out.bin");
    for (std::size_t length = 0; length <= file.size(); ++length) {
        if (!inSweep(length, 0) && length != static_cast<std::size_t>(kHeaderBytes) &&
            length != file.size()) {
            continue;
        }
        SCOPED_TRACE(length);
        writeFile(in, file.substr(0, length));
        const RunResult result = runProgram(kUncompress, {kUncompress, in, out});
        const std::string produced = readFile(out);
        if (length < static_cast<std::size_t>(kHeaderBytes)) {
            EXPECT_EQ(result.exitStatus, 255);
            EXPECT_EQ(produced, "");
        } else if (length == file.size()) {
            EXPECT_EQ(result.exitStatus, 0);
            EXPECT_EQ(produced, data);
        } else {
            EXPECT_EQ(result.exitStatus, 255);
            EXPECT_LT(produced.size(), data.size());
            EXPECT_EQ(produced, data.substr(0, produced.size()));
            EXPECT_NE(result.err.find("  Problem: EOF while decoding.\n"), std::string::npos);
        }
    }
}

}  // namespace
