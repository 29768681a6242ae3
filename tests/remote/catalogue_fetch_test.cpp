#include "remote/catalogue_fetch.h"

#include "support/compression.h"
#include "support/fails_with.h"
#include "support/https_server.h"
#include "support/stderr_capture.h"
#include "support/trusted_server.h"

#include <gtest/gtest.h>

namespace tarnvex {
namespace {

using test::compressed;
using test::Connection;
using test::FailsWith;
using test::HttpRequest;
using test::httpResponse;
using test::HttpsServer;
using test::StderrCapture;

const std::string checking = "info: Checking for Minecraft server instances on remote...\n";

const std::string catalogue =
    R"([{"server": "Gable Fields", "version": "1.21.1", "loader": "fabric", )"
    R"("loaderVersion": "0.16.5", "address": "gable.example.org"}])";

/// Serves `response` at /servers; every other path redirects there.
class CatalogueService {
public:
    explicit CatalogueService(std::string response)
        : server_([response = std::move(response)](const HttpRequest& request,
                                                   Connection& connection) {
              connection.write(request.target == "/servers"
                                   ? response
                                   : httpResponse(302, "Found", {{"Location", "/servers"}}, ""));
              // Closing ends a body that falls short of its length.
              connection.close();
          }) {}

    InstallerSettings settings(std::string_view path = "/servers") const {
        return {.catalogueUrl = server_.url(path),
                .downloadUrl = server_.url("/unused"),
                .caFile = server_.caFile()};
    }
    const HttpsServer& server() const { return server_; }

private:
    test::TrustedServer server_;
};

TEST(CatalogueFetch, SendsOnlyTheFixedRequestHead) {
    CatalogueService service(httpResponse(200, "OK", {}, catalogue));
    ASSERT_TRUE(fetchCatalogue(service.settings()));
    const auto requests = service.server().requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].head, "GET /servers HTTP/1.1\r\n"
                                "Host: localhost:" +
                                    std::to_string(service.server().port()) +
                                    "\r\n"
                                    "connection: keep-alive\r\n"
                                    "accept-encoding: application/json\r\n"
                                    "\r\n");
}

TEST(CatalogueFetch, ReturnsTheDecodedBodyOfA200) {
    // Padded with blanks to the decoder's 16 KiB piece, where a stream's end was once missed.
    const std::string padded = catalogue + std::string(16384 - catalogue.size(), ' ');
    const std::pair<std::string, std::string> codings[] = {
        {"", padded},
        {"gzip", compressed("gzip", padded)},
        {"deflate", compressed("deflate", padded)},
        {"zstd", compressed("zstd", padded)},
        {"chunked", test::chunkedBody(padded, 1000)},
    };
    for (const auto& [coding, body] : codings) {
        std::vector<std::pair<std::string, std::string>> headers;
        if (coding == "chunked") {
            headers.emplace_back("Transfer-Encoding", "chunked");
        } else if (!coding.empty()) {
            headers.emplace_back("Content-Encoding", coding);
        }
        CatalogueService service(httpResponse(200, "OK", headers, body));
        StderrCapture stderrText;
        EXPECT_EQ(fetchCatalogue(service.settings()), padded) << coding;
        EXPECT_EQ(stderrText.text(), checking) << coding;
    }
}

TEST(CatalogueFetch, HandsOverAnEmptyBodyAsEmptyText) {
    CatalogueService service(httpResponse(200, "OK", {}, ""));
    EXPECT_EQ(fetchCatalogue(service.settings()), "");
}

TEST(CatalogueFetch, FailsAnyOtherStatusWithItsPhrase) {
    const std::pair<int, std::string_view> statuses[] = {
        {201, "Created"},   {204, "No Content"},        {299, "null"},
        {404, "Not Found"}, {301, "Moved Permanently"}, {503, "Service Unavailable"}};
    for (const auto& [status, phrase] : statuses) {
        CatalogueService service(httpResponse(status, "Anything", {}, status == 204 ? "" : "[]"));
        // Followed redirects leave the URL in the line as it was configured.
        const auto settings = service.settings("/start");
        StderrCapture stderrText;
        EXPECT_THAT(fetchCatalogue(settings), FailsWith(Error::NetworkError)) << status;
        EXPECT_EQ(stderrText.text(), checking + "error: (HTTP " + std::to_string(status) + " " +
                                         std::string(phrase) + ") Failed to GET \"" +
                                         settings.catalogueUrl + "\"\n");
    }
}

TEST(CatalogueFetch, ReadsTheWholeBodyBeforeJudgingTheStatus) {
    const std::string corrupt = "\x1f\x8b\x08\x00 this is no gzip member";
    const std::pair<std::string, Error> responses[] = {
        {httpResponse(404, "Not Found", {{"Content-Encoding", "gzip"}}, corrupt),
         Error::DecompressionFailed},
        {httpResponse(404, "Not Found", {{"Content-Length", "500"}}, "[]"),
         Error::IncompleteDownload},
    };
    for (const auto& [response, error] : responses) {
        CatalogueService service(response);
        StderrCapture stderrText;
        EXPECT_THAT(fetchCatalogue(service.settings()), FailsWith(error));
        EXPECT_EQ(stderrText.text(), checking);
    }
}

TEST(CatalogueFetch, RefusesBodiesItCannotOrWillNotDecode) {
    const std::string bomb = compressed("zstd", std::string(maximumCatalogueSize + 1, ' '));
    const std::pair<std::string, Error> responses[] = {
        {httpResponse(200, "OK", {{"Content-Encoding", "compress"}}, "\x1f\x9d\x90"),
         Error::UnsupportedCompressionMethod},
        {httpResponse(200, "OK", {{"Content-Encoding", "gzip"}}, "\x1f\x8b\x08\x00 garbage"),
         Error::DecompressionFailed},
        {httpResponse(200, "OK", {{"Content-Encoding", "zstd"}}, bomb), Error::CatalogueTooLarge},
    };
    for (const auto& [response, error] : responses) {
        CatalogueService service(response);
        StderrCapture stderrText;
        EXPECT_THAT(fetchCatalogue(service.settings()), FailsWith(error)) << errorName(error);
        EXPECT_EQ(stderrText.text(), checking);
    }
}

TEST(CatalogueFetch, RefusesAnUrlThatIsNotHttpsBeforeAnyRequest) {
    CatalogueService service(httpResponse(200, "OK", {}, catalogue));
    auto settings = service.settings();
    settings.catalogueUrl =
        "http://localhost:" + std::to_string(service.server().port()) + "/servers";
    StderrCapture stderrText;
    EXPECT_THAT(fetchCatalogue(settings), FailsWith(Error::InvalidFormat));
    EXPECT_EQ(stderrText.text(), checking);
    EXPECT_TRUE(service.server().requests().empty());
}

} // namespace
} // namespace tarnvex
