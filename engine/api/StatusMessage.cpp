// SPDX-License-Identifier: MIT
//
// The English text and the name of each status.
#include "huffcodec/huffcodec.hpp"

namespace huffcodec {

const char* statusMessage(Status status) noexcept {
    switch (status) {
        case Status::ok:
            return "ok";
        case Status::headerTooShort:
            return "header too short";
        case Status::negativeCount:
            return "negative count in header";
        case Status::sizeTooLarge:
            return "original size exceeds 2147483647 bytes";
        case Status::truncatedBody:
            return "truncated body";
        case Status::readError:
            return "read error";
        case Status::writeError:
            return "write error";
        case Status::outputTooSmall:
            return "output buffer too small";
        case Status::inputTooLarge:
            return "input exceeds 2147483647 bytes";
        case Status::inputChanged:
            return "input changed between passes";
        case Status::outOfMemory:
            return "out of memory";
        case Status::internalError:
            return "internal error";
        case Status::invalidArgument:
            return "invalid argument";
    }
    return "unknown status";
}

const char* statusName(Status status) noexcept {
    switch (status) {
        case Status::ok:
            return "ok";
        case Status::headerTooShort:
            return "headerTooShort";
        case Status::negativeCount:
            return "negativeCount";
        case Status::sizeTooLarge:
            return "sizeTooLarge";
        case Status::truncatedBody:
            return "truncatedBody";
        case Status::readError:
            return "readError";
        case Status::writeError:
            return "writeError";
        case Status::outputTooSmall:
            return "outputTooSmall";
        case Status::inputTooLarge:
            return "inputTooLarge";
        case Status::inputChanged:
            return "inputChanged";
        case Status::outOfMemory:
            return "outOfMemory";
        case Status::internalError:
            return "internalError";
        case Status::invalidArgument:
            return "invalidArgument";
    }
    return "unknown";
}

}  // namespace huffcodec
