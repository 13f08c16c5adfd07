// SPDX-License-Identifier: MIT
//
// The huffcodec command run as a user runs it, a row for each convention: in
// a fresh directory, a shell line around the command, then its exit status,
// standard error and output, and every file the directory holds afterwards
// (so that no temporary or partial file goes unseen).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "TestSupport.hpp"
#include "huffcodec/huffcodec.hpp"

namespace {

using namespace testing_support;
using Files = std::map<std::string, std::string>;

const std::string kHuffcodec = HUFFCODEC_PATH;

struct Row {
    std::string name;
    Files files;        // made first, directories as their paths need them
    std::string shell;  // "$H" is huffcodec, "$C" compress, "$U" uncompress, PTY a terminal
    int status;
    std::string err;
    Files after;                 // every file afterwards; "(special)" for a pipe
    std::string out = "";        // the shell's standard output
    std::string terminal = "";   // a part of what the terminal received
    bool terminalExact = false;  // terminal is all it received
};

// A pseudo-terminal whose other end the test keeps open, so that what was
// written to it stays readable.
struct Terminal {
    Terminal() : master(posix_openpt(O_RDWR | O_NOCTTY)) {
        if (master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0) {
            name = ptsname(master);
            slave = open(name.c_str(), O_RDWR | O_NOCTTY);
            fcntl(master, F_SETFL, O_NONBLOCK);
        }
    }
    ~Terminal() {
        close(slave);
        close(master);
    }
    std::string received() const {
        std::string text;
        char block[4096];
        for (ssize_t got; (got = read(master, block, sizeof block)) > 0;) {
            text.append(block, static_cast<std::size_t>(got));
        }
        return text;
    }
    int master;
    int slave = -1;
    std::string name;
};

Files filesIn(const std::string& dir) {
    Files found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir)) {
        const std::string name = entry.path().string().substr(dir.size() + 1);
        if (entry.is_regular_file()) {
            found[name] = readFile(entry.path().string());
        } else if (!entry.is_directory()) {
            found[name] = "(special)";
        }
    }
    return found;
}

void expectRow(const Row& row) {
    SCOPED_TRACE(row.name);
    TempDir scratch;
    const std::string dir = scratch.path("run");
    for (const auto& [name, bytes] : row.files) {
        std::filesystem::create_directories(std::filesystem::path(dir + "/" + name).parent_path());
        writeFile(dir + "/" + name, bytes);
    }
    std::filesystem::create_directories(dir);
    const Terminal terminal;
    ASSERT_GE(terminal.slave, 0);
    std::string shell = row.shell;
    for (std::size_t at = shell.find("PTY"); at != std::string::npos; at = shell.find("PTY")) {
        shell.replace(at, 3, terminal.name);
    }
    const RunResult result = runProgram(kHuffcodec, {kHuffcodec},
                                        {"H=\"$1\" C=" COMPRESS_PATH " U=" UNCOMPRESS_PATH "; cd " +
                                         dir + " || exit 99; " + shell});
    EXPECT_EQ(result.exitStatus, row.status) << "signal " << result.signal;
    EXPECT_EQ(result.err, row.err);
    EXPECT_EQ(result.out, row.out);
    expectDocumentedLines(kHuffcodec, result);
    const Files found = filesIn(dir);
    EXPECT_EQ(found.size(), row.after.size());
    for (const auto& [name, bytes] : row.after) {
        const auto file = found.find(name);
        EXPECT_TRUE(file != found.end() && file->second == bytes)
            << name << " differs or is missing";
    }
    for (const auto& [name, bytes] : found) {
        EXPECT_EQ(row.after.count(name), 1u) << "left over: " << name;
    }
    const std::string received = terminal.received();
    if (row.terminalExact) {
        EXPECT_EQ(received, row.terminal);
    } else {
        EXPECT_NE(received.find(row.terminal), std::string::npos);
    }
}

