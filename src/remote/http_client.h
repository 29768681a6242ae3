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

/// One HTTPS client, for as long as it lives. Every connection it makes, a redirect's too, is
/// used for one request only, and its server's chain is decided before that request is sent (or,
/// with a libcurl older than 7.80, at the first line of the response, before any of it is used).
class HttpClient {
public:
    /// Trusts what `settings.certificateVerifier` trusts, or else the platform's verifier (on
    /// macOS without a CA file, Apple's trust evaluation); with `settings.caFile` libcurl checks
    /// each chain against those roots as well. A refused chain ends the request with
    /// `TlsCertificateNotTrusted`, logged with the reason. A request is given up after
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

    /// Whether chains are decided before each request rather than at the first line of its
    /// response (libcurl 7.80 and later).
    bool decidesTrustBeforeRequests() const;

private:
    struct Handle;
    explicit HttpClient(std::unique_ptr<Handle> handle);

    std::unique_ptr<Handle> handle_;
};

} // namespace tarnvex
