// SPDX-License-Identifier: MIT
//
// Report lines and problem texts.
#include "Report.hpp"

#include <iostream>
#include <sstream>

const char* problemText(Problem problem) {
    using huffcodec::Status;
    using huffcodec::statusMessage;
    // The library's own text where it says the same.
    switch (problem) {
        case Problem::eofWhileReadingHeader:
            return "EOF while reading header";
        case Problem::sizeTooLarge:
            return "uncompressed size exceeds 2147483647 bytes";
        case Problem::eofWhileDecoding:
            return "EOF while decoding";
        case Problem::errorReadingInput:
            return "error reading input file";
        case Problem::errorWritingOutput:
            return "error writing output file";
        case Problem::inputTooLarge:
            return statusMessage(Status::inputTooLarge);
        case Problem::errorWritingTemporary:
            return "error writing temporary file";
        case Problem::outOfMemory:
            return statusMessage(Status::outOfMemory);
        case Problem::internalError:
            break;
    }
    return statusMessage(Status::internalError);
}

Problem problemFor(huffcodec::Status status) {
    using huffcodec::Status;
    switch (status) {
        case Status::headerTooShort:
        case Status::negativeCount:
            return Problem::eofWhileReadingHeader;
        case Status::sizeTooLarge:
            return Problem::sizeTooLarge;
        case Status::truncatedBody:
            return Problem::eofWhileDecoding;
        case Status::readError:
        case Status::inputChanged:
            return Problem::errorReadingInput;
        case Status::writeError:
            return Problem::errorWritingOutput;
        case Status::inputTooLarge:
            return Problem::inputTooLarge;
        case Status::outOfMemory:
            return Problem::outOfMemory;
        case Status::ok:
        case Status::outputTooSmall:
        case Status::internalError:
        case Status::invalidArgument:
            break;
    }
    return Problem::internalError;
}

void Report::begin(const std::string& text) {
    std::cerr << text;
    open = true;
}

void Report::done() {
    std::cerr << " done." << std::endl;
    open = false;
}

void Report::problem(Problem problem) {
    std::cerr << "  Problem: " << problemText(problem) << '.' << std::endl;
    open = false;
}

bool Report::finish(huffcodec::Status status) {
    if (status != huffcodec::Status::ok) {
        problem(problemFor(status));
        return false;
    }
    done();
    return true;
}

void Report::line(const std::string& text) {
    std::cerr << text << std::endl;
}

void Report::ratio(const char* what, double original, double compressed) {
    std::ostringstream text;
    text << what << " ratio: " << original / compressed;
    line(text.str());
}

void Report::errorOpening(const std::string& path) {
    line("Error opening \"" + path + "\".");
}

void Report::sameFile() {
    line("infile and outfile must be different files");
}
