// SPDX-License-Identifier: MIT
//
// What huffcodec -h and -V print on standard output.
#ifndef HUFFCODEC_CLI_USAGE_HPP
#define HUFFCODEC_CLI_USAGE_HPP

void printHelp();
void printVersion();

#endif  // HUFFCODEC_CLI_USAGE_HPP
