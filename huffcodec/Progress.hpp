// SPDX-License-Identifier: MIT
//
// huffcodec's progress line: on standard error when it is a terminal, for a
// file that has taken longer than a second, the stage, the bytes read so far
// in it and the rate, rewritten in place a few times a second and erased
// when the file is done.
#ifndef HUFFCODEC_COMMAND_PROGRESS_HPP
#define HUFFCODEC_COMMAND_PROGRESS_HPP

#include <chrono>
#include <cstdint>
#include <string>

class Progress {
public:
    // enabled: the line may be shown at all (standard error is a terminal,
    // and not quiet).
    explicit Progress(bool enabled) : shown(enabled) {}

    // A new file, shown under name.
    void start(const std::string& name);
    // A new stage of it ("counting", "encoding", "decoding"), from 0 bytes.
    void stage(const char* what);
    // bytes read so far in the stage.
    void update(std::uint64_t bytes);
    // Erases the line, if it was written.
    void clear();

private:
    using Clock = std::chrono::steady_clock;

    const bool shown;
    bool written = false;
    std::string fileName;
    const char* stageName = "";
    Clock::time_point fileStart;
    Clock::time_point stageStart;
    Clock::time_point lastWritten;
};

#endif  // HUFFCODEC_COMMAND_PROGRESS_HPP
