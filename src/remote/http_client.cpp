// The protocol bit masks are deprecated, but older system libraries know nothing else.
#define CURL_DISABLE_DEPRECATION

#include "remote/http_client.h"

#include "console/log.h"
#include "platform/server_trust.h"
#include "remote/connection_certificates.h"
#include "remote/curl_error.h"
#include "remote/header_text.h"

#include <curl/curl.h>

// The oldest headers this builds with are macOS 12.0's: every option newer than theirs is
// guarded where it is used. (A static analyser that reads no curl header sees no version.)
#if defined(LIBCURL_VERSION_NUM) && LIBCURL_VERSION_NUM < 0x074d00
#error "libcurl's headers must be 7.77.0 or newer"
#endif

#include <algorithm>
#include <array>
#include <chrono>
#include <mutex>
#include <new>
#include <utility>

namespace tarnvex {

namespace {

// The most redirects followed for one request; the next one fails it.
constexpr long maximumRedirects = 3;
constexpr long connectTimeoutSeconds = 30;
// What a callback returns to make libcurl stop the transfer. Headers before curl 7.87 have no name
// for it; any count but the one passed in stops the transfer there too.
#if defined(CURL_WRITEFUNC_ERROR)
constexpr std::size_t abortTransfer = CURL_WRITEFUNC_ERROR;
#else
constexpr std::size_t abortTransfer = 0xFFFFFFFF;
#endif

Result<void> initialiseCurlOnce() {
    static std::once_flag once;
    static CURLcode initialised = CURLE_FAILED_INIT;
    std::call_once(once, [] { initialised = curl_global_init(CURL_GLOBAL_DEFAULT); });
    if (initialised != CURLE_OK) {
        return std::unexpected(initialised == CURLE_OUT_OF_MEMORY ? Error::OutOfMemory
                                                                  : Error::HttpClientError);
    }
    return {};
}

Error setupError(CURLcode result) {
    return result == CURLE_OUT_OF_MEMORY ? Error::OutOfMemory : Error::HttpClientError;
}

struct HeaderListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

Result<HeaderList> requestHeaders(std::string_view acceptEncoding) {
    HeaderList list;
    // "Accept:" with no value removes libcurl's default accept header.
    const std::string lines[] = {"Accept:", "connection: keep-alive",
                                 "accept-encoding: " + std::string(acceptEncoding)};
    for (const std::string& line : lines) {
        curl_slist* extended = curl_slist_append(list.get(), line.c_str());
        if (extended == nullptr) {
            return std::unexpected(Error::OutOfMemory);
        }
        (void)list.release();
        list.reset(extended);
    }
    return list;
}

/// Tells the player which server was not trusted, and why, in one line whatever the reason holds.
void logRefusal(const std::string& host, std::string reason) {
    std::ranges::replace(reason, '\n', ' ');
    std::ranges::replace(reason, '\r', ' ');
    logError("Certificate of " + host + " not trusted: " + reason);
}

/// One GET on the client's handle: has every connection's chain decided before the connection is
/// used, finds the head of the final response and passes it and the body to the handler, keeping
/// the first error.
class Transfer {
public:
    Transfer(CURL* curl, ResponseHandler& handler, const CertificateVerifier& verifier,
             bool decidesAtFirstHeader, std::chrono::seconds stallLimit)
        : curl_(curl), handler_(handler), verifier_(verifier),
          decidesAtFirstHeader_(decidesAtFirstHeader), stallLimit_(stallLimit),
          lastProgress_(std::chrono::steady_clock::now()) {}

#if LIBCURL_VERSION_NUM >= 0x075000
    // libcurl calls this once a connection is made or taken, its handshake done, before each
    // request goes out on it, a followed redirect's too.
    static int beforeRequest(void* self, char*, char*, int, int) {
        return static_cast<Transfer*>(self)->decideConnection() ? CURL_PREREQFUNC_OK
                                                                : CURL_PREREQFUNC_ABORT;
    }
#endif

