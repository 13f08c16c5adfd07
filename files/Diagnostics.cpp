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
    using Failure = FileJob::Result::Failure;
    using huffcodec::Status;
    switch (result.failure) {
        case Failure::openingOutput:
            say(output, reasonOf(result.error, Status::writeError));
            return;
        case Failure::temporaryFile:
            say(input, "temporary file: " + reasonOf(result.error, Status::writeError));
            return;
        case Failure::status:
            if (result.status == Status::writeError) {
                say(output, reasonOf(result.error, result.status));
            } else if (result.status == Status::readError) {
                say(input, reasonOf(result.error, result.status));
            } else if (result.memberOffset > 0) {
                // Bytes after a whole member that are no whole member.
                say(input, "member at byte " + std::to_string(result.memberOffset) + ": " +
                               huffcodec::statusMessage(result.status));
            } else {
                say(input, huffcodec::statusMessage(result.status));
            }
            return;
        case Failure::none:
        case Failure::refused:  // no header is refused
            break;
    }
    say(input, huffcodec::statusMessage(Status::internalError));
}