// The -l row of a file of members, each compressed from its data, from the
// oracle's counts and codes; packed: the file's size if not their sum.
std::string listRow(const std::string& name, const std::vector<std::string>& members,
                    std::size_t packed = 0) {
    std::size_t original = 0, longest = 0, bits = 0, distinct = 0, sum = 0;
    SymbolCounts all(256, 0);
    for (const std::string& data : members) {
        const SymbolCounts counts = countBytes(data);
        HCTree tree;
        tree.buildFromCounts(counts);
        const std::vector<std::string> codes = codesOf(tree);
        for (std::size_t v = 0; v < codes.size(); ++v) {
            longest = std::max(longest, codes[v].size());
            bits += static_cast<std::size_t>(counts[v]) * codes[v].size();
            all[v] += counts[v];
        }
        original += data.size();
        sum += compressReference(data).size();
    }
    for (const std::int32_t count : all) {
        distinct += count != 0 ? 1 : 0;
    }
    packed = packed != 0 ? packed : sum;
    const double size = static_cast<double>(original);
    char row[200];
    std::snprintf(row, sizeof row, "%12zu %12zu %7.3f %8zu %7zu %9.3f  %s\n", original, packed,
                  size / static_cast<double>(packed), distinct, longest,
                  original == 0 ? 0.0 : static_cast<double>(bits) / size, name.c_str());
    return row;
}

std::string ratio(std::size_t original, std::size_t compressed) {
    std::ostringstream text;
    text << static_cast<double>(original) / static_cast<double>(compressed);
    return text.str();
}

const std::string kHeading = "    original   compressed   ratio distinct longest bits/byte  name\n";

