#include "remote/http_client.h"

#include "support/fails_with.h"
#include "support/https_server.h"
#include "support/refusing_port.h"
#include "support/stderr_capture.h"
#include "support/temp_home.h"
#include "support/test_certificates.h"
#include "support/trusted_server.h"

#include <gtest/gtest.h>

#include <map>

namespace tarnvex {
namespace {

using namespace std::chrono_literals;
using test::Connection;
using test::FailsWith;
using test::Handler;
using test::HttpRequest;
using test::httpResponse;
using test::TrustedServer;

// Where each connection is decided: before its request (libcurl 7.80 on) or at the first line of
// its response (macOS 12's libcurl).
constexpr bool decidedAtFirstHeader[] = {false, true};

/// Settings that trust `server`, as the testbed would be given them.
InstallerSettings trusting(const TrustedServer& server, long stallSeconds = 60) {
    InstallerSettings settings;
    settings.caFile = server.caFile();
    settings.stallSeconds = stallSeconds;
    return settings;
}

struct Decision {
    std::string host;
    CertificateChain chain;
    bool operator==(const Decision&) const = default;
};

/// A verifier that notes what it was handed, and refuses with `refusal` unless that is empty.
CertificateVerifier noting(std::vector<Decision>& decisions, std::string refusal = {}) {
    return [&decisions, refusal](std::string_view host,
                                 const CertificateChain& chain) -> CertificateVerdict {
        decisions.push_back({std::string(host), chain});
        if (!refusal.empty()) {
            return std::unexpected(refusal);
        }
        return {};
    };
}

class Recorder final : public ResponseHandler {
public:
    Result<void> onHead(const ResponseHead& head) override {
        heads.push_back(head);
        return {};
    }
    Result<void> onBody(std::span<const std::byte> piece) override {
        bodyBeforeHead = bodyBeforeHead || heads.empty();
        body.append(reinterpret_cast<const char*>(piece.data()), piece.size());
        return {};
    }

