// SPDX-License-Identifier: MIT
//
// Test helpers: count tables, data, temporary files, processes.
#include "TestSupport.hpp"

#include "decode/SpanDecoder.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace testing_support {

SymbolCounts makeCounts(const std::vector<std::pair<int, std::int32_t>>& entries) {
    SymbolCounts counts(kNumSymbols, 0);
    for (const auto& [symbol, count] : entries) {
        counts.at(symbol) = count;
    }
    return counts;
}

huffcodec::CodeTree codeOf(const HCTree& tree) {
    huffcodec::CountTable counts{};
    for (std::size_t s = 0; s < counts.size(); ++s) {
        const HCNode* leaf = tree.getLeaf(static_cast<std::uint8_t>(s));
        counts[s] = leaf != nullptr ? leaf->count : 0;
    }
    return huffcodec::CodeTree(counts);
}

std::vector<SymbolCounts> countTableShapes() {
    std::vector<SymbolCounts> tables;
    std::mt19937 random(20261207);
    for (int round = 0; round < 60; ++round) {
        SymbolCounts counts(kNumSymbols, 0);
        const int used = 2 + static_cast<int>(random() % 255);
        const std::int32_t limit = round % 3 == 0 ? 4 : round % 3 == 1 ? 1000 : 8000000;
        for (int i = 0; i < used; ++i) {
            counts[random() % kNumSymbols] = 1 + static_cast<std::int32_t>(random() % limit);
        }
        tables.push_back(counts);
    }
    // Fibonacci counts: the deepest trees whose total fits in 31 bits.
    SymbolCounts fibonacci(kNumSymbols, 0);
    std::int64_t a = 1, b = 1, total = 0;
    for (int s = 0; s < kNumSymbols && total + a <= 2147483647; ++s) {
        fibonacci[(s * 37) % kNumSymbols] = static_cast<std::int32_t>(a);
        total += a;
        const std::int64_t next = a + b;
        a = b;
        b = next;
    }
    tables.push_back(fibonacci);
    tables.push_back(SymbolCounts(kNumSymbols, 2147483647 / kNumSymbols));
    tables.push_back(makeCounts({{0, 1}, {255, 1}}));
    tables.push_back(makeCounts({{42, 1000}}));
    // 2^k equal counts: codes of constant length k.
    for (const int used : {2, 8, 32, 128}) {
        SymbolCounts equal(kNumSymbols, 0);
        for (int s = 0; s < used; ++s) {
            equal[(s * 5 + 1) % kNumSymbols] = 9;
        }
        tables.push_back(equal);
    }
    return tables;
}

void forEachKernel(const std::function<void(huffcodec::Kernel)>& run) {
    for (const huffcodec::Kernel kernel : huffcodec::kKernels) {
        if (huffcodec::kernelRuns(kernel)) {
            SCOPED_TRACE(std::string("kernel ") + huffcodec::kernelName(kernel));
            run(kernel);
        }
    }
}

std::string dataFor(const SymbolCounts& counts, std::size_t size, std::uint64_t seed) {
    // Weights are flattened a little (square roots) so that rare symbols of
    // deep trees still turn up in short data.
    std::vector<double> weights(counts.size());
    for (std::size_t s = 0; s < counts.size(); ++s) {
        weights[s] = counts[s] > 0 ? std::sqrt(static_cast<double>(counts[s])) : 0.0;
    }
    std::mt19937_64 random(seed);
    std::discrete_distribution<int> pick(weights.begin(), weights.end());
    std::string data(size, '\0');
    for (char& c : data) {
        c = static_cast<char>(pick(random));
    }
    return data;
}

std::string randomBytes(std::uint64_t seed, std::size_t size, int alphabet) {
    std::mt19937_64 random(seed);
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        byte = static_cast<char>(random() % static_cast<std::uint64_t>(alphabet));
    }
    return bytes;
}

huffcodec::ReadFn readerOf(const std::string& bytes, std::size_t& offset) {
    return [&bytes, &offset](std::uint8_t* buffer, std::size_t size) {
        const std::size_t n = std::min({size, bytes.size() - offset, std::size_t{777}});
        std::copy_n(bytes.data() + offset, n, buffer);
        offset += n;
        return static_cast<long>(n);
    };
}

huffcodec::WriteFn appendTo(std::string& out) {
    return [&out](const std::uint8_t* bytes, std::size_t size) {
        out.append(reinterpret_cast<const char*>(bytes), size);
        return true;
    };
}