std::vector<Row> rows() {
    const std::string a = "aabcabcaa", b = randomBytes(21, 5000, 40), c = "CABC";
    const std::string pa = compressReference(a), pb = compressReference(b);
    const std::string pc = compressReference(c), cut = pb.substr(0, 2000);
    // Counts of 16 symbols whose codes would take three bytes, and a body of
    // two that decode to 16 symbols all the same: the decoders take it.
    std::string oddBody(huffcodec::kHeaderBytes, '\0');
    oddBody[65 * 4] = 1;
    oddBody[66 * 4] = 1;
    oddBody[67 * 4] = 14;
    oddBody += "\xff\xff";
    const std::string usage = "Try 'huffcodec --help' for more information.\n";
    const std::string byOption =
        "huffcodec: (stdout): refusing to write compressed data to a "
        "terminal (-f forces it)\n";
    std::vector<Row> list = {
        // Files in, files out.
        {"compresses to FILE.huf, input kept",
         {{"a", a}},
         "\"$H\" a",
         0,
         "",
         {{"a", a}, {"a.huf", pa}}},
        {"many files",
         {{"a", a}, {"b", b}},
         "\"$H\" a b",
         0,
         "",
         {{"a", a}, {"a.huf", pa}, {"b", b}, {"b.huf", pb}}},
        {"-d restores FILE", {{"a.huf", pa}}, "\"$H\" -d a.huf", 0, "", {{"a", a}, {"a.huf", pa}}},
        {"--rm removes the input", {{"a", a}}, "\"$H\" --rm a", 0, "", {{"a.huf", pa}}},
        {"-k after --rm keeps it",
         {{"a", a}},
         "\"$H\" --rm -k a",
         0,
         "",
         {{"a", a}, {"a.huf", pa}}},
        {"--rm keeps a pipe named as the input",
         {},
         "mkfifo f; printf CABC > f & \"$H\" --rm f",
         0,
         "",
         {{"f", "(special)"}, {"f.huf", pc}}},
        {"-d --rm", {{"a.huf", pa}}, "\"$H\" -d --rm a.huf", 0, "", {{"a", a}}},
        {"an existing output is skipped",
         {{"a", a}, {"a.huf", "old"}, {"b", b}},
         "\"$H\" a b",
         1,
         "huffcodec: a.huf: already exists (-f overwrites it)\n",
         {{"a", a}, {"a.huf", "old"}, {"b", b}, {"b.huf", pb}}},
        {"-f overwrites it",
         {{"a", a}, {"a.huf", "old"}},
         "\"$H\" -f a",
         0,
         "",
         {{"a", a}, {"a.huf", pa}}},
        {"-o names the output",
         {{"a.huf", pa}},
         "\"$H\" -do out a.huf",
         0,
         "",
         {{"a.huf", pa}, {"out", a}}},
        {"-o writes a device in place",
         {{"a", a}},
         "\"$H\" -o /dev/null --rm a",
         0,
         "",
         {{"a", a}}},
        {"-v",
         {{"a", a}},
         "\"$H\" -v a",
         0,
         "huffcodec: a: 9 bytes -> a.huf: " + std::to_string(pa.size()) + " bytes, ratio " +
             ratio(a.size(), pa.size()) + "\n",
         {{"a", a}, {"a.huf", pa}}},
        // Pipes.
        {"stdin to stdout and back",
         {{"b", b}},
         "\"$H\" < b > p && \"$H\" -d < p > r",
         0,
         "",
         {{"b", b}, {"p", pb}, {"r", b}}},
        {"stdin read part way: the rest only",
         {{"b", b}},
         "{ dd bs=7 count=1 of=/dev/null 2>/dev/null; \"$H\" > p; } < b",
         0,
         "",
         {{"b", b}, {"p", compressReference(b.substr(7))}}},
        {"a pipe in, through the temporary copy",
         {{"b", b}},
         "cat b | \"$H\" | \"$H\" -d - | cmp - b && cat b | \"$H\" -o p",
         0,
         "",
         {{"b", b}, {"p", pb}}},
        {"-c concatenates",
         {{"a", a}, {"b", b}},
         "\"$H\" -c a b > p",
         0,
         "",
         {{"a", a}, {"b", b}, {"p", pa + pb}}},
        {"-c keeps the inputs", {{"a", a}}, "\"$H\" -c --rm a", 0, "", {{"a", a}}, pa},
        // Members: compressed files one after the other are taken in turn.
        {"members: -t, -l and -d --rm take them all",
         {{"ab.huf", pa + pb}},
         "\"$H\" -t ab.huf && \"$H\" -l ab.huf && \"$H\" -d --rm ab.huf",
         0,
         "huffcodec: ab.huf: OK\n",
         {{"ab", a + b}},
         kHeading + listRow("ab.huf", {a, b})},
        {"members from a pipe",
         {{"a.huf", pa}, {"b.huf", pb}},
         "cat b.huf a.huf b.huf | \"$H\" -d > r",
         0,
         "",
         {{"a.huf", pa}, {"b.huf", pb}, {"r", b + a + b}}},
        {"bytes after the last member fail the file, which stays",
         {{"x.huf", pa + "xyz"}, {"y.huf", pa + pc.substr(0, pc.size() - 1)}},
         "\"$H\" -d --rm x.huf y.huf; \"$H\" -t x.huf; \"$H\" -l y.huf",
         1,
         "huffcodec: x.huf: member at byte " + std::to_string(pa.size()) +
             ": header too short\n"
             "huffcodec: y.huf: member at byte " +
             std::to_string(pa.size()) +
             ": truncated body\n"
             "huffcodec: x.huf: member at byte " +
             std::to_string(pa.size()) +
             ": header too short\n"
             "huffcodec: y.huf: member at byte " +
             std::to_string(pa.size()) + ": truncated body\n",
         {{"x.huf", pa + "xyz"}, {"y.huf", pa + pc.substr(0, pc.size() - 1)}}},
        // -t and -l.
        {"-t",
         {{"a.huf", pa}, {"cut.huf", cut}},
         "\"$H\" -t a.huf cut.huf",
         1,
         "huffcodec: a.huf: OK\nhuffcodec: cut.huf: truncated body\n",
         {{"a.huf", pa}, {"cut.huf", cut}}},
        {"-t -q, from a pipe", {{"a.huf", pa}}, "cat a.huf | \"$H\" -tq", 0, "", {{"a.huf", pa}}},
        {"-l",
         {{"a.huf", pa}, {"b.huf", pb}},
         "\"$H\" -l a.huf b.huf",
         0,
         "",
         {{"a.huf", pa}, {"b.huf", pb}},
         kHeading + listRow("a.huf", {a}) + listRow("b.huf", {b})},
        {"-lv adds the counts",
         {{"c.huf", pc}},
         "\"$H\" -lv < c.huf | sed -n '2p;11p'",
         0,
         "",
         {{"c.huf", pc}},
         listRow("(stdin)", {c}) + "  40-47: 0 1 1 2 0 0 0 0\n"},
        {"-l says what the decoders say",
         {{"l.huf", oddBody}, {"cut1.huf", pb.substr(0, pb.size() - 1)}},
         "\"$H\" -t l.huf && \"$H\" -l l.huf && \"$H\" -l cut1.huf",
         1,
         "huffcodec: l.huf: OK\nhuffcodec: cut1.huf: truncated body\n",
         {{"l.huf", oddBody}, {"cut1.huf", pb.substr(0, pb.size() - 1)}},
         kHeading + listRow("l.huf", {"ABCCCCCCCCCCCCCC"}, oddBody.size())},
        {"-l of a cut file",
         {{"cut.huf", cut}},
         "\"$H\" -l cut.huf",
         1,
         "huffcodec: cut.huf: truncated body\n",
         {{"cut.huf", cut}}},
        // -r.
        {"-r",
         {{"d/a", a}, {"d/e/b", b}, {"d/c.huf", pc}},
         "ln -s a d/link; \"$H\" -r d",
         0,
         "",
         {{"d/a", a},
          {"d/a.huf", pa},
          {"d/e/b", b},
          {"d/e/b.huf", pb},
          {"d/c.huf", pc},
          {"d/link", a}}},
        {"-dr --rm",
         {{"d/a.huf", pa}, {"d/e/b.huf", pb}, {"d/c", c}},
         "\"$H\" -dr --rm d/",
         0,
         "",
         {{"d/a", a}, {"d/e/b", b}, {"d/c", c}}},
        {"a directory without -r",
         {{"d/a", a}},
         "\"$H\" d",
         1,
         "huffcodec: d: Is a directory\n",
         {{"d/a", a}}},
        // Suffixes and the same file.
        {"-d refuses a name without .huf",
         {{"a", pa}},
         "\"$H\" -d a",
         1,
         "huffcodec: a: no .huf suffix (-o names the output)\n",
         {{"a", pa}}},
        {"compressing a .huf again",
         {{"a.huf", pa}},
         "\"$H\" a.huf",
         1,
         "huffcodec: a.huf: already has the .huf suffix (-f compresses it again)\n",
         {{"a.huf", pa}}},
        {"names at the suffix's edge: .huf alone is no suffix",
         {{"d/.huf", a}, {".huf", c}},
         "\"$H\" -r d && \"$H\" .huf",
         0,
         "",
         {{"d/.huf", a}, {"d/.huf.huf", pa}, {".huf", c}, {".huf.huf", pc}}},
        {"a link to a device where the output goes is not written through",
         {{"a", a}},
         "ln -s /dev/full a.huf; \"$H\" a",
         1,
         "huffcodec: a.huf: already exists (-f overwrites it)\n",
         {{"a", a}, {"a.huf", "(special)"}}},
        {"the same file under another name",
         {{"a.huf", pa}},
         "ln a.huf b; \"$H\" -dfo b a.huf",
         1,
         "huffcodec: a.huf: input and output are the same file\n",
         {{"a.huf", pa}, {"b", pa}}},
        {"standard output is the input",
         {{"a", a}},
         "\"$H\" -c a >> a",
         1,
         "huffcodec: a: input and output are the same file\n",
         {{"a", a}}},
        // Terminals.
        {"compressed data not written to a terminal",
         {{"a", a}},
         "\"$H\" -c a > PTY",
         1,
         byOption,
         {{"a", a}}},
        {"stdin to a terminal", {}, "\"$H\" < /dev/null > PTY", 1, byOption, {}},
        {"nor read from one",
         {},
         "\"$H\" -d < PTY",
         1,
         "huffcodec: (stdin): refusing to read compressed data from a terminal (-f forces it)\n",
         {}},
        {"unless -f",
         {{"a", a}},
         "\"$H\" -cf a > PTY",
         0,
         "",
         {{"a", a}},
         "",
         std::string("\x05\0\0\0\x02", 5)},
        {"restored data may go to one",
         {{"c.huf", pc}},
         "\"$H\" -dc c.huf > PTY",
         0,
         "",
         {{"c.huf", pc}},
         "",
         c},
        {"no progress line for a quick file",
         {{"a", a}},
         "\"$H\" a 2> PTY",
         0,
         "",
         {{"a", a}, {"a.huf", pa}},
         "",
         "",
         true},
        {"progress after a second on a terminal",
         {},
         "{ printf CA; sleep 1.3; printf BC; } | \"$H\" 2> PTY > p",
         0,
         "",
         {{"p", pc}},
         "",
         "\rhuffcodec: (stdin): counting 0.0 MiB, 0.0 MiB/s\x1b[K"},
        // Failures leave nothing behind.
        {"a cut file leaves no output",
         {{"cut.huf", cut}},
         "\"$H\" -d cut.huf",
         1,
         "huffcodec: cut.huf: truncated body\n",
         {{"cut.huf", cut}}},
        {"a failed write leaves no output",
         {{"b", b}},
         "(ulimit -f 1; exec \"$H\" -o p b)",
         1,
         "huffcodec: p: File too large\n",
         {{"b", b}}},
        // Errors and exit statuses.
        {"a missing file, the others still done",
         {{"a", a}},
         "\"$H\" nosuch a",
         1,
         "huffcodec: nosuch: No such file or directory\n",
         {{"a", a}, {"a.huf", pa}}},
        {"an output in a missing directory",
         {{"a", a}},
         "\"$H\" -o no/such a",
         1,
         "huffcodec: no/such: No such file or directory\n",
         {{"a", a}}},
        {"standard output on a full device",
         {{"b", b}},
         "\"$H\" -c b > /dev/full",
         1,
         "huffcodec: (stdout): No space left on device\n",
         {{"b", b}}},
        {"a header too short",
         {{"x.huf", "abc"}},
         "\"$H\" -d x.huf",
         1,
         "huffcodec: x.huf: header too short\n",
         {{"x.huf", "abc"}}},
        {"an unknown option", {}, "\"$H\" -kx a", 2, "huffcodec: unknown option: -x\n" + usage, {}},
        {"a bad thread count",
         {},
         "\"$H\" --threads=x",
         2,
         "huffcodec: not a thread count: x\n" + usage,
         {}},
        {"-o with two inputs",
         {},
         "\"$H\" -o x a b",
         2,
         "huffcodec: -o names the output of a single input\n" + usage,
         {}},
        {"a value where none goes",
         {},
         "\"$H\" --keep=1",
         2,
         "huffcodec: option takes no value: --keep\n" + usage,
         {}},
        {"HUFFCODEC_THREADS warns, -T does not",
         {{"a", a}},
         "HUFFCODEC_THREADS=x \"$H\" -qc a >/dev/null; HUFFCODEC_THREADS=x \"$H\" -T2 a",
         0,
         "warning: HUFFCODEC_THREADS=\"x\" is not a thread count; using " +
             std::to_string(huffcodec::availableProcessors()) + "\n",
         {{"a", a}, {"a.huf", pa}}},
        {"--version", {}, "\"$H\" -V", 0, "", {}, "huffcodec " HUFFCODEC_VERSION_STRING "\n"},
        {"--help",
         {},
         "\"$H\" --help | head -1",
         0,
         "",
         {},
         "Usage: huffcodec [OPTION]... [FILE]...\n"},
        {"the whole line is read before --version",
         {},
         "\"$H\" --version --bogus",
         2,
         "huffcodec: unknown option: --bogus\n" + usage,
         {}},
        {"-o with an empty name",
         {{"a", a}},
         "\"$H\" -o '' a",
         2,
         "huffcodec: -o needs a file name\n" + usage,
         {{"a", a}}},
        {"-r with -o",
         {{"d/a", a}},
         "\"$H\" -r -o x d",
         2,
         "huffcodec: -o does not go with -c, -r, -t or -l\n" + usage,
         {{"d/a", a}}},
        {"-l, -V and --help to a full device",
         {{"a.huf", pa}},
         "\"$H\" -l a.huf > /dev/full; echo $?; \"$H\" -V > /dev/full; echo $?; \"$H\" --help > "
         "/dev/full",
         1,
         "huffcodec: (stdout): No space left on device\n"
         "huffcodec: (stdout): No space left on device\n"
         "huffcodec: (stdout): No space left on device\n",
         {{"a.huf", pa}},
         "1\n1\n"},
        // A closed standard output or input is a failure, not /dev/null.
        {"-dc with standard output closed",
         {{"a.huf", pa}},
         "\"$H\" -dc a.huf >&-",
         1,
         "huffcodec: (stdout): Bad file descriptor\n",
         {{"a.huf", pa}}},
        {"-c with standard output closed",
         {{"a", a}},
         "\"$H\" -c a >&-",
         1,
         "huffcodec: (stdout): Bad file descriptor\n",
         {{"a", a}}},
        {"standard input and output closed",
         {},
         "\"$H\" <&- >&-",
         1,
         "huffcodec: (stdin): Bad file descriptor\n",
         {}},
        {"-l with standard output closed",
         {{"a.huf", pa}},
         "\"$H\" -l a.huf >&-",
         1,
         "huffcodec: (stdout): Bad file descriptor\n",
         {{"a.huf", pa}}},
    };
    // Interrupted while it waits for input, once its temporary file exists:
    // no file is left but the input (bash's own reports go to /dev/null).
    for (const auto& [option, signal] : {std::pair{"-z", 2}, {"-d", 15}}) {
        const std::string input = option == std::string("-z") ? "f" : "f.huf";
        list.push_back({std::string("interrupted, ") + option,
                        {},
                        "set -m; exec 4>&2 2>/dev/null; mkfifo " + input + "; \"$H\" " + option +
                            " " + input + " 2>&4 & exec 3>" + input +
                            "; until ls -A | grep -q huffcodec; do sleep 0.01; done; kill -" +
                            std::to_string(signal) + " $!; wait $!",
                        128 + signal,
                        "",
                        {{input, "(special)"}}});
    }
    // The same permissions and modification time.
    list.push_back(
        {"permissions and times kept",
         {{"a", a}},
         "chmod 640 a; touch -a -d @1000000000 a; touch -m -d @1100000000 a; "
         "\"$H\" a && stat -c '%a %X %Y' a.huf && \"$H\" -dfo r a.huf && stat -c '%a %X %Y' r",
         0,
         "",
         {{"a", a}, {"a.huf", pa}, {"r", a}},
         "640 1000000000 1100000000\n640 1000000000 1100000000\n"});
    return list;
}