    // libcurl calls this often while bytes flow and about once a second while none do.
    static int progress(void* self, curl_off_t, curl_off_t received, curl_off_t, curl_off_t sent) {
        auto& transfer = *static_cast<Transfer*>(self);
        const auto now = std::chrono::steady_clock::now();
        if (received + sent != transfer.moved_) {
            transfer.moved_ = received + sent;
            transfer.lastProgress_ = now;
        } else if (now - transfer.lastProgress_ >= transfer.stallLimit_) {
            if (!transfer.error_) {
                transfer.error_ = Error::ConnectionTimedOut;
            }
            return 1;
        }
        return 0;
    }

    static std::size_t headerLine(char* data, std::size_t size, std::size_t count, void* self) {
        auto& transfer = *static_cast<Transfer*>(self);
        const std::string_view line(data, size * count);
        transfer.lastProgress_ = std::chrono::steady_clock::now();
        // Every status line starts a new response: an interim one, a redirect or the final.
        if (line.starts_with("HTTP/")) {
            if (transfer.decidesAtFirstHeader_ && !transfer.decideConnection()) {
                return abortTransfer;
            }
            transfer.contentEncoding_.clear();
            transfer.headEnded_ = false;
        } else if (line == "\r\n" || line == "\n") {
            transfer.headEnded_ = true;
        } else if (startsWithIgnoringCase(line, "content-encoding:")) {
            try {
                if (!transfer.contentEncoding_.empty()) {
                    transfer.contentEncoding_ += ", ";
                }
                transfer.contentEncoding_ += trimHeaderValue(line.substr(17));
            } catch (const std::bad_alloc&) {
                transfer.error_ = Error::OutOfMemory;
                return abortTransfer;
            }
        }
        return line.size();
    }

    // libcurl skips the bodies of the redirects it follows, so the first body byte belongs to
    // the final response, whose head is the last one seen.
    static std::size_t bodyPiece(char* data, std::size_t size, std::size_t count, void* self) {
        auto& transfer = *static_cast<Transfer*>(self);
        const std::size_t length = size * count;
        if (auto delivered = transfer.deliverHead(); !delivered) {
            return abortTransfer;
        }
        if (length == 0) {
            return 0;
        }
        auto taken = transfer.guarded([&] {
            return transfer.handler_.onBody(
                std::span(reinterpret_cast<const std::byte*>(data), length));
        });
        return taken ? length : abortTransfer;
    }

