// SPDX-License-Identifier: MIT
//
// What huffcodec -h and -V print on standard output.
#ifndef HUFFCODEC_COMMAND_USAGE_HPP
#define HUFFCODEC_COMMAND_USAGE_HPP

void printHelp();
void printVersion();

#endif  // HUFFCODEC_COMMAND_USAGE_HPP