// Made once per program: the rows name the tests too.
const std::vector<Row>& conventions() {
    static const std::vector<Row> table = rows();
    return table;
}

std::string nameOf(const Row& row) {
    return row.name;
}

// The parameter of each table below is its row's index.
class TableOfConventions : public testing::TestWithParam<std::size_t> {};

TEST_P(TableOfConventions, Row) {
    expectRow(conventions()[GetParam()]);
}

INSTANTIATE_TEST_SUITE_P(HuffcodecCli, TableOfConventions,
                         testing::Range<std::size_t>(0, conventions().size()),
                         RowNames(conventions(), nameOf));

// Run as root over the files of another user (uid 4242, through setpriv, in
// directories that user owns), the command sets owner, mode and times on the
// open file and follows no link that user can put in its way: the rows show
// the attacks that once gave that user root failing.
std::vector<Row> rootRows() {
    const std::string c = "CABC", pc = compressReference(c);
    // Listed by every run of the program, as root or not.
    const std::string id = fileExists("/usr/bin/id") ? readFile("/usr/bin/id") : "";
    // The scratch directory is root's own; the user may pass through it.
    const std::string user =
        "chmod 711 ..; AS='setpriv --reuid=4242 --regid=4242 --clear-groups'; mkdir -m 755 u; "
        "chown 4242:4242 u; ";
    return {
        {"a link put in place of the staged file while it is written",
         {{"target", "secret"}},
         user +
             "chmod 600 target; $AS mkfifo u/f; $AS chmod 6777 u/f; \"$H\" u/f & exec 3>u/f; "
             "until ls -A u | grep -q huffcodec; do sleep 0.01; done; t=$(ls -A u | grep "
             "huffcodec); "
             "$AS mv u/$t u/moved && $AS ln -s ../target u/$t && printf CABC >&3 && exec 3>&- && "
             "wait $! && stat -c '%a %u' target u/moved",
         0,
         "",
         {{"target", "secret"}, {"u/f", "(special)"}, {"u/moved", pc}, {"u/f.huf", "secret"}},
         "600 0\n6777 4242\n"},
        {"a user's set-user-ID program restored by root stays the user's",
         {},
         user + "cp /usr/bin/id u/id && chown 4242:4242 u/id && chmod 6755 u/id && "
                "$AS \"$H\" --rm u/id && \"$H\" -d --rm u/id.huf && stat -c '%a %u %g' u/id && "
                "$AS u/id -u",
         0,
         "",
         {{"u/id", id}},
         "6755 4242 4242\n4242\n"},
        {"root's output of a user's file is the user's to read",
         {},
         user + "printf CABC > u/a && chown 4242:4242 u/a && chmod 600 u/a && \"$H\" u/a && "
                "stat -c '%a %u %g' u/a.huf && $AS cat u/a.huf | cmp - u/a.huf && echo readable",
         0,
         "",
         {{"u/a", c}, {"u/a.huf", pc}},
         "600 4242 4242\nreadable\n"},
        {"set-ID bits are dropped where the owner cannot be copied",
         {{"r", c}},
         user + "chmod 6755 r && $AS \"$H\" -o u/r.huf r && stat -c '%a %u' u/r.huf",
         0,
         "",
         {{"r", c}, {"u/r.huf", pc}},
         "755 4242\n"},
        {"a hard-linked input: --rm removes the name given",
         {},
         user + "printf CABC > u/a && chown 4242:4242 u/a && $AS ln u/a u/b && \"$H\" --rm u/b && "
                "stat -c '%u %h' u/b.huf u/a",
         0,
         "",
         {{"u/a", c}, {"u/b.huf", pc}},
         "4242 1\n4242 1\n"},
        {"a sticky shared directory",
         {},
         user + "mkdir -m 1777 s && $AS sh -c 'printf CABC > s/a' && \"$H\" --rm s/a && "
                "stat -c '%u %a' s/a.huf",
         0,
         "",
         {{"s/a.huf", pc}},
         "4242 644\n"},
        {"a link where a forced output goes is replaced, not followed",
         {{"r", c}, {"target", "secret"}},
         user + "chmod 600 target && $AS ln -s ../target u/out && \"$H\" -f -o u/out r && "
                "stat -c '%a %u %F' target u/out",
         0,
         "",
         {{"r", c}, {"target", "secret"}, {"u/out", pc}},
         "600 0 regular file\n644 0 regular file\n"},
        {"-r follows no link to a directory elsewhere",
         {{"outside/x", c}},
         user + "$AS sh -c 'printf CABC > u/a; ln -s ../outside u/link' && \"$H\" -r --rm u",
         0,
         "",
         {{"outside/x", c}, {"u/a.huf", pc}}},
    };
}

