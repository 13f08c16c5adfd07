// SPDX-License-Identifier: MIT
//
// huffcodec's lines on standard error: each names the file it is about and
// says what happened, "huffcodec: notes.txt: No such file or directory", the
// reason from the system (strerror) or from the library (statusMessage).
#ifndef HUFFCODEC_FILES_DIAGNOSTICS_HPP
#define HUFFCODEC_FILES_DIAGNOSTICS_HPP

#include <string>

#include "FileJob.hpp"

// How standard input and output are named in the lines.
inline constexpr char kStandardInputName[] = "(stdin)";
inline constexpr char kStandardOutputName[] = "(stdout)";

// "huffcodec: <name>: <text>".
void say(const std::string& name, const std::string& text);
// "huffcodec: <text>", about no file in particular.
void say(const std::string& text);

// The system's text for error (an errno), or the library's for status when
// error is 0.
std::string reasonOf(int error, huffcodec::Status status = huffcodec::Status::readError);

// The line for a failed file job from input to output: a read error and the
// format's problems name the input, a write error the output.
void sayFailure(const FileJob::Result& result, const std::string& input, const std::string& output);

#endif  // HUFFCODEC_FILES_DIAGNOSTICS_HPP
