#include "remote/connection_certificates.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>

namespace tarnvex {

namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

constexpr std::string_view pemBegin = "-----BEGIN CERTIFICATE-----";
constexpr std::string_view pemEnd = "-----END CERTIFICATE-----";

/// The value of a base64 digit; -1 for any other character.
int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    return c == '+' ? 62 : c == '/' ? 63 : -1;
}

/// The DER inside one PEM certificate; none when it holds anything but base64 in lines, padded
/// at its end only.
std::optional<Certificate> derOfPem(std::string_view pem) {
    const auto begin = pem.find(pemBegin);
    const auto end = pem.find(pemEnd);
    if (begin == std::string_view::npos || end == std::string_view::npos || end < begin) {
        return std::nullopt;
    }
    const std::string_view text =
        pem.substr(begin + pemBegin.size(), end - begin - pemBegin.size());
    Certificate der;
    std::uint32_t bits = 0;
    int bitCount = 0;
    std::size_t symbols = 0;
    std::size_t padding = 0;
    for (const char c : text) {
        if (c == '\n' || c == '\r') {
            continue;
        }
        if (c == '=') {
            ++padding;
            continue;
        }
        const int value = base64Value(c);
        if (value < 0 || padding > 0) {
            return std::nullopt;
        }
        ++symbols;
        bits = (bits << 6) | static_cast<std::uint32_t>(value);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            der.push_back(static_cast<std::byte>((bits >> bitCount) & 0xff));
        }
    }
    // What is left over must be the zero bits that the padding stands for.
    if ((symbols + padding) % 4 != 0 || padding > 2 || bitCount >= 6 ||
        (bits & ((1u << bitCount) - 1)) != 0 || der.empty()) {
        return std::nullopt;
    }
    return der;
}

} // namespace

std::string connectionHost(CURL* curl) {
    char* effective = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_EFFECTIVE_URL, &effective) != CURLE_OK ||
        effective == nullptr) {
        return {};
    }
    const std::unique_ptr<CURLU, UrlDeleter> url(curl_url());
    char* host = nullptr;
    if (!url || curl_url_set(url.get(), CURLUPART_URL, effective, 0) != CURLUE_OK ||
        curl_url_get(url.get(), CURLUPART_HOST, &host, 0) != CURLUE_OK) {
        return {};
    }
    std::string name(host);
    curl_free(host);
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']') {
        name = name.substr(1, name.size() - 2);
    }
    return name;
}

CertificateChain connectionChain(CURL* curl) {
    curl_certinfo* info = nullptr;
    if (curl_easy_getinfo(curl, CURLINFO_CERTINFO, &info) != CURLE_OK || info == nullptr ||
        info->num_of_certs <= 0) {
        return {};
    }
    CertificateChain chain;
    for (int i = 0; i < info->num_of_certs; ++i) {
        std::optional<Certificate> der;
        for (const curl_slist* item = info->certinfo[i]; item != nullptr && !der;
             item = item->next) {
            const std::string_view field(item->data);
            if (field.starts_with("Cert:")) {
                der = derOfPem(field.substr(5));
            }
        }
        if (!der) {
            return {};
        }
        chain.push_back(std::move(*der));
    }
    return chain;
}

} // namespace tarnvex
