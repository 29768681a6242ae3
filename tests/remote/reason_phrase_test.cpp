#include "remote/reason_phrase.h"

#include <gtest/gtest.h>

namespace tarnvex {
namespace {

TEST(ReasonPhrase, NamesRegisteredCodesOnly) {
    const std::pair<int, std::optional<std::string_view>> cases[] = {
        {100, "Continue"},
        {103, "Early Hints"},
        {200, "OK"},
        {201, "Created"},
        {204, "No Content"},
        {226, "IM Used"},
        {301, "Moved Permanently"},
        {308, "Permanent Redirect"},
        {404, "Not Found"},
        {413, "Content Too Large"},
        {418, "I'm a teapot"},
        {422, "Unprocessable Content"},
        {451, "Unavailable For Legal Reasons"},
        {500, "Internal Server Error"},
        {511, "Network Authentication Required"},
        {99, std::nullopt},
        {104, std::nullopt},
        {299, std::nullopt},
        {306, std::nullopt},
        {420, std::nullopt},
        {509, std::nullopt},
        {512, std::nullopt},
        {999, std::nullopt},
    };
    for (const auto& [status, phrase] : cases) {
        EXPECT_EQ(reasonPhrase(status), phrase) << status;
    }
}

} // namespace
} // namespace tarnvex