std::vector<LargeShape> largeShapes() {
    std::mt19937 random(2024);
    const char* const words[] = {"the ",     "of ",     "and ",     "a ",        "to ",
                                 "in ",      "is ",     "code ",    "tree ",     "byte ",
                                 "count ",   "header ", "bits\n",   "chunk, ",   "thread. ",
                                 "Huffman ", "stream ", "decoder ", "(encoder) "};
    std::string text;
    while (text.size() < kThreadedSize + 1000) {
        // Earlier words come up more often.
        text += words[std::min(random() % std::size(words), random() % std::size(words))];
    }
    std::string skewed;
    for (std::size_t i = 0; i < kThreadedSize + 77; ++i) {
        skewed.push_back(random() % 100 < 93 ? 'a' : static_cast<char>(random()));
    }
    // Fibonacci counts: symbol s occurs F(s + 1) times, so the first have the
    // longest codes. The 20 rarest bytes go to both ends of chunks 1 to 10.
    std::string rare, deep;
    for (std::size_t s = 0, a = 1, b = 1; s < 32; ++s) {
        (s < 6 ? rare : deep).append(a, static_cast<char>(7 * s + 1));
        const std::size_t next = a + b;
        a = b;
        b = next;
    }
    std::shuffle(deep.begin(), deep.end(), random);
    for (std::size_t i = 0; i < rare.size(); ++i) {
        deep.insert((i / 2 + 1) * kChunk - 1 + i % 2, 1, rare[i]);
    }
    const std::vector<std::string> names = largeShapeNames();
    return {{names[0], text, true},
            {names[1], skewed, true},
            {names[2], deep, true},
            {names[3], randomBytes(21, kThreadedSize, 2), false},
            {names[4], randomBytes(22, kThreadedSize + 333), false},
            {names[5], std::string(kThreadedSize + 5, 'v'), false}};
}

std::vector<std::string> largeShapeNames() {
    return {"text",
            "skewed",
            "deep tree",
            "two values, exactly 4 MiB",
            "uniform bytes: codes of eight bits",
            "one value: codes of no bits"};
}

RowNames::RowNames(const std::vector<std::string>& descriptions) {
    std::map<std::string, int> seen;
    for (const std::string& description : descriptions) {
        std::string name;
        for (const char c : description) {
            if (std::isalnum(static_cast<unsigned char>(c)) != 0) {
                name += c;
            } else if (!name.empty() && name.back() != '_') {
                name += '_';
            }
        }
        if (!name.empty() && name.back() == '_') {
            name.pop_back();
        }
        if (name.empty()) {
            name = "row";
        }
        const bool again = ++seen[name] > 1;
        names.push_back(again ? name + "_row" + std::to_string(names.size()) : name);
    }
}

TempDir::TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "codec-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    dir = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!file) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::string readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    std::ostringstream contents;
    contents << file.rdbuf();
    return contents.str();
}

bool fileExists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

std::string usageText(const std::string& program) {
    return program + " called with incorrect arguments.\nUsage: " + program + " infile outfile\n";
}

std::string substitutePaths(std::string text, const std::string& in, const std::string& out) {
    for (const auto& [from, to] : {std::pair{std::string("IN"), in}, {std::string("OUT"), out}}) {
        for (std::size_t at = text.find(from); at != std::string::npos;
             at = text.find(from, at + to.size())) {
            text.replace(at, from.size(), to);
        }
    }
    return text;
}

RunResult runProgram(const std::string& program, const std::vector<std::string>& argv,
                     const RunOptions& options) {
    TempDir capture;
    const std::string outPath = capture.path("stdout");
    const std::string errPath = capture.path("stderr");
    std::vector<std::string> words = argv;
    std::string path = program;
    if (!options.script.empty()) {
        path = "/bin/bash";
        words = {"bash", "-c", options.script, "bash", program};
        words.insert(words.end(), argv.begin() + (argv.empty() ? 0 : 1), argv.end());
    }
    auto nameOf = [](const std::string& entry) { return entry.substr(0, entry.find('=') + 1); };
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string entry = *variable;
        if (std::none_of(options.env.begin(), options.env.end(), [&](const std::string& extra) {
                return nameOf(extra) == nameOf(entry);
            })) {
            environment.push_back(entry);
        }
    }
    environment.insert(environment.end(), options.env.begin(), options.env.end());
    auto pointers = [](std::vector<std::string>& strings) {
        std::vector<char*> list;
        for (std::string& text : strings) {
            list.push_back(text.data());
        }
        list.push_back(nullptr);
        return list;
    };
    std::vector<char*> args = pointers(words);
    std::vector<char*> envp = pointers(environment);
    const pid_t pid = fork();
    if (pid < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid == 0) {
        const int in = open("/dev/null", O_RDONLY);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
            dup2(err, 2) < 0) {
            _exit(127);
        }
        for (const int fd : {in, out, err}) {
            if (fd > 2) {
                close(fd);
            }
        }
        for (const int fd : options.closedFds) {
            close(fd);
        }
        alarm(options.timeoutSeconds);
        execve(path.c_str(), args.data(), envp.data());
        _exit(127);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) {
        throw std::runtime_error("waitpid failed");
    }
    RunResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    result.out = readFile(outPath);
    result.err = readFile(errPath);
    return result;
}

