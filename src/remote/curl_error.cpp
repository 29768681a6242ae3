#include "remote/curl_error.h"

#include "remote/header_text.h"

#include <cerrno>

namespace tarnvex {

namespace {

long socketErrno(CURL* handle) {
    long value = 0;
    if (curl_easy_getinfo(handle, CURLINFO_OS_ERRNO, &value) != CURLE_OK) {
        return 0;
    }
    return value;
}

bool lastUrlIsHttps(CURL* handle) {
    const char* url = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK || url == nullptr) {
        return true;
    }
    return startsWithIgnoringCase(url, "https:");
}

} // namespace

Error errorFromCurl(CURLcode result, CURL* handle) {
    // Only https URLs are ever handed over, so a failure on the way to any other is a redirect
    // that was refused.
    if (!lastUrlIsHttps(handle)) {
        return Error::InsecureRedirect;
    }
    switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
        return Error::UnknownHostName;
    case CURLE_COULDNT_CONNECT:
        return socketErrno(handle) == ETIMEDOUT ? Error::ConnectionTimedOut
                                                : Error::ConnectionRefused;
    case CURLE_OPERATION_TIMEDOUT:
        return Error::ConnectionTimedOut;
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        return Error::TlsCertificateNotTrusted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CLIENTCERT:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_USE_SSL_FAILED:
        return Error::TlsFailure;
    case CURLE_TOO_MANY_REDIRECTS:
        return Error::TooManyHttpRedirects;
    case CURLE_UNSUPPORTED_PROTOCOL: // a reply that is no HTTP, or no status code
    case CURLE_URL_MALFORMAT:        // a redirect location that is no URL
    case CURLE_WEIRD_SERVER_REPLY:
        return Error::HttpHeadersInvalid;
    case CURLE_GOT_NOTHING:
        return Error::EndOfStream;
    case CURLE_PARTIAL_FILE:
        return Error::IncompleteDownload;
    case CURLE_SEND_ERROR:
        return Error::ConnectionResetByPeer;
    case CURLE_RECV_ERROR:
        // Closing after a reset can leave EPIPE, from the farewell that could not be sent.
        switch (socketErrno(handle)) {
        case ECONNRESET:
        case EPIPE:
            return Error::ConnectionResetByPeer;
        case ETIMEDOUT:
            return Error::ConnectionTimedOut;
        default:
            return Error::HttpClientError;
        }
    case CURLE_OUT_OF_MEMORY:
        return Error::OutOfMemory;
    default:
        return Error::HttpClientError;
    }
}

} // namespace tarnvex
