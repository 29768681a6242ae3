#pragma once

#include "error.h"

#include <gmock/gmock.h> // IWYU pragma: export

#include <string>
#include <type_traits>

namespace tarnvex::test {

/// Matches a Result that failed with `error`. A result that succeeded is told apart, with its
/// value, instead of having the error it does not hold read.
MATCHER_P(FailsWith, error,
          std::string(negation ? "does not fail" : "fails") + " with " +
              std::string(errorName(error))) {
    if (arg.has_value()) {
        *result_listener << "which succeeded";
        if constexpr (!std::is_void_v<typename std::remove_cvref_t<arg_type>::value_type>) {
            *result_listener << " with " << ::testing::PrintToString(*arg);
        }
        return false;
    }
    *result_listener << "which failed with " << errorName(arg.error());
    return arg.error() == error;
}

} // namespace tarnvex::test
