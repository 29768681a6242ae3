#pragma once

#include "error.h"
#include "installer_settings.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarnvex {

/// What is known of the final response before its body.
struct ResponseHead {
    int status = 0;
    /// None when the server announced no length (a chunked body, or one ended by closing).
    std::optional<std::uint64_t> contentLength;
    /// The content-encoding header as sent; empty when there is none.
    std::string contentEncoding;
};

/// Receives one response: the head of the final (non-followed) response once, before any of its
/// body, then the body in pieces as they arrive (not decoded).
class ResponseHandler {
public:
    virtual ~ResponseHandler() = default;
    virtual Result<void> onHead(const ResponseHead& head) = 0;
    virtual Result<void> onBody(std::span<const std::byte> piece) = 0;
};

/// One HTTPS client: its own pool of connections and its own trusted roots, for as long as it
/// lives.
class HttpClient {
public:
    /// Trusts the roots of `settings.caFile`, or the system's when that is empty (on macOS those
    /// the keychains trust, read for the first request), and gives a request up after
    /// `settings.stallSeconds` without any byte received.
    static Result<HttpClient> create(const InstallerSettings& settings);

    HttpClient(HttpClient&& other) noexcept;
    HttpClient& operator=(HttpClient&& other) noexcept;
    ~HttpClient();

    /// GETs `url` over HTTP/1.1, following at most 3 redirects, all to https URLs, and hands
    /// the final response to `handler`, reading `receiveBufferSize` bytes at a time. The first
    /// error `handler` returns ends the request and is returned as it is; a failure of the
    /// transfer itself is returned as its name. A body that ends short of its content-length
    /// fails with `IncompleteDownload` after the handler has had the head and what did arrive.
    Result<void> get(const std::string& url, std::string_view acceptEncoding,
                     ResponseHandler& handler, std::size_t receiveBufferSize = 16384);

    /// Whether https was required through libcurl's older protocol bit masks rather than the
    /// protocol names (libcurl 7.85 and later).
    bool restrictsProtocolsWithBitMasks() const;

private:
    struct Handle;
    explicit HttpClient(std::unique_ptr<Handle> handle);

    std::unique_ptr<Handle> handle_;
};

} // namespace tarnvex
