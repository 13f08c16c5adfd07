// SPDX-License-Identifier: MIT
//
// huffcodec's lines on standard error.
#include "Diagnostics.hpp"

#include <cstring>
#include <iostream>

void say(const std::string& name, const std::string& text) {
    say(name + ": " + text);
}

void say(const std::string& text) {
    std::cerr << "huffcodec: " << text << std::endl;
}

std::string reasonOf(int error, huffcodec::Status status) {
    return error != 0 ? std::strerror(error) : huffcodec::statusMessage(status);
}

void sayFailure(const FileJob::Result& result, const std::string& input,
                const std::string& output) {
    using Cause = FileJob::Result::Cause;
    using huffcodec::Status;
    switch (result.cause()) {
        case Cause::openingOutput:
        case Cause::writingOutput:
            say(output, reasonOf(result.error, Status::writeError));
            return;
        case Cause::readingInput:
            say(input, reasonOf(result.error, Status::readError));
            return;
        case Cause::temporaryFile:
            say(input, "temporary file: " + reasonOf(result.error, Status::writeError));
            return;
        case Cause::data:
            if (result.memberOffset > 0) {
                // Bytes after a whole member that are no whole member.
                say(input, "member at byte " + std::to_string(result.memberOffset) + ": " +
                               huffcodec::statusMessage(result.status));
            } else {
                say(input, huffcodec::statusMessage(result.status));
            }
            return;
        case Cause::none:
        case Cause::refused:  // no header is refused
            break;
    }
    say(input, huffcodec::statusMessage(Status::internalError));
}
