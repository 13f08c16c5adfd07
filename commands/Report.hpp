// SPDX-License-Identifier: MIT
//
// The report both commands write on standard error: one line per stage, ended
// by " done." or by the problem that stopped it, and the one table of texts
// that a problem is reported with.
#ifndef HUFFCODEC_COMMANDS_REPORT_HPP
#define HUFFCODEC_COMMANDS_REPORT_HPP

#include <string>

#include "huffcodec/huffcodec.hpp"

enum class Problem {
    eofWhileReadingHeader,
    sizeTooLarge,
    eofWhileDecoding,
    errorReadingInput,
    errorWritingOutput,
    inputTooLarge,
    errorWritingTemporary,
    outOfMemory,
    internalError,
};

// The text of a problem line, without the leading "  Problem: " and the
// closing period.
const char* problemText(Problem problem);

// The problem a failed library call is reported as. A negative header entry
// reads as the end of the header, and an input that changed between the two
// passes of compress as a read error.
Problem problemFor(huffcodec::Status status);

class Report {
public:
    // Starts a stage line: text with no end of line.
    void begin(const std::string& text);
    // Ends the open stage line with " done.".
    void done();
    // Ends the open stage line with the problem, or writes it on a line of its
    // own when none is open.
    void problem(Problem problem);
    // Ends the open stage line after a library call: with " done." when status
    // is ok, else with the problem it is reported as. True when ok.
    bool finish(huffcodec::Status status);
    // A whole line.
    void line(const std::string& text);
    // The last line, "<what> ratio: " and original / compressed with six
    // significant digits, in the stream's default notation.
    void ratio(const char* what, double original, double compressed);
    // The lines for the arguments and files the commands refuse.
    void errorOpening(const std::string& path);
    void sameFile();

private:
    bool open = false;
};

#endif  // HUFFCODEC_COMMANDS_REPORT_HPP
