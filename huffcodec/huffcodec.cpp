// SPDX-License-Identifier: MIT
//
// The huffcodec command: compresses files to FILE.huf and restores them, in
// the format compress and uncompress write and read (docs/format.md), with
// the options of the everyday compressors: standard input and output,
// several files, -r, -t, -l and the rest (man/huffcodec.1).
#include "CodecCommand.hpp"

int main(int argc, char* argv[]) {
    return CodecCommand::run(argc, argv);
}
