#include "remote/client_download.h"

#include "console/log.h"
#include "console/spinner.h"
#include "instance/instance_cfg.h"
#include "platform/atomic_file.h"
#include "platform/wall_clock.h"
#include "remote/content_decoder.h"
#include "remote/url.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tarnvex {

namespace {

constexpr std::size_t bufferSize = 8192;
// The most moved from the body to the file between two looks at the clock.
constexpr std::size_t stepSize = 4500;
// The body reaches the file in writes growing to this size: in pieces of a TLS record or less, the
// write calls alone cost more than all the rest of the installer's work on the body. Of 128-512
// KiB, 256 KiB measured fastest. The first writes are small, so that a client which stops
// arriving early has most of what came in its file already.
constexpr std::size_t largestFileWrite = std::size_t{256} << 10;

// The largest unit that states the size exactly: "1 GiB", "64 KiB", "1000 bytes".
std::string readableSize(std::uint64_t bytes) {
    constexpr std::array<std::string_view, 3> units = {"KiB", "MiB", "GiB"};
    std::size_t unit = 0;
    while (unit < units.size() && bytes >= 1024 && bytes % 1024 == 0) {
        bytes /= 1024;
        ++unit;
    }
    return std::to_string(bytes) + " " + std::string(unit == 0 ? "bytes" : units.at(unit - 1));
}

// A server may content-encode the client although none was asked for; what reaches the file is
// always the executable itself.
class ClientWriter final : public ResponseHandler, private DecodedSink {
public:
    ClientWriter(const std::string& url, std::uint64_t sizeLimit, ByteSink& file,
                 SpinnerProgress& progress)
        : url_(url), sizeLimit_(sizeLimit), file_(file, bufferSize, largestFileWrite),
          progress_(progress) {}

    Result<void> onHead(const ResponseHead& head) override {
        if (head.status != 200) {
            logError("HTTP " + std::to_string(head.status) + ": URL \"" + url_ + "\" invalid?");
            return std::unexpected(Error::ConnectionRefused);
        }
        advertised_ = head.contentLength;
        if (advertised_ && *advertised_ > sizeLimit_) {
            return tooLarge();
        }
        auto decoder = ContentDecoder::forCoding(head.contentEncoding);
        if (!decoder) {
            return std::unexpected(decoder.error());
        }
        decoder_ = std::move(*decoder);
        return {};
    }

    Result<void> onBody(std::span<const std::byte> piece) override {
        while (!piece.empty()) {
            const auto step = piece.first(std::min(piece.size(), stepSize));
            if (auto decoded = decoder_->decode(step, *this); !decoded) {
                return decoded;
            }
            // The byte count is the network's, as the content-length is.
            received_ += step.size();
            piece = piece.subspan(step.size());
            if (auto drawn = progress_.update(received_); !drawn) {
                return drawn;
            }
        }
        return {};
    }

    /// After the body: the last frame if due, every byte in the file, the spinner wiped.
    Result<void> finish() {
        if (auto drawn = progress_.update(received_); !drawn) {
            return drawn;
        }
        if (auto flushed = file_.flush(); !flushed) {
            return flushed;
        }
        return progress_.finish();
    }

    /// Whether a coded body ended where its coding says it ends.
    Result<void> decodedWhole() { return decoder_ ? decoder_->finish() : Result<void>{}; }

    std::optional<std::uint64_t> advertised() const { return advertised_; }
    std::uint64_t received() const { return received_; }

private:
    // Counted as decoded, so that neither a coded nor a chunked body can fill the disk.
    Result<void> take(std::span<const std::byte> decoded) override {
        if (decoded.size() > sizeLimit_ - written_) {
            return tooLarge();
        }
        written_ += decoded.size();
        return file_.write(decoded);
    }

    // The spinner's line is wiped first, or the message would start on it.
    Result<void> tooLarge() const {
        if (auto wiped = progress_.finish(); !wiped) {
            return wiped;
        }
        logError("The tarnvex client is over the limit of " + readableSize(sizeLimit_) + ".");
        return std::unexpected(Error::ClientTooLarge);
    }

    const std::string& url_;
    std::uint64_t sizeLimit_;
    std::uint64_t written_ = 0;
    BufferedWriter file_;
    SpinnerProgress& progress_;
    std::unique_ptr<ContentDecoder> decoder_;
    std::optional<std::uint64_t> advertised_;
    std::uint64_t received_ = 0;
};

std::string counts(std::uint64_t expected, std::uint64_t actual) {
    return "(expected: " + std::to_string(expected) + ", actual: " + std::to_string(actual) + ")";
}

} // namespace

Result<void> downloadSyncClient(HttpClient& client, const std::string& url, std::uint64_t sizeLimit,
                                const Directory& instanceDirectory, const std::string& instancePath,
                                BufferedWriter& out, DirectorySyncs& touched) {
    auto file = AtomicFile::create(instanceDirectory, std::string(syncClientFileName));
    if (!file) {
        return std::unexpected(file.error());
    }
    if (auto executable = file->setMode(0755); !executable) {
        return executable;
    }
    logInfo("Downloading tarnvex client to " + instancePath);
    if (auto parsed = parseUrl(url); !parsed) {
        return std::unexpected(parsed.error());
    }

    SpinnerProgress progress(out, wallClockMilliseconds);
    if (auto drawn = progress.start(); !drawn) {
        return drawn;
    }
    ClientWriter writer(url, sizeLimit, *file, progress);
    auto fetched = client.get(url, "application/octet-stream", writer, bufferSize);
    if (!fetched && fetched.error() != Error::IncompleteDownload) {
        return fetched;
    }
    if (auto finished = writer.finish(); !finished) {
        return finished;
    }
    if (const auto advertised = writer.advertised()) {
        if (writer.received() > *advertised) {
            logWarning("Bad HTTP header? Read more bytes than advertised. " +
                       counts(*advertised, writer.received()));
        } else if (writer.received() < *advertised) {
            logWarning("Did not read all file content. " + counts(*advertised, writer.received()));
            return std::unexpected(Error::IncompleteDownload);
        }
    }
    if (!fetched) {
        return fetched;
    }
    if (auto whole = writer.decodedWhole(); !whole) {
        return whole;
    }
    return file->commit(touched);
}

} // namespace tarnvex
