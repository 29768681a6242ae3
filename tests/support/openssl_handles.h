#pragma once

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/x509.h>

#include <memory>

namespace tarnvex::test {

/// Frees an OpenSSL object with its own free function.
template <auto Free> struct OpenSslDeleter {
    template <typename T> void operator()(T* object) const { Free(object); }
};

using PkeyPtr = std::unique_ptr<EVP_PKEY, OpenSslDeleter<EVP_PKEY_free>>;
using X509Ptr = std::unique_ptr<X509, OpenSslDeleter<X509_free>>;
using BioPtr = std::unique_ptr<BIO, OpenSslDeleter<BIO_free_all>>;

} // namespace tarnvex::test