    std::vector<ResponseHead> heads;
    std::string body;
    bool bodyBeforeHead = false;
};

Result<void> fetch(const InstallerSettings& settings, const std::string& url, Recorder& recorder) {
    auto client = HttpClient::create(settings);
    if (!client) {
        return std::unexpected(client.error());
    }
    return client->get(url, "application/json", recorder);
}

/// A server that answers each path with fixed bytes, then closes if the bytes are followed by
/// nothing else to say.
Handler answering(std::map<std::string, std::string> responses) {
    return [responses = std::move(responses)](const HttpRequest& request, Connection& connection) {
        const auto found = responses.find(request.target);
        connection.write(found != responses.end()
                             ? found->second
                             : httpResponse(404, "Not Found", {}, "no such path"));
    };
}

std::string bodyOf(std::size_t size) {
    std::string body;
    for (std::size_t i = 0; i < size; ++i) {
        body.push_back(static_cast<char>('a' + i % 23));
    }
    return body;
}

TEST(HttpClient, HandsOverTheFinalHeadOnceThenTheBodyAsSent) {
    const std::string large = bodyOf(300000);
    struct Case {
        std::string response;
        int status;
        std::optional<std::uint64_t> contentLength;
        std::string_view contentEncoding;
        std::string body;
    };
    const std::vector<Case> cases = {
        {httpResponse(200, "OK", {}, "hello"), 200, 5, "", "hello"},
        {httpResponse(201, "Created", {{"Content-Encoding", " gzip "}}, "\x1f\x8b not really"), 201,
         13, "gzip", "\x1f\x8b not really"},
        {httpResponse(200, "OK", {{"Content-Encoding", "gzip"}, {"content-encoding", "zstd"}}, ""),
         200, 0, "gzip, zstd", ""},
        {httpResponse(204, "No Content", {}, ""), 204, 0, "", ""},
        {httpResponse(299, "Whatever", {}, large), 299, large.size(), "", large},
        {httpResponse(200, "OK", {{"Transfer-Encoding", "chunked"}}, test::chunkedBody(large, 777)),
         200, std::nullopt, "", large},
        {"HTTP/1.1 103 Early Hints\r\nContent-Encoding: zstd\r\n\r\n" +
             httpResponse(200, "OK", {}, "after a hint"),
         200, 12, "", "after a hint"},
    };
    std::map<std::string, std::string> responses;
    for (std::size_t i = 0; i < cases.size(); ++i) {
        responses["/" + std::to_string(i)] = cases[i].response;
    }
    const TrustedServer server(answering(responses));

    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        Recorder recorder;
        ASSERT_TRUE(fetch(trusting(server), server.url("/" + std::to_string(i)), recorder))
            << "case " << i;
        ASSERT_EQ(recorder.heads.size(), 1u) << "case " << i;
        EXPECT_FALSE(recorder.bodyBeforeHead) << "case " << i;
        EXPECT_EQ(recorder.heads[0].status, c.status) << "case " << i;
        EXPECT_EQ(recorder.heads[0].contentLength, c.contentLength) << "case " << i;
        EXPECT_EQ(recorder.heads[0].contentEncoding, c.contentEncoding) << "case " << i;
        EXPECT_EQ(recorder.body, c.body) << "case " << i;
    }
}

TEST(HttpClient, DecidesEveryRequestOnAConnectionOfItsOwn) {
    const TrustedServer server(answering({{"/servers", httpResponse(200, "OK", {}, "again")}}));
    const Decision served{"localhost", test::derCertificates(server.chainPem())};
    for (const bool atFirstHeader : decidedAtFirstHeader) {
        std::vector<Decision> decisions;
        auto settings = trusting(server);
        settings.certificateVerifier = noting(decisions);
        settings.trustDecidedAtFirstHeader = atFirstHeader;
        auto client = HttpClient::create(settings);
        ASSERT_TRUE(client);
        EXPECT_EQ(client->decidesTrustBeforeRequests(), !atFirstHeader);
        for (int i = 0; i < 3; ++i) {
            Recorder recorder;
            ASSERT_TRUE(client->get(server.url("/servers"), "application/json", recorder));
            EXPECT_EQ(recorder.body, "again");
        }
        // libcurl would report no chain for a kept connection.
        EXPECT_EQ(decisions, std::vector<Decision>(3, served));
    }
    EXPECT_EQ(server.connections(), 6u);
}

TEST(HttpClient, HandsTheVerifierEachServersChainAsSentAlsoAfterARedirect) {
    const TrustedServer second(answering({{"/servers", httpResponse(200, "OK", {}, "[]")}}));
    const TrustedServer first(answering(
        {{"/servers", httpResponse(302, "Found",
                                   {{"Location", "https://127.0.0.1:" +
                                                     std::to_string(second.port()) + "/servers"}},
                                   "")}}));
    const test::TempDirectory roots;
    test::writeFile(roots.path() + "/both.pem",
                    test::readFile(first.caFile()) + test::readFile(second.caFile()));
    for (const bool atFirstHeader : decidedAtFirstHeader) {
        std::vector<Decision> decisions;
        auto settings = trusting(first);
        settings.caFile = roots.path() + "/both.pem";
        settings.certificateVerifier = noting(decisions);
        settings.trustDecidedAtFirstHeader = atFirstHeader;
        Recorder recorder;
        ASSERT_TRUE(fetch(settings, first.url("/servers"), recorder));
        EXPECT_EQ(recorder.body, "[]");
        // Each the leaf, then its intermediate.
        EXPECT_EQ(decisions,
                  (std::vector<Decision>{{"localhost", test::derCertificates(first.chainPem())},
                                         {"127.0.0.1", test::derCertificates(second.chainPem())}}));
    }
}

TEST(HttpClient, ARefusedChainEndsTheRequestBeforeAnyOfTheResponse) {
    const TrustedServer server(answering({{"/servers", httpResponse(200, "OK", {}, "[]")}}));
    for (const bool atFirstHeader : decidedAtFirstHeader) {
        std::vector<Decision> decisions;
        auto settings = trusting(server);
        settings.certificateVerifier = noting(decisions, "not on\nthis Mac");
        settings.trustDecidedAtFirstHeader = atFirstHeader;
        Recorder recorder;
        const test::StderrCapture capture;
        EXPECT_THAT(fetch(settings, server.url("/servers"), recorder),
                    FailsWith(Error::TlsCertificateNotTrusted));
        EXPECT_EQ(capture.text(), "error: Certificate of localhost not trusted: not on this Mac\n");
        EXPECT_TRUE(recorder.heads.empty());
        EXPECT_EQ(recorder.body, "");
    }
    // At the first header line the request has gone out; before the request nothing has.
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST(HttpClient, FollowsThreeRedirectsAndRefusesAFourth) {
    std::string origin;
    const TrustedServer server([&origin](const HttpRequest& request, Connection& connection) {
        const int hopsLeft = std::stoi(request.target.substr(std::string_view("/hop/").size()));
        if (hopsLeft == 0) {
            connection.write(httpResponse(200, "OK", {}, "arrived"));
            return;
        }
        static constexpr std::pair<int, const char*> redirects[] = {{301, "Moved Permanently"},
                                                                    {302, "Found"},
                                                                    {307, "Temporary Redirect"},
                                                                    {308, "Permanent Redirect"}};
        const auto [status, reason] = redirects[hopsLeft % 4];
        // Absolute and relative locations alike; the redirect's own coding must not stick.
        const std::string next = "/hop/" + std::to_string(hopsLeft - 1);
        connection.write(httpResponse(
            status, reason,
            {{"Location", hopsLeft % 2 == 0 ? origin + next : next}, {"Content-Encoding", "zstd"}},
            "moved along"));
    });
    origin = server.url("");

    Recorder followed;
    ASSERT_TRUE(fetch(trusting(server), server.url("/hop/3"), followed));
    ASSERT_EQ(followed.heads.size(), 1u);
    EXPECT_EQ(followed.heads[0].status, 200);
    EXPECT_EQ(followed.heads[0].contentEncoding, "");
    EXPECT_EQ(followed.body, "arrived");
    EXPECT_EQ(server.requests().size(), 4u);

    Recorder refused;
    EXPECT_THAT(fetch(trusting(server), server.url("/hop/4"), refused),
                FailsWith(Error::TooManyHttpRedirects));
    EXPECT_TRUE(refused.heads.empty());
    EXPECT_EQ(refused.body, "");
}

TEST(HttpClient, RefusesARedirectOffHttpsAlsoWithTheOlderProtocolOptions) {
    // It answers plain HTTP, so a redirect there that was followed would succeed.
    const TrustedServer plain(answering({}), {.sendGarbageInsteadOfTls = true});
    const std::string port = std::to_string(plain.port());
    const TrustedServer server([&port](const HttpRequest& request, Connection& connection) {
        if (request.target == "/servers") {
            connection.write(httpResponse(200, "OK", {}, "[]"));
            return;
        }
        const std::string scheme = request.target.substr(1);
        const std::string authority = scheme == "file" ? "" : "localhost:" + port;
        connection.write(httpResponse(302, "Found",
                                      {{"Location", scheme + "://" + authority + "/servers"}}, ""));
    });
    // macOS 12's libcurl is older than 7.85 and knows only the bit masks.
    for (const bool bitMasks : {false, true}) {
        auto settings = trusting(server);
        settings.protocolBitMasks = bitMasks;
        const auto client = HttpClient::create(settings);
        ASSERT_TRUE(client);
        EXPECT_TRUE(!bitMasks || client->restrictsProtocolsWithBitMasks());
        for (const char* scheme : {"http", "HTTP", "ftp", "file"}) {
            Recorder recorder;
            EXPECT_THAT(fetch(settings, server.url(std::string("/") + scheme), recorder),
                        FailsWith(Error::InsecureRedirect))
                << scheme << (bitMasks ? " with bit masks" : "");
            EXPECT_TRUE(recorder.heads.empty()) << scheme;
        }
        Recorder good;
        ASSERT_TRUE(fetch(settings, server.url("/servers"), good));
        EXPECT_EQ(good.body, "[]");
    }
    EXPECT_EQ(server.requests().size(), 10u);
}

TEST(HttpClient, GivesUpOnAServerThatStalls) {
    const TrustedServer server([](const HttpRequest& request, Connection& connection) {
        if (request.target == "/mid-body") {
            connection.write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nten bytes.");
        }
        connection.sleepFor(30s);
    });
    for (const char* path : {"/before-head", "/mid-body"}) {
        Recorder recorder;
        EXPECT_THAT(fetch(trusting(server, 1), server.url(path), recorder),
                    FailsWith(Error::ConnectionTimedOut))
            << path;
    }
}

TEST(HttpClient, RefusesACertificateItCannotTrust) {
    const Handler answer = answering({{"/servers", httpResponse(200, "OK", {}, "[]")}});
    const TrustedServer foreign(answer);
    const TrustedServer other(answer);
    const TrustedServer misnamed(answer, {}, "elsewhere.example");
    for (const auto& [server, trusted] :
         {std::pair{&foreign, &other}, std::pair{&misnamed, &misnamed}}) {
        Recorder recorder;
        const test::StderrCapture capture;
        EXPECT_THAT(fetch(trusting(*trusted), server->url("/servers"), recorder),
                    FailsWith(Error::TlsCertificateNotTrusted));
        EXPECT_TRUE(recorder.heads.empty());
        // libcurl's refusal is told as the verifier's is: which server, and why, in one line.
        const std::string prefix = "error: Certificate of localhost not trusted: ";
        const std::string text = capture.text();
        EXPECT_TRUE(text.starts_with(prefix) && text.size() > prefix.size() + 1 &&
                    text.find('\n') == text.size() - 1)
            << text;
    }
    EXPECT_TRUE(foreign.requests().empty());
    EXPECT_TRUE(misnamed.requests().empty());
}

TEST(HttpClient, NamesAFailedHandshake) {
    for (const test::ServerOptions options :
         {test::ServerOptions{.closeDuringHandshake = true},
          test::ServerOptions{.sendGarbageInsteadOfTls = true}}) {
        const TrustedServer server(answering({}), options);
        Recorder recorder;
        EXPECT_THAT(fetch(trusting(server), server.url("/servers"), recorder),
                    FailsWith(Error::TlsFailure));
    }
}

TEST(HttpClient, NamesAHostThatCannotBeReached) {
    const test::RefusingPort refusing;
    Recorder recorder;
    EXPECT_THAT(
        fetch({}, "https://127.0.0.1:" + std::to_string(refusing.port()) + "/servers", recorder),
        FailsWith(Error::ConnectionRefused));
    // A label longer than DNS allows fails in the resolver itself, before any query is sent.
    EXPECT_THAT(fetch({}, "https://" + std::string(64, 'x') + ".invalid/servers", recorder),
                FailsWith(Error::UnknownHostName));
}

TEST(HttpClient, NamesABrokenResponse) {
    const TrustedServer server([](const HttpRequest& request, Connection& connection) {
        const std::string& path = request.target;
        if (path == "/garbage") {
            connection.write("garbage\r\n\r\n");
        } else if (path == "/bad-status") {
            connection.write("HTTP/1.1 20x OK\r\nContent-Length: 0\r\n\r\n");
        } else if (path == "/bad-length") {
            connection.write("HTTP/1.1 200 OK\r\nContent-Length: lots\r\n\r\n");
        } else if (path == "/short") {
            connection.write("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + bodyOf(1000));
        } else if (path == "/reset") {
            connection.reset();
            return;
        } else if (path == "/reset-mid-body") {
            connection.write("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + bodyOf(1000));
            connection.sleepFor(100ms);
            connection.reset();
            return;
        }
        connection.close();
    });
    const std::pair<const char*, Error> cases[] = {
        {"/garbage", Error::HttpHeadersInvalid},
        {"/bad-status", Error::HttpHeadersInvalid},
        {"/bad-length", Error::HttpHeadersInvalid},
        {"/short", Error::IncompleteDownload},
        {"/reset", Error::ConnectionResetByPeer},
        {"/reset-mid-body", Error::ConnectionResetByPeer},
        {"/nothing", Error::EndOfStream},
    };
    for (const auto& [path, error] : cases) {
        Recorder recorder;
        EXPECT_THAT(fetch(trusting(server), server.url(path), recorder), FailsWith(error)) << path;
    }
}

TEST(HttpClient, TellsOfAShortBodyAfterHandingItOver) {
    const TrustedServer server([](const HttpRequest& request, Connection& connection) {
        const std::size_t sent = request.target == "/none" ? 0 : 1000;
        connection.write("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + bodyOf(sent));
        connection.close();
    });
    for (const std::size_t sent : {std::size_t{0}, std::size_t{1000}}) {
        Recorder recorder;
        EXPECT_THAT(fetch(trusting(server), server.url(sent == 0 ? "/none" : "/some"), recorder),
                    FailsWith(Error::IncompleteDownload));
        ASSERT_EQ(recorder.heads.size(), 1u);
        EXPECT_EQ(recorder.heads[0].contentLength, 5000u);
        EXPECT_EQ(recorder.body, bodyOf(sent));
    }
}

TEST(HttpClient, EndsTheRequestWithTheHandlersOwnError) {
    class Refusing final : public ResponseHandler {
    public:
        explicit Refusing(bool atHead) : atHead_(atHead) {}
        Result<void> onHead(const ResponseHead&) override {
            if (atHead_) {
                return std::unexpected(Error::UnsupportedCompressionMethod);
            }
            return {};
        }
        Result<void> onBody(std::span<const std::byte>) override {
            ++pieces;
            return std::unexpected(Error::NoSpaceLeft);
        }
        int pieces = 0;

    private:
        bool atHead_;
    };
    const TrustedServer server(answering({{"/big", httpResponse(200, "OK", {}, bodyOf(1 << 20))}}));
    auto client = HttpClient::create(trusting(server));
    ASSERT_TRUE(client);
    Refusing atHead(true);
    EXPECT_THAT(client->get(server.url("/big"), "application/octet-stream", atHead),
                FailsWith(Error::UnsupportedCompressionMethod));
    EXPECT_EQ(atHead.pieces, 0);
    Refusing atBody(false);
    EXPECT_THAT(client->get(server.url("/big"), "application/octet-stream", atBody),
                FailsWith(Error::NoSpaceLeft));
    EXPECT_EQ(atBody.pieces, 1);
}

} // namespace
} // namespace tarnvex
