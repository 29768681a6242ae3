#include "support/test_certificates.h"

#include "support/openssl_handles.h"

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstddef>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace tarnvex::test {
namespace {

using PkeyCtxPtr = std::unique_ptr<EVP_PKEY_CTX, OpenSslDeleter<EVP_PKEY_CTX_free>>;
using ExtensionPtr = std::unique_ptr<X509_EXTENSION, OpenSslDeleter<X509_EXTENSION_free>>;
using BignumPtr = std::unique_ptr<BIGNUM, OpenSslDeleter<BN_free>>;

constexpr long secondsPerDay = 24L * 60 * 60;

[[noreturn]] void fail(const char* what) {
    throwOpenSslError(std::string("test certificates: ") + what);
}

PkeyPtr makeEcKey() {
    PkeyCtxPtr context(EVP_PKEY_CTX_new_from_name(nullptr, "EC", nullptr));
    if (!context || EVP_PKEY_keygen_init(context.get()) <= 0 ||
        EVP_PKEY_CTX_set_group_name(context.get(), "P-256") <= 0) {
        fail("cannot set up EC key generation");
    }
    EVP_PKEY* key = nullptr;
    if (EVP_PKEY_generate(context.get(), &key) <= 0) {
        fail("cannot generate EC key");
    }
    return PkeyPtr(key);
}

void addNameEntry(X509_NAME* name, const char* field, std::string_view value) {
    const std::string text(value);
    if (X509_NAME_add_entry_by_txt(name, field, MBSTRING_UTF8,
                                   reinterpret_cast<const unsigned char*>(text.c_str()), -1, -1,
                                   0) != 1) {
        fail("cannot build certificate name");
    }
}

void addExtension(X509* certificate, X509* issuer, int nid, const std::string& value) {
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer, certificate, nullptr, nullptr, 0);
    ExtensionPtr extension(X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str()));
    if (!extension || X509_add_ext(certificate, extension.get(), -1) != 1) {
        fail("cannot add certificate extension");
    }
}

/// Everything the certificates share; the caller adds extensions and signs. Valid from
/// `firstDay` to `lastDay`, counted in days from now.
X509Ptr startCertificate(EVP_PKEY* subjectKey, std::string_view commonName, long firstDay,
                         long lastDay) {
    X509Ptr certificate(X509_new());
    if (!certificate || X509_set_version(certificate.get(), X509_VERSION_3) != 1) {
        fail("cannot create certificate");
    }
    // Random serials keep clients that cache by issuer and serial from mixing up runs.
    BignumPtr serial(BN_new());
    if (!serial || BN_rand(serial.get(), 127, BN_RAND_TOP_ANY, BN_RAND_BOTTOM_ANY) != 1 ||
        BN_to_ASN1_INTEGER(serial.get(), X509_get_serialNumber(certificate.get())) == nullptr) {
        fail("cannot set serial number");
    }
    if (X509_gmtime_adj(X509_getm_notBefore(certificate.get()), firstDay * secondsPerDay) ==
            nullptr ||
        X509_gmtime_adj(X509_getm_notAfter(certificate.get()), lastDay * secondsPerDay) ==
            nullptr) {
        fail("cannot set validity");
    }
    X509_NAME* subject = X509_get_subject_name(certificate.get());
    addNameEntry(subject, "O", "tarnvex tests");
    addNameEntry(subject, "CN", commonName);
    if (X509_set_pubkey(certificate.get(), subjectKey) != 1) {
        fail("cannot set public key");
    }
    return certificate;
}

void sign(X509* certificate, EVP_PKEY* issuerKey) {
    if (X509_sign(certificate, issuerKey, EVP_sha256()) <= 0) {
        fail("cannot sign certificate");
    }
}

template <typename Write> std::string toPem(Write write) {
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || !write(bio.get())) {
        fail("cannot write PEM");
    }
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return std::string(data, static_cast<std::size_t>(size));
}

std::string certificatePem(X509* certificate) {
    return toPem([&](BIO* bio) { return PEM_write_bio_X509(bio, certificate) == 1; });
}

struct Issued {
    PkeyPtr key;
    X509Ptr certificate;
};

/// A certificate with a key of its own, signed by `issuer` (by itself when there is none), with
/// `extensions` and the key identifiers. Starting a day back tolerates clock skew between the
/// test and the client.
Issued issue(std::string_view commonName, const Issued* issuer,
             std::initializer_list<std::pair<int, std::string>> extensions, long firstDay = -1,
             long lastDay = 29) {
    Issued issued{.key = makeEcKey(), .certificate = nullptr};
    issued.certificate = startCertificate(issued.key.get(), commonName, firstDay, lastDay);
    X509* certificate = issued.certificate.get();
    const Issued& signer = issuer != nullptr ? *issuer : issued;
    if (X509_set_issuer_name(certificate, X509_get_subject_name(signer.certificate.get())) != 1) {
        fail("cannot set issuer");
    }
    for (const auto& [nid, value] : extensions) {
        addExtension(certificate, signer.certificate.get(), nid, value);
    }
    addExtension(certificate, signer.certificate.get(), NID_subject_key_identifier, "hash");
    addExtension(certificate, signer.certificate.get(), NID_authority_key_identifier,
                 "keyid:always");
    sign(certificate, signer.key.get());
    return issued;
}

} // namespace

TestCertificates makeTestCertificates(std::string_view hostName, bool serverExpired) {
    const Issued ca = issue("tarnvex test CA", nullptr,
                            {{NID_basic_constraints, "critical,CA:TRUE"},
                             {NID_key_usage, "critical,keyCertSign,cRLSign"}});
    const Issued intermediate = issue("tarnvex test intermediate", &ca,
                                      {{NID_basic_constraints, "critical,CA:TRUE,pathlen:0"},
                                       {NID_key_usage, "critical,keyCertSign,cRLSign"}});
    // An expired one was valid from a week back until yesterday.
    const Issued server =
        issue(hostName, &intermediate,
              {{NID_basic_constraints, "critical,CA:FALSE"},
               {NID_key_usage, "critical,digitalSignature"},
               {NID_ext_key_usage, "serverAuth"},
               {NID_subject_alt_name, "DNS:" + std::string(hostName) + ",IP:127.0.0.1"}},
              serverExpired ? -7 : -1, serverExpired ? -1 : 29);

    TestCertificates result;
    result.caCertificatePem = certificatePem(ca.certificate.get());
    result.intermediateCertificatePem = certificatePem(intermediate.certificate.get());
    result.serverCertificatePem = certificatePem(server.certificate.get());
    result.serverKeyPem = toPem([&](BIO* bio) {
        return PEM_write_bio_PrivateKey(bio, server.key.get(), nullptr, nullptr, 0, nullptr,
                                        nullptr) == 1;
    });
    return result;
}

std::vector<std::vector<std::byte>> derCertificates(std::string_view pem) {
    BioPtr bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
    if (!bio) {
        fail("cannot read PEM");
    }
    std::vector<std::vector<std::byte>> chain;
    while (X509Ptr certificate{PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)}) {
        unsigned char* der = nullptr;
        const int length = i2d_X509(certificate.get(), &der);
        if (length <= 0) {
            fail("cannot write DER");
        }
        const auto* bytes = reinterpret_cast<const std::byte*>(der);
        chain.emplace_back(bytes, bytes + length);
        OPENSSL_free(der);
    }
    // The loop ends on the end of the text, which OpenSSL queues as an error.
    ERR_clear_error();
    return chain;
}

} // namespace tarnvex::test
