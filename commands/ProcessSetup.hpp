// SPDX-License-Identifier: MIT
//
// What the commands do first, before they open anything.
#ifndef HUFFCODEC_COMMANDS_PROCESSSETUP_HPP
#define HUFFCODEC_COMMANDS_PROCESSSETUP_HPP

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that no
// file the command opens later takes one of those numbers (a report line
// written to standard error would otherwise land in the output file), and
// ignores SIGPIPE and SIGXFSZ, so that writing to a pipe whose reader has gone
// or past the file size limit fails with EPIPE or EFBIG, which the command
// reports, instead of killing it.
//
// The commands report std::bad_alloc in a line of their own; when memory is
// so short that the C++ runtime cannot even allocate that exception, it calls
// std::terminate without an active exception, which nothing else in these
// commands does. The terminate handler installed here turns that case into
// the command's line for it (outOfMemory.line, with its newline; compress
// and uncompress: "  Problem: out of memory.") and exit status
// (outOfMemory.status) instead of an abort, after running cleanUp (if given;
// it must be async-signal-safe). With an active exception it aborts as
// before.
//
// False if a closed descriptor could not be replaced.
struct LastResort {
    const char* line = "  Problem: out of memory.\n";
    int status = 255;
};
bool prepareProcess(void (*cleanUp)() = nullptr, LastResort outOfMemory = {});

// Whether descriptor fd (0, 1 or 2) was closed when prepareProcess ran, and
// so holds /dev/null now: a command whose standard input or output carries
// its data reports that as the failure it is, where compress and uncompress,
// which use neither, go on.
bool wasClosedAtStart(int fd);

#endif  // HUFFCODEC_COMMANDS_PROCESSSETUP_HPP
