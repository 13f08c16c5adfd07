// SPDX-License-Identifier: MIT
//
// The library's options for a command's file jobs: the thread count, one
// pool of workers that every call of the run shares, and those workers kept
// off the calling thread's processor.
#ifndef HUFFCODEC_COMMANDS_JOBOPTIONS_HPP
#define HUFFCODEC_COMMANDS_JOBOPTIONS_HPP

#include "huffcodec/experimental.hpp"
#include "huffcodec/huffcodec.hpp"

class JobOptions {
public:
    // threads as the library takes it (0: every available processor).
    explicit JobOptions(int threads);
    JobOptions(const JobOptions&) = delete;
    JobOptions& operator=(const JobOptions&) = delete;

    const huffcodec::Options& options() const { return libraryOptions; }

private:
    // Started as the library's calls need them, joined when the run ends.
    huffcodec::ThreadPool workers;
    huffcodec::Tuning tuning;
    huffcodec::Options libraryOptions;
};

#endif  // HUFFCODEC_COMMANDS_JOBOPTIONS_HPP
