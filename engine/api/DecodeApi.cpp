// SPDX-License-Identifier: MIT
//
// The decoding half of the public API: Decoder, DecompressStream and
// decompress() over the engine's stream and threaded decoders. Allocation
// failures end here, as Status::outOfMemory; nothing throws past this file.
#include <algorithm>
#include <array>
#include <cstring>
#include <new>

#include "api/ApiSupport.hpp"
#include "common/CodeTree.hpp"
#include "common/Header.hpp"
#include "decode/DecodeTables.hpp"
#include "decode/StreamDecoder.hpp"
#include "huffcodec/huffcodec.hpp"
#include "parallel/ThreadedDecoder.hpp"
#include "parallel/Workers.hpp"

namespace huffcodec {

// ---- Decoder ------------------------------------------------------------

// Hidden: as a member of an exported class it would otherwise export its own
// out-of-line members.
struct __attribute__((visibility("hidden"))) Decoder::Impl {
    Impl(std::unique_ptr<CodeTree> tree, std::uint64_t symbols, std::uint64_t bits,
         const Tuning& tuning)
        : code(std::move(tree)),
          symbolCount(symbols),
          bodyBits(bits),
          tables(*code, decodeTableFor(tuning, symbolCount, bodyBits)) {}

    // The code and tables of header, the tables of the kind tuning chooses
    // for its body.
    static Status build(const Header& header, const Tuning& tuning, std::unique_ptr<Impl>& impl);
    // The one way from a file's first bytes to its decoder, for the streams
    // and decompress(): reads the header from the size bytes at bytes (all
    // of it, or what there is), refuses one whose original size exceeds
    // mostOutput (outputTooSmall), and builds. header receives the header.
    static Status start(const void* bytes, std::size_t size, std::uint64_t mostOutput,
                        const Tuning& tuning, Header& header, std::unique_ptr<Impl>& impl);

    std::unique_ptr<CodeTree> code;
    std::uint64_t symbolCount = 0;
    std::uint64_t bodyBits = 0;  // the whole body's codes
    DecodeTables tables;

    // The tables settings choose: these, or where a tuning asks for another
    // kind, ones built into own for the call.
    const DecodeTables& tablesFor(const Settings& settings,
                                  std::unique_ptr<DecodeTables>& own) const {
        const TableKind kind = decodeTableFor(settings.tuning, symbolCount, bodyBits);
        if (kind == tables.kind()) {
            return tables;
        }
        own = std::make_unique<DecodeTables>(*code, kind);
        return *own;
    }

    DecodePlan planFor(const Settings& settings) const {
        return decodePlanFor(settings, symbolCount, bodyBits, tables.leafCount());
    }

