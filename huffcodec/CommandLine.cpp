// SPDX-License-Identifier: MIT
//
// Reading huffcodec's command line.
#include "CommandLine.hpp"

#include <cstdio>
#include <cstring>

#include "ThreadCount.hpp"
#include "huffcodec/version.hpp"

namespace {

// An option: its letter (long options without one get a letter that is no
// short option), its long name, and whether it takes a value.
struct Option {
    char letter;
    const char* name;
    bool takesValue;
    bool isShort;
};

constexpr char kRemove = 1;  // --rm

constexpr Option kOptions[] = {
    {'z', "compress", false, true},  {'d', "decompress", false, true},
    {'t', "test", false, true},      {'l', "list", false, true},
    {'c', "stdout", false, true},    {'k', "keep", false, true},
    {kRemove, "rm", false, false},   {'f', "force", false, true},
    {'r', "recursive", false, true}, {'q', "quiet", false, true},
    {'v', "verbose", false, true},   {'h', "help", false, true},
    {'V', "version", false, true},   {'T', "threads", true, true},
    {'o', "output", true, true},
};

const Option* findShort(char letter) {
    for (const Option& option : kOptions) {
        if (option.isShort && option.letter == letter) {
            return &option;
        }
    }
    return nullptr;
}

const Option* findLong(const std::string& name) {
    for (const Option& option : kOptions) {
        if (name == option.name) {
            return &option;
        }
    }
    return nullptr;
}

// Takes one option into line; false once line holds a usage error, which
// ends the reading. Help and version are noted and the reading goes on, so
// that a usage error anywhere on the line still counts.
bool apply(CommandLine& line, const Option& option, const std::string& value) {
    using Mode = CommandLine::Mode;
    switch (option.letter) {
        case 'z':
            line.mode = Mode::compress;
            break;
        case 'd':
            line.mode = Mode::decompress;
            break;
        case 't':
            line.mode = Mode::test;
            break;
        case 'l':
            line.mode = Mode::list;
            break;
        case 'c':
            line.toStdout = true;
            break;
        case 'k':
            line.removeInputs = false;
            break;
        case kRemove:
            line.removeInputs = true;
            break;
        case 'f':
            line.force = true;
            break;
        case 'r':
            line.recursive = true;
            break;
        case 'q':
            --line.verbosity;
            break;
        case 'v':
            ++line.verbosity;
            break;
        case 'h':
        case 'V':
            // The first of them counts.
            if (line.action == CommandLine::Action::run) {
                line.action =
                    option.letter == 'h' ? CommandLine::Action::help : CommandLine::Action::version;
            }
            break;
        case 'T':
            line.threads = parseThreadCount(value);
            if (line.threads < 0) {
                line.action = CommandLine::Action::usageError;
                line.error = "not a thread count: " + value;
                return false;
            }
            break;
        case 'o':
            if (value.empty()) {
                line.action = CommandLine::Action::usageError;
                line.error = "-o needs a file name";
                return false;
            }
            line.output = value;
            break;
        default:
            break;
    }
    return true;
}

bool usageError(CommandLine& line, const std::string& text) {
    line.action = CommandLine::Action::usageError;
    line.error = text;
    return false;
}

// One word that starts with "--" and is not "--".
bool readLong(CommandLine& line, const std::string& word, int& index, int argc, char* argv[]) {
    const std::size_t equals = word.find('=');
    const std::string name = word.substr(2, equals == std::string::npos ? equals : equals - 2);
    const Option* option = findLong(name);
    if (option == nullptr) {
        return usageError(line, "unknown option: --" + name);
    }
    std::string value;
    if (equals != std::string::npos) {
        if (!option->takesValue) {
            return usageError(line, "option takes no value: --" + name);
        }
        value = word.substr(equals + 1);
    } else if (option->takesValue) {
        if (index + 1 >= argc) {
            return usageError(line, "option needs a value: --" + name);
        }
        value = argv[++index];
    }
    return apply(line, *option, value);
}

// One word of short options, after its "-".
bool readShort(CommandLine& line, const char* letters, int& index, int argc, char* argv[]) {
    for (const char* at = letters; *at != '\0'; ++at) {
        const Option* option = findShort(*at);
        if (option == nullptr) {
            return usageError(line, std::string("unknown option: -") + *at);
        }
        if (!option->takesValue) {
            if (!apply(line, *option, "")) {
                return false;
            }
            continue;
        }
        // The rest of the word, or the next one.
        if (at[1] != '\0') {
            return apply(line, *option, at + 1);
        }
        if (index + 1 >= argc) {
            return usageError(line, std::string("option needs a value: -") + *at);
        }
        return apply(line, *option, argv[++index]);
    }
    return true;
}

}  // namespace

CommandLine CommandLine::parse(int argc, char* argv[]) {
    CommandLine line;
    bool optionsEnded = false;
    for (int index = 1; index < argc; ++index) {
        const char* word = argv[index];
        if (optionsEnded || word[0] != '-' || word[1] == '\0') {
            line.files.emplace_back(word);
        } else if (std::strcmp(word, "--") == 0) {
            optionsEnded = true;
        } else if (word[1] == '-' ? !readLong(line, word, index, argc, argv)
                                  : !readShort(line, word + 1, index, argc, argv)) {
            return line;
        }
    }
    if (line.output &&
        (line.toStdout || line.recursive || line.mode == Mode::test || line.mode == Mode::list)) {
        usageError(line, "-o does not go with -c, -r, -t or -l");
    } else if (line.output && line.files.size() > 1) {
        usageError(line, "-o names the output of a single input");
    }
    return line;
}

void printHelp() {
    std::fputs(
        "Usage: huffcodec [OPTION]... [FILE]...\n"
        "Compress each FILE to FILE.huf with a static Huffman code, or with -d\n"
        "restore FILE.huf to FILE. Without FILE, or with -, standard input goes\n"
        "to standard output. Inputs are kept unless --rm is given.\n"
        "\n"
        "  -z, --compress      compress (the default)\n"
        "  -d, --decompress    decompress\n"
        "  -t, --test          decode each FILE and report whether it is whole\n"
        "  -l, --list          list sizes, ratio and code lengths of each FILE\n"
        "  -c, --stdout        write to standard output; inputs are kept\n"
        "  -o, --output=FILE   name the output of the single input\n"
        "  -k, --keep          keep the inputs (the default)\n"
        "      --rm            remove each input once its output is complete\n"
        "  -f, --force         overwrite outputs; read or write compressed data\n"
        "                      on a terminal\n"
        "  -r, --recursive     take the files in directories and below\n"
        "  -T, --threads=N     threads per file; 0: every processor\n"
        "                      (default: HUFFCODEC_THREADS, else every processor)\n"
        "  -q, --quiet         no progress, no OK lines\n"
        "  -v, --verbose       a line per file; with -l the 256 counts\n"
        "  -h, --help          show this help and exit\n"
        "  -V, --version       show the version and exit\n"
        "\n"
        "Exit status: 0 if every file succeeded, 1 if any failed, 2 on a usage\n"
        "error. See huffcodec(1).\n",
        stdout);
}

void printVersion() {
    std::fputs("huffcodec " HUFFCODEC_VERSION_STRING "\n", stdout);
}
