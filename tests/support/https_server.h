#pragma once

#include "support/test_certificates.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnvex::test {

struct HttpRequest {
    std::string method;
    std::string target;
    /// The raw bytes from the request line through the blank line.
    std::string head;

    /// The first header of that name, case-insensitively, with surrounding blanks trimmed.
    std::optional<std::string> header(std::string_view name) const;
};

/// One accepted TLS connection, handed to the handler on the connection's own thread.
/// Use it only from that thread, and only while the handler runs.
class Connection {
public:
    struct State;
    explicit Connection(State& state) : state_(state) {}
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    /// Sends the bytes as they are, flushed at once; false if the peer is gone.
    bool write(std::string_view bytes);
    /// close_notify, then closes the socket; the server reads no more requests from it.
    void close();
    /// Abortive close: an RST and no close_notify.
    void reset();
    bool closed() const;
    /// Sleeps unless the server is stopping; false if it is, so stalling handlers can bail out.
    bool sleepFor(std::chrono::milliseconds duration);

private:
    State& state_;
};

using Handler = std::function<void(const HttpRequest&, Connection&)>;

struct ServerOptions {
    /// Accept TCP, read a little of the ClientHello, then close without answering.
    bool closeDuringHandshake = false;
    /// Answer the ClientHello with bytes that are not TLS, then close.
    bool sendGarbageInsteadOfTls = false;
};

/// An HTTPS/1.1 server on 127.0.0.1 that hands each request to a handler which writes the
/// response bytes itself, so tests can script faulty servers.
class HttpsServer {
public:
    HttpsServer(const TestCertificates& certificates, Handler handler, ServerOptions options = {});
    /// Stops, closes every connection, wakes sleeping handlers and joins all threads.
    ~HttpsServer();
    HttpsServer(const HttpsServer&) = delete;
    HttpsServer& operator=(const HttpsServer&) = delete;

    std::uint16_t port() const;
    /// "https://localhost:<port>" followed by pathAndQuery.
    std::string url(std::string_view pathAndQuery) const;
    /// Every request received so far, in arrival order.
    std::vector<HttpRequest> requests() const;
    /// How many TLS handshakes it has completed so far.
    std::size_t connections() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

/// A whole HTTP/1.1 response. Adds content-length unless headers carry a content-length or a
/// transfer-encoding, in which case body goes out as given (see chunkedBody).
std::string httpResponse(int status, std::string_view reason,
                         std::vector<std::pair<std::string, std::string>> headers,
                         std::string_view body);

/// body as HTTP/1.1 chunks of at most chunkSize bytes, with the final zero-size chunk.
std::string chunkedBody(std::string_view body, std::size_t chunkSize);

} // namespace tarnvex::test
