#include "platform/keychain_roots.h"

#include "error.h"

#include <gtest/gtest.h>

#if defined(__APPLE__)
#include "support/openssl_handles.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/objects.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cstddef>
#include <set>
#include <string>
#endif

namespace tarnvex {
namespace {

TEST(KeychainRoots, TrustsTheSystemRootsApplesAndThePublicOnes) {
#if defined(__APPLE__)
    const auto pem = keychainTrustedRootsPem();
    ASSERT_TRUE(pem) << errorName(pem.error());
    const test::BioPtr bio(BIO_new_mem_buf(pem->data(), static_cast<int>(pem->size())));
    std::set<std::string> names;
    std::size_t roots = 0;
    while (const test::X509Ptr root{PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr)}) {
        ++roots;
        char name[256] = {};
        if (X509_NAME_get_text_by_NID(X509_get_subject_name(root.get()), NID_commonName, name,
                                      sizeof name) > 0) {
            names.insert(name);
        }
    }
    // The end of the text queues an error of its own.
    ERR_clear_error();
    EXPECT_GT(roots, 100U);
    EXPECT_TRUE(names.contains("Apple Root CA"));
    EXPECT_TRUE(names.contains("ISRG Root X1"));
#else
    GTEST_SKIP() << "The keychains are macOS's.";
#endif
}

} // namespace
} // namespace tarnvex