const std::vector<Row>& asRoot() {
    static const std::vector<Row> table = rootRows();
    return table;
}

class AsRootOverAnotherUsersFiles : public testing::TestWithParam<std::size_t> {};

TEST_P(AsRootOverAnotherUsersFiles, Row) {
    if (geteuid() != 0 || access("/usr/bin/setpriv", X_OK) != 0) {
        GTEST_SKIP() << "needs root and setpriv";
    }
    expectRow(asRoot()[GetParam()]);
}

INSTANTIATE_TEST_SUITE_P(HuffcodecCli, AsRootOverAnotherUsersFiles,
                         testing::Range<std::size_t>(0, asRoot().size()),
                         RowNames(asRoot(), nameOf));

// On an input large enough for threads, every thread count writes what
// compress writes, and restores what uncompress restores, a member after
// another through a pipe too.
class SameBytesAsCompressOnEveryThreadCount : public testing::TestWithParam<std::string> {
protected:
    // Made once for all the thread counts a run takes.
    static void SetUpTestSuite() {
        data = dataFor(countTableShapes()[1], (std::size_t{4} << 20) + 4099, 32);
        packed = compressReference(data);
    }
    static inline std::string data, packed;
};

TEST_P(SameBytesAsCompressOnEveryThreadCount, Row) {
    const std::string threads = GetParam();
    expectRow({"-T " + threads,
               {{"big", data}},
               "\"$C\" big c.huf 2>/dev/null && \"$H\" -T " + threads +
                   " big && cmp c.huf big.huf && \"$U\" c.huf u 2>/dev/null && "
                   "HUFFCODEC_THREADS=" +
                   threads + " \"$H\" -dc big.huf | cmp - u && cat big.huf big.huf | \"$H\" -dT " +
                   threads + " | cmp - <(cat big big)",
               0,
               "",
               {{"big", data}, {"big.huf", packed}, {"c.huf", packed}, {"u", data}}});
}

const std::vector<std::string> kThreadCounts = {"1", "2", "3", "0"};

INSTANTIATE_TEST_SUITE_P(HuffcodecCli, SameBytesAsCompressOnEveryThreadCount,
                         testing::ValuesIn(kThreadCounts),
                         RowNames(kThreadCounts,
                                  [](const std::string& threads) { return "T" + threads; }));

}  // namespace