    /// Hands the final head over once; fails unless the connection it came on was decided
    /// trusted, checked again for every piece of the body.
    Result<void> deliverHead() {
        if (!connectionTrusted()) {
            return guarded([&]() -> Result<void> {
                return refuse(connectionHost(curl_), "its connection was never decided");
            });
        }
        if (headDelivered_) {
            return {};
        }
        headDelivered_ = true;
        ResponseHead head;
        long status = 0;
        curl_off_t length = -1;
        curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
        curl_easy_getinfo(curl_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
        head.status = static_cast<int>(status);
        if (length >= 0) {
            head.contentLength = static_cast<std::uint64_t>(length);
        }
        head.contentEncoding = std::move(contentEncoding_);
        return guarded([&] { return handler_.onHead(head); });
    }

    /// Whether the last head seen reached its blank line.
    bool headEnded() const { return headEnded_; }

    /// The handler's error, or the one a callback ran into, if any.
    std::optional<Error> error() const { return error_; }

private:
    /// Decides the chain of the connection the next (or current) request goes over; a missing or
    /// empty chain, such as libcurl reports for a connection made in an earlier transfer or a
    /// resumed TLS session, is refused.
    bool decideConnection() {
        trusted_ = false;
        long connections = 0;
        curl_easy_getinfo(curl_, CURLINFO_NUM_CONNECTS, &connections);
        const auto decided = guarded([&]() -> Result<void> {
            const std::string host = connectionHost(curl_);
            const CertificateChain chain = connectionChain(curl_);
            if (chain.empty()) {
                return refuse(host, "the connection reported no certificate chain");
            }
            if (CertificateVerdict verdict = verifier_(host, chain); !verdict) {
                return refuse(host, verdict.error());
            }
            return {};
        });
        trusted_ = decided.has_value();
        decidedConnections_ = connections;
        return trusted_;
    }

    /// Whether the response comes over the connection last decided, and that one was trusted.
    bool connectionTrusted() const {
        long connections = 0;
        curl_easy_getinfo(curl_, CURLINFO_NUM_CONNECTS, &connections);
        return trusted_ && connections == decidedConnections_;
    }

    static Result<void> refuse(const std::string& host, std::string reason) {
        logRefusal(host, std::move(reason));
        return std::unexpected(Error::TlsCertificateNotTrusted);
    }

    // No exception may unwind through libcurl.
    template <typename Call> Result<void> guarded(Call call) {
        Result<void> result = [&call]() -> Result<void> {
            try {
                return call();
            } catch (const std::bad_alloc&) {
                return std::unexpected(Error::OutOfMemory);
            } catch (...) {
                return std::unexpected(Error::Unexpected);
            }
        }();
        if (!result && !error_) {
            error_ = result.error();
        }
        return result;
    }

    CURL* curl_;
    ResponseHandler& handler_;
    const CertificateVerifier& verifier_;
    bool decidesAtFirstHeader_;
    bool trusted_ = false;
    long decidedConnections_ = 0;
    std::chrono::seconds stallLimit_;
    std::chrono::steady_clock::time_point lastProgress_;
    curl_off_t moved_ = 0;
    std::string contentEncoding_;
    bool headDelivered_ = false;
    bool headEnded_ = false;
    std::optional<Error> error_;
};

/// Has each connection decided before its request is sent, where libcurl can call back then
/// (7.80 and later) and `atFirstHeader` does not say otherwise; tells whether it can.
bool decideBeforeRequests([[maybe_unused]] CURL* curl, [[maybe_unused]] bool atFirstHeader,
                          [[maybe_unused]] CURLcode& result) {
#if LIBCURL_VERSION_NUM >= 0x075000
    if (!atFirstHeader && result == CURLE_OK) {
        const CURLcode set =
            curl_easy_setopt(curl, CURLOPT_PREREQFUNCTION, &Transfer::beforeRequest);
        if (set != CURLE_UNKNOWN_OPTION) {
            result = set;
            return true;
        }
    }
#endif
    // macOS 12's libcurl (7.77, 7.79) has no such callback.
    return false;
}

/// Allows https alone, through the protocol names where libcurl knows them, else (or when
/// `bitMasksOnly`) through the bit masks; `usedBitMasks` tells which.
CURLcode restrictToHttps(CURL* curl, [[maybe_unused]] bool bitMasksOnly, bool& usedBitMasks) {
    usedBitMasks = false;
    // Headers before 7.85 (macOS 12's SDK has 7.77 and 7.79) do not name these options.
#if LIBCURL_VERSION_NUM >= 0x075500
    if (!bitMasksOnly) {
        const CURLcode named = curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "https");
        if (named != CURLE_UNKNOWN_OPTION) {
            return named != CURLE_OK ? named
                                     : curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "https");
        }
    }
#endif
    // A system libcurl older than 7.85 (macOS 12's) knows only the bit masks.
    usedBitMasks = true;
    const CURLcode masked =
        curl_easy_setopt(curl, CURLOPT_PROTOCOLS, static_cast<long>(CURLPROTO_HTTPS));
    return masked != CURLE_OK ? masked
                              : curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS,
                                                 static_cast<long>(CURLPROTO_HTTPS));
}

} // namespace