    // Decodes the body through read, or in memory when read is null, on the
    // options' threads where the body is large enough to share out. unused
    // takes what read gave past the body, once it has ended ok.
    StreamResult decodeBody(const ReadFn* read, const std::uint8_t* body, std::size_t size,
                            const BodyOutput& output, const Settings& settings,
                            const WriteFn* unused = nullptr) const;
    // decode() and decodeMember() through read: unused as above.
    StreamResult decodeRead(const ReadFn& read, const WriteFn& write, const WriteFn* unused,
                            const Options& options) const noexcept;
};

Decoder::Decoder() noexcept = default;
Decoder::~Decoder() = default;
Decoder::Decoder(Decoder&&) noexcept = default;
Decoder& Decoder::operator=(Decoder&&) noexcept = default;

Status Decoder::Impl::build(const Header& header, const Tuning& tuning,
                            std::unique_ptr<Impl>& impl) {
    impl.reset();
    try {
        std::unique_ptr<CodeTree> code;
        std::int64_t total = 0;
        const Status built = buildCode(header, code, total);
        if (built != Status::ok) {
            return built;
        }
        const std::uint64_t bits = bodyBitsOf(*code, header.counts);
        impl = std::make_unique<Impl>(std::move(code), static_cast<std::uint64_t>(total), bits,
                                      tuning);
        return Status::ok;
    } catch (const std::bad_alloc&) {
        return Status::outOfMemory;
    }
}

Status Decoder::Impl::start(const void* bytes, std::size_t size, std::uint64_t mostOutput,
                            const Tuning& tuning, Header& header, std::unique_ptr<Impl>& impl) {
    const HeaderResult parsed = readHeader(bytes, size);
    if (parsed.status != Status::ok) {
        return parsed.status;
    }
    if (static_cast<std::uint64_t>(parsed.header.originalSize) > mostOutput) {
        return Status::outputTooSmall;
    }
    const Status built = build(parsed.header, tuning, impl);
    if (built == Status::ok) {
        header = parsed.header;
    }
    return built;
}

Status Decoder::build(const Header& header) noexcept {
    return Impl::build(header, Tuning{}, impl);
}

StreamResult Decoder::Impl::decodeBody(const ReadFn* read, const std::uint8_t* body,
                                       std::size_t size, const BodyOutput& output,
                                       const Settings& settings, const WriteFn* unused) const {
    DecodeStats local;
    DecodeStats& stats = settings.tuning.stats != nullptr ? *settings.tuning.stats : local;
    const DecodePlan plan = planFor(settings);
    std::unique_ptr<DecodeTables> own;
    const DecodeTables& callTables = tablesFor(settings, own);
    BodyResult result{};
    if (plan.threaded) {
        result = read != nullptr
                     ? decodeThreaded(callTables, plan, symbolCount, bodyBits, *read, output, stats,
                                      unused)
                     : decodeThreaded(callTables, plan, symbolCount, body, size, output, stats);
    } else {
        StreamDecoder one(callTables, plan);
        result = read != nullptr ? one.decode(symbolCount, *read, output, stats, 0, unused)
                                 : one.decode(symbolCount, body, size, output, stats);
    }
    // Where decoding stood when a write failed depends on how far the
    // threads had got: no input position is reported then.
    const std::uint64_t consumed =
        result.status == Status::writeError ? 0 : kHeaderBytes + (result.bitsConsumed + 7) / 8;
    return {result.status, consumed, result.symbolsWritten};
}

StreamResult Decoder::decode(const ReadFn& read, const WriteFn& write,
                             const Options& options) const noexcept {
    if (!impl) {
        return {Status::invalidArgument, 0, 0};
    }
    return impl->decodeRead(read, write, nullptr, options);
}

StreamResult Decoder::decodeMember(const ReadFn& read, const WriteFn& write, const WriteFn& rest,
                                   const Options& options) const noexcept {
    if (!impl || !rest) {
        return {Status::invalidArgument, 0, 0};
    }
    return impl->decodeRead(read, write, &rest, options);
}

StreamResult Decoder::Impl::decodeRead(const ReadFn& read, const WriteFn& write,
                                       const WriteFn* unused,
                                       const Options& options) const noexcept {
    Settings settings;
    if (!read || !write || settingsOf(options, settings) != Status::ok) {
        return {Status::invalidArgument, 0, 0};
    }
    try {
        return decodeBody(&read, nullptr, 0, write, settings, unused);
    } catch (const std::bad_alloc&) {
        return {Status::outOfMemory, 0, 0};
    }
}

StreamResult Decoder::decode(const void* body, std::size_t size, const WriteFn& write,
                             const Options& options) const noexcept {
    Settings settings;
    if (!impl || (body == nullptr && size > 0) || !write ||
        settingsOf(options, settings) != Status::ok) {
        return {Status::invalidArgument, 0, 0};
    }
    try {
        return impl->decodeBody(nullptr, static_cast<const std::uint8_t*>(body), size, write,
                                settings);
    } catch (const std::bad_alloc&) {
        return {Status::outOfMemory, 0, 0};
    }
}

// ---- Decompression stream -------------------------------------------------

struct __attribute__((visibility("hidden"))) DecompressStream::Impl {
    Settings settings;
    std::array<std::uint8_t, kHeaderBytes> headerBytes{};
    std::size_t headerFilled = 0;
    bool headerRead = false;
    Header header;
    Decoder decoder;
    std::unique_ptr<StreamDecoder> body;
    DecodeStats localStats;
    std::uint64_t consumed = 0;  // input bytes taken, the header's included
    std::uint64_t produced = 0;  // bytes given out
    // Decoded bytes go straight to the caller's buffer, which target points
    // to during decompress(); what does not fit waits in queued (at most an
    // output block and a segment's pieces).
    OutBuffer* target = nullptr;
    OutputQueue queued;
    WriteFn sink;
    bool bodyEnded = false;
    BodyResult ended{Status::ok, 0, 0};
    Status failure = Status::ok;

    Impl() {
        sink = [this](const std::uint8_t* data, std::size_t size) {
            queued.put(*target, data, size);
            return true;
        };
    }

    Status fail(Status status) {
        failure = status;
        return status;
    }

    Status decompress(InBuffer& in, OutBuffer& out, bool endOfInput);