void expectCliCase(const std::string& program, const CliCase& c) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string in = dir.path("in.huf");
    const std::string out = dir.path("out.bin");
    if (!c.noInput) {
        writeFile(in, c.input);
    }
    if (c.inputSize >= 0) {
        ASSERT_EQ(truncate(in.c_str(), c.inputSize), 0);
    }
    std::vector<std::string> argv{program};
    for (const std::string& arg : c.args) {
        argv.push_back(substitutePaths(arg, in, out));
    }
    RunOptions options = c.run;
    options.script = substitutePaths(options.script, in, out);
    for (std::string& variable : options.env) {
        variable = substitutePaths(variable, in, out);
    }
    const RunResult result = runProgram(program, argv, options);
    EXPECT_EQ(result.exitStatus, c.exitStatus) << "signal " << result.signal;
    EXPECT_EQ(result.err, substitutePaths(c.err, in, out));
    EXPECT_EQ(result.out, "");
    expectDocumentedLines(program, result);
    if (c.output) {
        ASSERT_TRUE(fileExists(out));
        EXPECT_EQ(readFile(out), *c.output);
    } else {
        EXPECT_FALSE(fileExists(out));
    }
    if (c.inputSize >= 0) {
        struct stat info {};
        EXPECT_TRUE(stat(in.c_str(), &info) == 0 && info.st_size == c.inputSize);
    } else if (!c.noInput) {
        EXPECT_EQ(readFile(in), c.input) << "the input must never change";
    }
}

namespace {

// An entry of a manual page's DIAGNOSTICS: its tag as a pattern, and the exit
// statuses its paragraph names.
struct DocumentedLine {
    std::regex text;
    std::vector<int> statuses;
};

// A tag of .B, .BI or .IB: words in alternating fonts, the italic ones
// standing for any text.
std::regex tagPattern(const std::string& tag) {
    std::string pattern;
    std::istringstream words(tag.substr(tag.find(' ')));
    bool bold = tag[1] == 'B';
    for (std::string word; words >> std::quoted(word, '"', '\0'); bold = !bold || tag[2] == ' ') {
        // The escapes the pages' tags use, as the lines print them.
        for (const auto& [escape, text] :
             {std::pair{"\\(dq", "\""}, {"\\(aq", "'"}, {"\\-", "-"}}) {
            for (std::size_t at = word.find(escape); at != std::string::npos;
                 at = word.find(escape, at + 1)) {
                word.replace(at, std::strlen(escape), text);
            }
        }
        for (const char c : bold ? word : "") {
            pattern += std::string(std::strchr("\\^$.|?*+()[]{}", c) != nullptr ? "\\" : "") + c;
        }
        pattern += bold ? "" : ".*";
    }
    return std::regex(pattern);
}

std::vector<DocumentedLine> documentedLines(const std::string& page) {
    std::istringstream lines(readFile(page));
    std::vector<DocumentedLine> entries;
    const std::regex status("[Ee]xit status ([0-9]+)");
    bool inDiagnostics = false;
    for (std::string line; std::getline(lines, line);) {
        std::smatch found;
        if (line.rfind(".SH", 0) == 0) {
            inDiagnostics = line == ".SH DIAGNOSTICS";
        } else if (inDiagnostics && (line == ".TP" || line == ".TQ") && std::getline(lines, line)) {
            entries.push_back({tagPattern(line), {}});
        } else if (inDiagnostics && !entries.empty() && std::regex_search(line, found, status)) {
            entries.back().statuses.push_back(std::stoi(found[1]));
        }
    }
    return entries;
}

}  // namespace

void expectDocumentedLines(const std::string& program, const RunResult& result) {
    const std::string name = program.substr(program.rfind('/') + 1);
    static std::map<std::string, std::vector<DocumentedLine>> pages;
    if (pages.count(name) == 0) {
        pages[name] = documentedLines(MAN_DIR "/" + name + ".1");
    }
    const std::vector<DocumentedLine>& listed = pages[name];
    const DocumentedLine* last = nullptr;
    const std::string& err = result.err;
    for (std::size_t start = 0; start < err.size();) {
        const std::size_t end = std::min(err.find('\n', start), err.size());
        const std::string line = err.substr(start, end - start);
        start = end + 1;
        // A stage line that a problem or a signal cut short.
        const std::size_t cut = std::min(line.find("  Problem: "), line.size());
        std::vector<std::string> parts;
        if (cut > 0) {
            parts.push_back(line.substr(0, cut) +
                            (cut < line.size() || end == err.size() ? " done." : ""));
        }
        if (cut < line.size()) {
            parts.push_back(line.substr(cut));
        }
        for (const std::string& part : parts) {
            const auto found = std::find_if(listed.begin(), listed.end(), [&](const auto& entry) {
                return std::regex_match(part, entry.text);
            });
            last = found != listed.end() ? &*found : nullptr;
            EXPECT_NE(last, nullptr) << "man/" << name << ".1 does not list \"" << part << '"';
        }
    }
    // A run cut short by a signal ends without a whole line.
    if (last != nullptr && err.back() == '\n') {
        EXPECT_NE(std::count(last->statuses.begin(), last->statuses.end(), result.exitStatus), 0)
            << "man/" << name << ".1 does not give exit status " << result.exitStatus
            << " for the run that ends\n"
            << err;
    }
}

}  // namespace testing_support