struct HttpClient::Handle {
    Handle(CURL* handle, std::chrono::seconds stall, CertificateVerifier chainVerifier)
        : curl(handle), stallLimit(stall), verifier(std::move(chainVerifier)) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { curl_easy_cleanup(curl); }

    CURL* curl;
    std::chrono::seconds stallLimit;
    CertificateVerifier verifier;
    bool protocolBitMasks = false;
    bool decidesBeforeRequests = false;
};

HttpClient::HttpClient(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
HttpClient::HttpClient(HttpClient&& other) noexcept = default;
HttpClient& HttpClient::operator=(HttpClient&& other) noexcept = default;
HttpClient::~HttpClient() = default;

bool HttpClient::restrictsProtocolsWithBitMasks() const {
    return handle_->protocolBitMasks;
}

bool HttpClient::decidesTrustBeforeRequests() const {
    return handle_->decidesBeforeRequests;
}

Result<HttpClient> HttpClient::create(const InstallerSettings& settings) {
    if (auto initialised = initialiseCurlOnce(); !initialised) {
        return std::unexpected(initialised.error());
    }
    CURL* curl = curl_easy_init();
    if (curl == nullptr) {
        return std::unexpected(Error::OutOfMemory);
    }
    ServerTrustSetup trust = platformServerTrust(!settings.caFile.empty());
    if (settings.certificateVerifier) {
        trust.verifier = settings.certificateVerifier;
    }
    std::unique_ptr<Handle> handle(new (std::nothrow) Handle(
        curl, std::chrono::seconds(settings.stallSeconds), std::move(trust.verifier)));
    if (!handle) {
        curl_easy_cleanup(curl);
        return std::unexpected(Error::OutOfMemory);
    }

    CURLcode result = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
        if (result == CURLE_OK) {
            result = curl_easy_setopt(curl, option, value);
        }
    };
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
    // https only, for the URL and for every redirect: a downgrade would let anyone on the path
    // replace what is downloaded.
    if (result == CURLE_OK) {
        result = restrictToHttps(curl, settings.protocolBitMasks, handle->protocolBitMasks);
    }
    // A proxy named by a variable such as https_proxy or ALL_PROXY would see every request.
    set(CURLOPT_PROXY, "");
    set(CURLOPT_FOLLOWLOCATION, 1L);
    set(CURLOPT_MAXREDIRS, maximumRedirects);
    set(CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
    // On macOS Apple's own evaluation decides the chain, as it does Safari's: LibreSSL's check
    // against /etc/ssl/cert.pem knows nothing of the Mac's trust settings. The host name check
    // stays on everywhere, beside the verifier's own.
    set(CURLOPT_SSL_VERIFYPEER, trust.libraryChecksChain ? 1L : 0L);
    set(CURLOPT_SSL_VERIFYHOST, 2L);
    // A CA file (the testbed's) replaces the system's roots.
    if (!settings.caFile.empty()) {
        set(CURLOPT_CAINFO, settings.caFile.c_str());
        set(CURLOPT_CAPATH, static_cast<const char*>(nullptr));
    }
    // The chain each handshake brought, for the verifier. libcurl reports it only for a
    // connection made in the current transfer and not for a resumed TLS session, so neither a
    // kept connection nor a resumed session could be decided: there are none (a run makes two
    // requests).
    set(CURLOPT_CERTINFO, 1L);
    set(CURLOPT_FORBID_REUSE, 1L);
    set(CURLOPT_SSL_SESSIONID_CACHE, 0L);
    handle->decidesBeforeRequests =
        decideBeforeRequests(curl, settings.trustDecidedAtFirstHeader, result);
    set(CURLOPT_CONNECTTIMEOUT, connectTimeoutSeconds);
    // The stall limit is watched by the progress callback: libcurl's low-speed limit averages
    // over seconds, so it would give up late, and on a trickle that is still arriving.
    set(CURLOPT_NOPROGRESS, 0L);
    set(CURLOPT_XFERINFOFUNCTION, &Transfer::progress);
    // Content codings are undone by our own decoder, the same on every platform.
    set(CURLOPT_HTTP_CONTENT_DECODING, 0L);
    set(CURLOPT_HEADERFUNCTION, &Transfer::headerLine);
    set(CURLOPT_WRITEFUNCTION, &Transfer::bodyPiece);
    if (result != CURLE_OK) {
        return std::unexpected(setupError(result));
    }
    return HttpClient(std::move(handle));
}

Result<void> HttpClient::get(const std::string& url, std::string_view acceptEncoding,
                             ResponseHandler& handler, std::size_t receiveBufferSize) {
    CURL* curl = handle_->curl;
    auto headers = requestHeaders(acceptEncoding);
    if (!headers) {
        return std::unexpected(headers.error());
    }
    Transfer transfer(curl, handler, handle_->verifier, !handle_->decidesBeforeRequests,
                      handle_->stallLimit);
    CURLcode result = CURLE_OK;
    auto set = [&](CURLoption option, auto value) {
        if (result == CURLE_OK) {
            result = curl_easy_setopt(curl, option, value);
        }
    };
    set(CURLOPT_URL, url.c_str());
    set(CURLOPT_HTTPGET, 1L);
    set(CURLOPT_HTTPHEADER, headers->get());
    set(CURLOPT_BUFFERSIZE, static_cast<long>(receiveBufferSize));
    set(CURLOPT_HEADERDATA, static_cast<void*>(&transfer));
    set(CURLOPT_WRITEDATA, static_cast<void*>(&transfer));
    set(CURLOPT_XFERINFODATA, static_cast<void*>(&transfer));
    std::array<char, CURL_ERROR_SIZE> failure{};
    set(CURLOPT_ERRORBUFFER, failure.data());
#if LIBCURL_VERSION_NUM >= 0x075000
    if (handle_->decidesBeforeRequests) {
        set(CURLOPT_PREREQDATA, static_cast<void*>(&transfer));
    }
#endif
    const bool ready = result == CURLE_OK;
    if (ready) {
        result = curl_easy_perform(curl);
    }
    // The handle outlives this call's header list and transfer.
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, static_cast<curl_slist*>(nullptr));
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, static_cast<void*>(nullptr));
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, static_cast<void*>(nullptr));
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, static_cast<void*>(nullptr));
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, static_cast<char*>(nullptr));
#if LIBCURL_VERSION_NUM >= 0x075000
    if (handle_->decidesBeforeRequests) {
        curl_easy_setopt(curl, CURLOPT_PREREQDATA, static_cast<void*>(nullptr));
    }
#endif

    if (!ready) {
        return std::unexpected(setupError(result));
    }
    if (const auto failed = transfer.error()) {
        return std::unexpected(*failed);
    }
    // libcurl takes a head cut off after its status line for a whole one with an empty body.
    if ((result == CURLE_OK || result == CURLE_PARTIAL_FILE) && !transfer.headEnded()) {
        return std::unexpected(Error::HttpHeadersInvalid);
    }
    if (result == CURLE_PARTIAL_FILE) {
        // The final head did arrive: the handler learns of the response before its end is
        // reported short.
        if (auto delivered = transfer.deliverHead(); !delivered) {
            return delivered;
        }
        return std::unexpected(Error::IncompleteDownload);
    }
    if (result != CURLE_OK) {
        const Error error = errorFromCurl(result, curl);
        // libcurl's own check (the host name, or the chain where libcurl judges it) refused the
        // server before the verifier was asked.
        if (error == Error::TlsCertificateNotTrusted) {
            logRefusal(connectionHost(curl),
                       failure[0] != '\0' ? failure.data() : curl_easy_strerror(result));
        }
        return std::unexpected(error);
    }
    return transfer.deliverHead();
}

} // namespace tarnvex
