#pragma once

#include "error.h"

#include <gmock/gmock.h> // IWYU pragma: export

#include <ostream>
#include <string>
#include <type_traits>

namespace tarnvex {

/// How a failed check shows a Result: its value, or the name of its error.
template <class T> void PrintTo(const Result<T>& result, std::ostream* out) {
    if (!result.has_value()) {
        *out << "failed with " << errorName(result.error());
    } else if constexpr (std::is_void_v<T>) {
        *out << "succeeded";
    } else {
        *out << "succeeded with " << ::testing::PrintToString(*result);
    }
}

namespace test {

/// Matches a Result that failed with `error`, without reading the error of one that succeeded.
MATCHER_P(FailsWith, error,
          std::string(negation ? "does not fail" : "fails") + " with " +
              std::string(errorName(error))) {
    return !arg.has_value() && arg.error() == error;
}

} // namespace test
} // namespace tarnvex