    // Takes header bytes from in; builds the decoder once all are there.
    Status readHeaderFrom(InBuffer& in, bool endOfInput) {
        const std::size_t n = std::min(kHeaderBytes - headerFilled, in.size - in.pos);
        if (n > 0) {  // in.data may be null when it holds nothing
            std::memcpy(headerBytes.data() + headerFilled,
                        static_cast<const std::uint8_t*>(in.data) + in.pos, n);
        }
        headerFilled += n;
        in.pos += n;
        if (headerFilled < kHeaderBytes) {
            // What the entries so far say, or too short if they are fine.
            const HeaderResult partial = readHeader(headerBytes.data(), headerFilled);
            return endOfInput && in.pos == in.size ? fail(partial.status) : Status::ok;
        }
        const Status started = Decoder::Impl::start(headerBytes.data(), headerFilled, UINT64_MAX,
                                                    settings.tuning, header, decoder.impl);
        if (started != Status::ok) {
            return fail(started);
        }
        headerRead = true;
        body =
            std::make_unique<StreamDecoder>(decoder.impl->tables, decoder.impl->planFor(settings));
        body->start(decoder.impl->symbolCount, sink);
        return Status::ok;
    }
};

DecompressStream::DecompressStream() noexcept = default;
DecompressStream::~DecompressStream() = default;
DecompressStream::DecompressStream(DecompressStream&&) noexcept = default;
DecompressStream& DecompressStream::operator=(DecompressStream&&) noexcept = default;

Status DecompressStream::reset(const Options& options) noexcept {
    impl.reset();
    Settings settings;
    if (settingsOf(options, settings) != Status::ok) {
        return Status::invalidArgument;
    }
    try {
        impl = std::make_unique<Impl>();
        impl->settings = settings;
        return Status::ok;
    } catch (const std::bad_alloc&) {
        return Status::outOfMemory;
    }
}

Status DecompressStream::decompress(InBuffer& in, OutBuffer& out, bool endOfInput) noexcept {
    if (!usableBuffers(in, out)) {
        return Status::invalidArgument;
    }
    if (!impl) {
        const Status started = reset();
        if (started != Status::ok) {
            return started;
        }
    }
    const std::size_t inBefore = in.pos;
    const std::size_t outBefore = out.pos;
    const Status status = impl->decompress(in, out, endOfInput);
    impl->consumed += in.pos - inBefore;
    impl->produced += out.pos - outBefore;
    return status;
}

Status DecompressStream::Impl::decompress(InBuffer& in, OutBuffer& out, bool endOfInput) {
    Impl& s = *this;
    if (s.failure != Status::ok) {
        return s.failure;
    }
    try {
        s.queued.give(out);
        if (!s.headerRead) {
            const Status status = s.readHeaderFrom(in, endOfInput);
            if (status != Status::ok || !s.headerRead) {
                return status;
            }
        }
        s.target = &out;
        while (!s.bodyEnded && s.queued.empty()) {
            const std::size_t taken = s.body->feed(
                static_cast<const std::uint8_t*>(in.data) + in.pos, in.size - in.pos, endOfInput);
            in.pos += taken;
            const BodyResult result = s.body->resume(
                s.settings.tuning.stats != nullptr ? *s.settings.tuning.stats : s.localStats);
            const StreamDecoder::Wait wait = s.body->waiting();
            if (wait == StreamDecoder::Wait::none) {
                s.bodyEnded = true;
                s.ended = result;
            } else if (wait == StreamDecoder::Wait::input && in.pos == in.size) {
                if (s.body->isDraining()) {
                    break;  // every code the input completes is out: the caller brings more
                }
                // The caller has given all it has for now: what that decodes
                // goes out without waiting for a segment's worth of input.
                s.body->drain();
            }
        }
        s.target = nullptr;
        if (s.bodyEnded && s.queued.empty() && s.ended.status != Status::ok) {
            return s.fail(s.ended.status);
        }
        return Status::ok;
    } catch (const std::bad_alloc&) {
        s.target = nullptr;
        return s.fail(Status::outOfMemory);
    }
}

bool DecompressStream::finished() const noexcept {
    return impl && impl->bodyEnded && impl->queued.empty() && impl->ended.status == Status::ok;
}

const Header* DecompressStream::header() const noexcept {
    return impl && impl->headerRead ? &impl->header : nullptr;
}

std::uint64_t DecompressStream::bytesConsumed() const noexcept {
    if (!impl) {
        return 0;
    }
    // Once the body has ended, input taken past its last code is not the
    // file's.
    if (impl->bodyEnded && impl->queued.empty()) {
        return kHeaderBytes + (impl->ended.bitsConsumed + 7) / 8;
    }
    return impl->consumed;
}

std::uint64_t DecompressStream::bytesProduced() const noexcept {
    return impl ? impl->produced : 0;
}

DecompressResult decompress(const void* in, std::size_t size, void* out,
                            std::size_t capacity) noexcept {
    return decompress(in, size, out, capacity, Options{});
}

DecompressResult decompress(const void* in, std::size_t size, void* out, std::size_t capacity,
                            const Options& options) noexcept {
    Settings settings;
    if (settingsOf(options, settings) != Status::ok || !usableBuffers(in, size, out, capacity)) {
        return {Status::invalidArgument, 0, 0};
    }
    Decoder decoder;
    Header header;
    const Status started =
        Decoder::Impl::start(in, size, capacity, settings.tuning, header, decoder.impl);
    if (started != Status::ok) {
        return {started, 0, 0};
    }
    const auto* body = static_cast<const std::uint8_t*>(in) + kHeaderBytes;
    const std::size_t bodySize = size - kHeaderBytes;
    try {
        // Every symbol fits: the header's size was checked against capacity.
        const StreamResult result = decoder.impl->decodeBody(
            nullptr, body, bodySize, BodyOutput(static_cast<std::uint8_t*>(out), capacity),
            settings);
        return {result.status, static_cast<std::size_t>(result.bytesConsumed),
                static_cast<std::size_t>(result.bytesProduced)};
    } catch (const std::bad_alloc&) {
        return {Status::outOfMemory, 0, 0};
    }
}

}  // namespace huffcodec
