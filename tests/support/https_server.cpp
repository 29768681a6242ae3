#include "support/https_server.h"

#include "platform/unique_fd.h"
#include "support/close_on_exec.h"
#include "support/openssl_handles.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace tarnvex::test {
namespace {

using SslCtxPtr = std::unique_ptr<SSL_CTX, OpenSslDeleter<SSL_CTX_free>>;
using SslPtr = std::unique_ptr<SSL, OpenSslDeleter<SSL_free>>;
using BioMethodPtr = std::unique_ptr<BIO_METHOD, OpenSslDeleter<BIO_meth_free>>;

[[noreturn]] void fail(const std::string& what) {
    throwOpenSslError("https server: " + what);
}

[[noreturn]] void failWithErrno(const std::string& what) {
    throw std::runtime_error("https server: " + what + ": " + std::strerror(errno));
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        return lower(x) == lower(y);
    });
}

std::string_view trimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

class StopSignal {
public:
    void raise() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        changed_.notify_all();
    }
    bool stopping() const {
        std::lock_guard lock(mutex_);
        return stopping_;
    }
    /// False if the wait ended because of a stop.
    bool sleepFor(std::chrono::milliseconds duration) {
        std::unique_lock lock(mutex_);
        return !changed_.wait_for(lock, duration, [this] { return stopping_; });
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool stopping_ = false;
};

} // namespace

/// The socket is only ever closed on the connection's own thread; the server's stop only shuts
/// it down, under the mutex, so it never touches a number that has been reused.
struct Connection::State {
    State(StopSignal& stopSignal, int fd) : stop(stopSignal), socket(fd) {}

    void closeSocket() {
        std::lock_guard lock(socketMutex);
        socket.reset();
        isClosed = true;
    }
    void shutDownSocket() {
        std::lock_guard lock(socketMutex);
        if (socket) {
            ::shutdown(socket.get(), SHUT_RDWR);
        }
    }

    StopSignal& stop;
    std::mutex socketMutex;
    UniqueFd socket;
    SSL* ssl = nullptr;
    bool isClosed = false;
    std::atomic<bool> finished = false;
};

namespace {

// OpenSSL's own socket BIO writes with write(2), which raises SIGPIPE on a vanished peer; a
// test process must not die of that, nor may a library install signal handlers.
int socketBioWrite(BIO* bio, const char* data, int size) {
    BIO_clear_retry_flags(bio);
    const int fd = static_cast<Connection::State*>(BIO_get_data(bio))->socket.get();
    for (;;) {
        const ssize_t sent = ::send(fd, data, static_cast<std::size_t>(size), MSG_NOSIGNAL);
        if (sent >= 0 || errno != EINTR) {
            return static_cast<int>(sent);
        }
    }
}

int socketBioRead(BIO* bio, char* data, int size) {
    BIO_clear_retry_flags(bio);
    const int fd = static_cast<Connection::State*>(BIO_get_data(bio))->socket.get();
    for (;;) {
        const ssize_t received = ::recv(fd, data, static_cast<std::size_t>(size), 0);
        if (received >= 0 || errno != EINTR) {
            return static_cast<int>(received);
        }
    }
}

long socketBioControl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;
}

int socketBioCreate(BIO* bio) {
    BIO_set_init(bio, 1);
    return 1;
}

