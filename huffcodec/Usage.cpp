// SPDX-License-Identifier: MIT
//
// The help and version texts.
#include "Usage.hpp"

#include <cstdio>

#include "huffcodec/version.hpp"

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
