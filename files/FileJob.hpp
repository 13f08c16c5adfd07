// SPDX-License-Identifier: MIT
//
// One file turned into another through the library, for the commands and the
// Python module alike: the input as an open descriptor, the output created
// from its path (or open already, and then the caller's to keep or remove), a
// temporary copy of an input that cannot seek (compression reads its input
// twice), the output removed when a compression fails, and a result with the
// status, the errno behind it and the byte counts. What the caller says about
// it (report lines, exceptions) is the caller's.
#ifndef HUFFCODEC_FILES_FILEJOB_HPP
#define HUFFCODEC_FILES_FILEJOB_HPP

#include <cstdint>
#include <functional>
#include <string>

#include "InputFile.hpp"
#include "huffcodec/huffcodec.hpp"
#include "output/OutputFile.hpp"

class FileJob {
public:
    enum class Stage {
        counting,       // compress: reading the input once to count its bytes
        readingHeader,  // decompress: reading the header
        building,       // building the code tree for the header
        writing,        // encoding or decoding into the output, and closing it
    };

    // Told where the job is, on the job's thread; a member left empty is
    // not called.
    struct Observer {
        std::function<void(Stage)> started;
        // The stage succeeded; a failed one is told by the result.
        std::function<void(Stage)> finished;
        // The header, counted or read, before its code tree is built: false
        // stops the job with Failure::refused. Empty: every header is taken.
        std::function<bool(const huffcodec::Header&)> accept;
        // After each read of the input in counting and writing: the bytes
        // read so far in that stage.
        std::function<void(std::uint64_t bytesRead)> progressed;
    };

    struct Result {
        enum class Failure {
            none,
            openingOutput,  // the output could not be created
            temporaryFile,  // the copy of the input could not be created or written
            refused,        // by Observer::accept
            status,         // see status
        };
        Failure failure = Failure::none;
        // With Failure::status: the library's status; readError for the
        // input (a failed rewind too), writeError for the output (a failed
        // close too).
        huffcodec::Status status = huffcodec::Status::ok;
        // The errno of a failed open, read, write or close; 0 for any other
        // failure.
        int error = 0;
        // The header's original size, once counted or read (of every member
        // read so far, see takeEveryMember).
        std::int64_t originalSize = 0;
        // Where the member that failed starts in the input: 0 for the first.
        std::uint64_t memberOffset = 0;
        // Bytes taken from the input: all of it (compress), or the header and
        // every body byte decoding needed, trailing bytes excluded
        // (decompress). Valid on success.
        std::uint64_t inputBytes = 0;
        // Bytes written to the output; valid on success.
        std::uint64_t outputBytes = 0;

        bool ok() const { return failure == Failure::none; }

        // What a failure is about, the one map from a result to it that
        // every face (the commands' lines, the fixed report, Python's
        // exceptions) words in its own way: the output could not be opened,
        // written or closed (error, status writeError), the input could not
        // be read (error, status readError), compress's temporary copy
        // failed (error), or the data is not what the format or the job
        // allows (status; memberOffset where a later member failed).
        enum class Cause {
            none,
            openingOutput,
            writingOutput,
            readingInput,
            temporaryFile,
            data,
            refused,
        };
        Cause cause() const {
            switch (failure) {
                case Failure::none:
                    return Cause::none;
                case Failure::openingOutput:
                    return Cause::openingOutput;
                case Failure::temporaryFile:
                    return Cause::temporaryFile;
                case Failure::refused:
                    return Cause::refused;
                case Failure::status:
                    break;
            }
            return status == huffcodec::Status::writeError  ? Cause::writingOutput
                   : status == huffcodec::Status::readError ? Cause::readingInput
                                                            : Cause::data;
        }
    };

    // The job calls the library with options and tells observer, which both
    // outlive it.
    FileJob(const huffcodec::Options& options, const Observer& observer)
        : libraryOptions(options), watcher(observer) {}

    // The commands': SIGINT, SIGTERM and SIGHUP remove a compression's
    // output too (see RemovalSignals; the handlers are the process's).
    void removeOutputOnSignals() { signals = true; }

    // huffcodec's: decompression takes every member of the input in turn (a
    // compressed file after another, as -c writes them) until the input
    // ends, and any bytes after the last whole member fail the job, with the
    // member's offset. Without it, decompression takes the first member and
    // ignores what follows it, as uncompress does.
    void takeEveryMember() { everyMember = true; }

    // Compresses input into a new file at outputPath. An input of known size
    // above kMaxOriginalSize is refused (inputTooLarge, in Stage::counting)
    // before the output is created. On any failure after that the output is
    // removed, if it is a regular file.
    Result compress(InputFile& input, const std::string& outputPath);
    // The same into output, open already, which the caller closes, and
    // removes on a failure if it must (Failure::openingOutput never comes).
    // On success every byte has been written to the file: the caller may set
    // its owner, mode and times before closing it.
    Result compress(InputFile& input, OutputFile& output);

    // Decompresses input into a new file at outputPath, created before the
    // header is read. The observer hears of each member's header (accept),
    // and of the stages of the first. On a failure the output keeps the bytes decoded before
    // it (none, for a bad or refused header).
    Result decompress(InputFile& input, const std::string& outputPath);
    // The same into output, open already, which the caller closes; on a
    // failure it holds the bytes decoded before it. On success every byte
    // has been written to the file.
    Result decompress(InputFile& input, OutputFile& output);

private:
    // The jobs once the output is open; result takes the failure and counts.
    // The output is closed at the end of the writing stage if the job opened
    // it, else written out and left open.
    enum class Ending { close, flush };
    void encode(InputFile& input, OutputFile& output, Ending ending, Result& result);
    void decode(InputFile& input, OutputFile& output, Ending ending, Result& result);
    // An input of known size that the format cannot take: Stage::counting
    // started and failed with inputTooLarge, before anything is read.
    bool tooLarge(InputFile& input, Result& result);

    void started(Stage stage) const {
        if (watcher.started) {
            watcher.started(stage);
        }
    }
    void finished(Stage stage) const {
        if (watcher.finished) {
            watcher.finished(stage);
        }
    }
    bool accepted(const huffcodec::Header& header) const {
        return !watcher.accept || watcher.accept(header);
    }

    template <class Coder>
    bool build(Coder& coder, const huffcodec::Header& header, Result& result);

    const huffcodec::Options& libraryOptions;
    const Observer& watcher;
    bool signals = false;
    bool everyMember = false;
};

#endif  // HUFFCODEC_FILES_FILEJOB_HPP