BioMethodPtr makeSocketBioMethod() {
    BioMethodPtr method(
        BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tarnvex test socket"));
    if (!method || BIO_meth_set_write(method.get(), socketBioWrite) != 1 ||
        BIO_meth_set_read(method.get(), socketBioRead) != 1 ||
        BIO_meth_set_ctrl(method.get(), socketBioControl) != 1 ||
        BIO_meth_set_create(method.get(), socketBioCreate) != 1) {
        fail("cannot create socket BIO method");
    }
    return method;
}

// Without ALPN a client still falls back to HTTP/1.1, but saying so keeps its logs plain.
int selectHttp11(SSL*, const unsigned char** out, unsigned char* outLength, const unsigned char* in,
                 unsigned int inLength, void*) {
    static constexpr unsigned char http11[] = {8, 'h', 't', 't', 'p', '/', '1', '.', '1'};
    unsigned char* selected = nullptr;
    if (SSL_select_next_proto(&selected, outLength, http11, sizeof http11, in, inLength) !=
        OPENSSL_NPN_NEGOTIATED) {
        return SSL_TLSEXT_ERR_NOACK;
    }
    *out = selected;
    return SSL_TLSEXT_ERR_OK;
}

X509Ptr readCertificate(const std::string& pem) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    return X509Ptr(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

SslCtxPtr makeContext(const TestCertificates& certificates) {
    SslCtxPtr context(SSL_CTX_new(TLS_server_method()));
    if (!context || SSL_CTX_set_min_proto_version(context.get(), TLS1_2_VERSION) != 1) {
        fail("cannot create TLS context");
    }
    // No tickets or cached sessions: every connection does a full handshake, so what a test
    // scripts is all that goes over the wire after it.
    SSL_CTX_set_num_tickets(context.get(), 0);
    SSL_CTX_set_options(context.get(), SSL_OP_NO_TICKET);
    SSL_CTX_set_session_cache_mode(context.get(), SSL_SESS_CACHE_OFF);

    X509Ptr certificate = readCertificate(certificates.serverCertificatePem);
    X509Ptr intermediate = readCertificate(certificates.intermediateCertificatePem);
    const auto& keyPem = certificates.serverKeyPem;
    BioPtr keyBio(BIO_new_mem_buf(keyPem.data(), static_cast<int>(keyPem.size())));
    PkeyPtr key(keyBio ? PEM_read_bio_PrivateKey(keyBio.get(), nullptr, nullptr, nullptr)
                       : nullptr);
    // The server sends its own certificate and then the intermediate, as servers do.
    if (!certificate || !intermediate || !key ||
        SSL_CTX_use_certificate(context.get(), certificate.get()) != 1 ||
        SSL_CTX_add1_chain_cert(context.get(), intermediate.get()) != 1 ||
        SSL_CTX_use_PrivateKey(context.get(), key.get()) != 1 ||
        SSL_CTX_check_private_key(context.get()) != 1) {
        fail("cannot load server certificate and key");
    }
    SSL_CTX_set_alpn_select_cb(context.get(), selectHttp11, nullptr);
    return context;
}

std::optional<std::string> readHead(SSL* ssl, std::string& buffer) {
    static constexpr std::size_t maximumHeadSize = 64 * 1024;
    std::size_t searchFrom = 0;
    for (;;) {
        if (const auto end = buffer.find("\r\n\r\n", searchFrom); end != std::string::npos) {
            std::string head = buffer.substr(0, end + 4);
            buffer.erase(0, end + 4);
            return head;
        }
        if (buffer.size() > maximumHeadSize) {
            return std::nullopt;
        }
        searchFrom = buffer.size() < 3 ? 0 : buffer.size() - 3;
        char chunk[16 * 1024];
        std::size_t received = 0;
        if (SSL_read_ex(ssl, chunk, sizeof chunk, &received) != 1) {
            ERR_clear_error();
            return std::nullopt;
        }
        buffer.append(chunk, received);
    }
}

HttpRequest parseRequest(std::string head) {
    HttpRequest request;
    const std::string_view requestLine = std::string_view(head).substr(0, head.find("\r\n"));
    const auto firstSpace = requestLine.find(' ');
    request.method = std::string(requestLine.substr(0, firstSpace));
    if (firstSpace != std::string_view::npos) {
        const auto rest = requestLine.substr(firstSpace + 1);
        request.target = std::string(rest.substr(0, rest.find(' ')));
    }
    request.head = std::move(head);
    return request;
}

} // namespace

std::optional<std::string> HttpRequest::header(std::string_view name) const {
    std::string_view rest(head);
    const auto requestLineEnd = rest.find("\r\n");
    if (requestLineEnd == std::string_view::npos) {
        return std::nullopt;
    }
    rest.remove_prefix(requestLineEnd + 2);
    while (!rest.empty()) {
        const auto lineEnd = rest.find("\r\n");
        const std::string_view line = rest.substr(0, lineEnd);
        rest.remove_prefix(lineEnd == std::string_view::npos ? rest.size() : lineEnd + 2);
        const auto colon = line.find(':');
        if (colon != std::string_view::npos && equalsIgnoringCase(line.substr(0, colon), name)) {
            return std::string(trimBlanks(line.substr(colon + 1)));
        }
    }
    return std::nullopt;
}

bool Connection::write(std::string_view bytes) {
    if (state_.isClosed || state_.ssl == nullptr) {
        return false;
    }
    while (!bytes.empty()) {
        std::size_t written = 0;
        if (SSL_write_ex(state_.ssl, bytes.data(), bytes.size(), &written) != 1) {
            ERR_clear_error();
            return false;
        }
        bytes.remove_prefix(written);
    }
    return true;
}

void Connection::close() {
    if (state_.isClosed) {
        return;
    }
    if (state_.ssl != nullptr) {
        SSL_shutdown(state_.ssl);
        ERR_clear_error();
    }
    // Unread input at close makes the kernel send an RST, which can destroy the response the
    // peer has not read yet; a test that wants that calls reset().
    char discard[4096];
    for (int i = 0; i < 64; ++i) {
        if (::recv(state_.socket.get(), discard, sizeof discard, MSG_DONTWAIT) <= 0) {
            break;
        }
    }
    state_.closeSocket();
}

void Connection::reset() {
    if (state_.isClosed) {
        return;
    }
    const linger abortive{1, 0};
    ::setsockopt(state_.socket.get(), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
    state_.closeSocket();
}

bool Connection::closed() const {
    return state_.isClosed;
}

bool Connection::sleepFor(std::chrono::milliseconds duration) {
    return state_.stop.sleepFor(duration);
}

struct HttpsServer::Impl {
    struct Worker {
        std::shared_ptr<Connection::State> state;
        std::thread thread;
    };

    Impl(const TestCertificates& certificates, Handler requestHandler, ServerOptions serverOptions)
        : handler(std::move(requestHandler)), options(serverOptions),
          context(makeContext(certificates)), bioMethod(makeSocketBioMethod()) {}

    void listen();
    void acceptLoop();
    void reapFinishedWorkers();
    void serve(Connection::State& state);
    void refuseHandshake(Connection::State& state);
    void stopAndJoin();

    Handler handler;
    ServerOptions options;
    SslCtxPtr context;
    BioMethodPtr bioMethod;
    UniqueFd listener;
    UniqueFd wakeReader;
    UniqueFd wakeWriter;
    std::uint16_t port = 0;
    StopSignal stop;
    mutable std::mutex requestsMutex;
    std::vector<HttpRequest> requests;
    std::atomic<std::size_t> connections = 0;
    // Touched only by the accept thread, and by stopAndJoin once that thread is gone.
    std::vector<Worker> workers;
    std::thread acceptThread;
};

void HttpsServer::Impl::listen() {
    listener.reset(socketCloseOnExec(AF_INET, SOCK_STREAM, 0));
    if (!listener) {
        failWithErrno("cannot create socket");
    }
    const int on = 1;
    ::setsockopt(listener.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener.get(), 64) != 0 ||
        ::getsockname(listener.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        failWithErrno("cannot listen on 127.0.0.1");
    }
    port = ntohs(address.sin_port);

    int pipeEnds[2];
    if (pipeCloseOnExec(pipeEnds) != 0) {
        failWithErrno("cannot create wake pipe");
    }
    wakeReader.reset(pipeEnds[0]);
    wakeWriter.reset(pipeEnds[1]);
}

void HttpsServer::Impl::acceptLoop() {
    for (;;) {
        pollfd watched[] = {{listener.get(), POLLIN, 0}, {wakeReader.get(), POLLIN, 0}};
        if (::poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (watched[1].revents != 0) {
            return;
        }
        const int fd = acceptCloseOnExec(listener.get());
        if (fd < 0) {
            // Out of descriptors or the like: back off rather than spin.
            if (errno != EINTR && errno != ECONNABORTED &&
                !stop.sleepFor(std::chrono::milliseconds(10))) {
                return;
            }
            continue;
        }
        // Trickling handlers mean each write to reach the client as its own segment.
        const int on = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        reapFinishedWorkers();
        auto state = std::make_shared<Connection::State>(stop, fd);
        std::thread thread([this, state] {
            serve(*state);
            state->finished = true;
        });
        workers.push_back({std::move(state), std::move(thread)});
    }
}

void HttpsServer::Impl::reapFinishedWorkers() {
    std::erase_if(workers, [](Worker& worker) {
        if (!worker.state->finished) {
            return false;
        }
        worker.thread.join();
        return true;
    });
}

void HttpsServer::Impl::refuseHandshake(Connection::State& state) {
    // Waiting for the ClientHello puts the client squarely in the middle of its handshake.
    char hello[4096];
    if (::recv(state.socket.get(), hello, sizeof hello, 0) > 0 && options.sendGarbageInsteadOfTls) {
        static constexpr std::string_view garbage =
            "HTTP/1.1 400 Bad Request\r\ncontent-length: 0\r\n\r\n";
        ::send(state.socket.get(), garbage.data(), garbage.size(), MSG_NOSIGNAL);
    }
    state.closeSocket();
}

void HttpsServer::Impl::serve(Connection::State& state) {
    if (options.closeDuringHandshake || options.sendGarbageInsteadOfTls) {
        refuseHandshake(state);
        return;
    }
    SslPtr ssl(SSL_new(context.get()));
    BIO* bio = ssl ? BIO_new(bioMethod.get()) : nullptr;
    if (bio == nullptr) {
        ERR_clear_error();
        state.closeSocket();
        return;
    }
    BIO_set_data(bio, &state);
    SSL_set_bio(ssl.get(), bio, bio);
    if (SSL_accept(ssl.get()) != 1) {
        ERR_clear_error();
        state.closeSocket();
        return;
    }
    ++connections;
    state.ssl = ssl.get();
    Connection connection(state);
    std::string buffered;
    while (!connection.closed() && !stop.stopping()) {
        std::optional<std::string> head = readHead(ssl.get(), buffered);
        if (!head) {
            break;
        }
        HttpRequest request = parseRequest(std::move(*head));
        {
            std::lock_guard lock(requestsMutex);
            requests.push_back(request);
        }
        try {
            handler(request, connection);
        } catch (const std::exception& error) {
            std::fprintf(stderr, "https server: handler for %s threw: %s\n", request.target.c_str(),
                         error.what());
            connection.reset();
        } catch (...) {
            std::fprintf(stderr, "https server: handler for %s threw\n", request.target.c_str());
            connection.reset();
        }
    }
    state.ssl = nullptr;
    state.closeSocket();
}

void HttpsServer::Impl::stopAndJoin() {
    stop.raise();
    if (acceptThread.joinable()) {
        const char wake = 1;
        while (::write(wakeWriter.get(), &wake, 1) < 0 && errno == EINTR) {
        }
        acceptThread.join();
    }
    // Shutting the sockets down wakes workers blocked in a handshake, a read or a write, even
    // when the client keeps its end open.
    for (Worker& worker : workers) {
        worker.state->shutDownSocket();
    }
    for (Worker& worker : workers) {
        worker.thread.join();
    }
    workers.clear();
}

HttpsServer::HttpsServer(const TestCertificates& certificates, Handler handler,
                         ServerOptions options)
    : impl_(std::make_unique<Impl>(certificates, std::move(handler), options)) {
    impl_->listen();
    impl_->acceptThread = std::thread([impl = impl_.get()] { impl->acceptLoop(); });
}

HttpsServer::~HttpsServer() {
    impl_->stopAndJoin();
}

std::uint16_t HttpsServer::port() const {
    return impl_->port;
}

std::string HttpsServer::url(std::string_view pathAndQuery) const {
    return "https://localhost:" + std::to_string(impl_->port) + std::string(pathAndQuery);
}

std::vector<HttpRequest> HttpsServer::requests() const {
    std::lock_guard lock(impl_->requestsMutex);
    return impl_->requests;
}

std::size_t HttpsServer::connections() const {
    return impl_->connections;
}

std::string httpResponse(int status, std::string_view reason,
                         std::vector<std::pair<std::string, std::string>> headers,
                         std::string_view body) {
    const bool framed = std::ranges::any_of(headers, [](const auto& header) {
        return equalsIgnoringCase(header.first, "content-length") ||
               equalsIgnoringCase(header.first, "transfer-encoding");
    });
    if (!framed) {
        headers.emplace_back("content-length", std::to_string(body.size()));
    }
    std::string response =
        "HTTP/1.1 " + std::to_string(status) + " " + std::string(reason) + "\r\n";
    for (const auto& [name, value] : headers) {
        response += name;
        response += ": ";
        response += value;
        response += "\r\n";
    }
    response += "\r\n";
    response += body;
    return response;
}

std::string chunkedBody(std::string_view body, std::size_t chunkSize) {
    if (chunkSize == 0) {
        chunkSize = std::max<std::size_t>(body.size(), 1);
    }
    std::string encoded;
    while (!body.empty()) {
        const std::string_view chunk = body.substr(0, chunkSize);
        body.remove_prefix(chunk.size());
        char size[32];
        const auto end = std::to_chars(size, size + sizeof size, chunk.size(), 16).ptr;
        encoded.append(size, end);
        encoded += "\r\n";
        encoded += chunk;
        encoded += "\r\n";
    }
    encoded += "0\r\n\r\n";
    return encoded;
}

} // namespace tarnvex::test
