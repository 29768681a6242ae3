#include "remote/catalogue_fetch.h"

#include "console/log.h"
#include "remote/content_decoder.h"
#include "remote/http_client.h"
#include "remote/reason_phrase.h"
#include "remote/url.h"

#include <memory>
#include <string_view>

namespace tarnvex {

namespace {

/// Decodes the body into one buffer as it arrives, whatever the status.
class CatalogueReader final : public ResponseHandler {
public:
    Result<void> onHead(const ResponseHead& head) override {
        status_ = head.status;
        auto decoder = ContentDecoder::forCoding(head.contentEncoding);
        if (!decoder) {
            return std::unexpected(decoder.error());
        }
        decoder_ = std::move(*decoder);
        return {};
    }

    Result<void> onBody(std::span<const std::byte> piece) override {
        return decoder_->decode(piece, body_, maximumCatalogueSize);
    }

    Result<void> finish() { return decoder_->finish(); }
    int status() const { return status_; }
    std::string& body() { return body_; }

private:
    int status_ = 0;
    std::unique_ptr<ContentDecoder> decoder_;
    std::string body_;
};

} // namespace

Result<std::string> fetchCatalogue(const InstallerSettings& settings) {
    logInfo("Checking for Minecraft server instances on remote...");
    if (auto url = parseUrl(settings.catalogueUrl); !url) {
        return std::unexpected(url.error());
    }
    auto client = HttpClient::create(settings);
    if (!client) {
        return std::unexpected(client.error());
    }
    CatalogueReader reader;
    if (auto fetched = client->get(settings.catalogueUrl, "application/json", reader); !fetched) {
        return std::unexpected(fetched.error());
    }
    if (auto decoded = reader.finish(); !decoded) {
        return std::unexpected(decoded.error());
    }
    if (reader.status() != 200) {
        const auto phrase = reasonPhrase(reader.status());
        logError("(HTTP " + std::to_string(reader.status()) + " " +
                 std::string(phrase ? *phrase : "null") + ") Failed to GET \"" +
                 settings.catalogueUrl + "\"");
        return std::unexpected(Error::NetworkError);
    }
    return std::move(reader.body());
}

} // namespace tarnvex
