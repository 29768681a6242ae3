#pragma once

#include "error.h"

#include <curl/curl.h>

namespace tarnvex {

/// The one translation of a failed libcurl transfer into the names the player sees, for every
/// request. `handle` is the transfer's, asked for the socket's errno and the URL last tried.
Error errorFromCurl(CURLcode result, CURL* handle);

} // namespace tarnvex
