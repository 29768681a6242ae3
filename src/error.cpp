#include "error.h"

namespace tarnvex {

std::string_view errorName(Error error) {
    switch (error) {
#define TARNVEX_ERROR_NAME(name)                                                                   \
    case Error::name:                                                                              \
        return #name;
        TARNVEX_ERRORS(TARNVEX_ERROR_NAME)
#undef TARNVEX_ERROR_NAME
    }
    return "Unexpected";
}

} // namespace tarnvex
