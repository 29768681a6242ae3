#pragma once

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace tarnvex::test {

/// Frees an OpenSSL object with its own free function.
template <auto Free> struct OpenSslDeleter {
    template <typename T> void operator()(T* object) const { Free(object); }
};

using PkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslDeleter<X509_free>>;
using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO_free_all>>;

/// Throws `what` with the oldest error OpenSSL has queued, and empties the queue.
[[noreturn]] inline void throwOpenSslError(std::string what) {
    if (const unsigned long code = ERR_get_error(); code != 0) {
        char text[256];
        ERR_error_string_n(code, text, sizeof text);
        what += ": ";
        what += text;
    }
    ERR_clear_error();
    throw std::runtime_error(what);
}

} // namespace tarnvex::test
