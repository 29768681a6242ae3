#pragma once

#include "error.h"
#include "io/buffered_writer.h"
#include "platform/directory.h"
#include "platform/directory_syncs.h"
#include "remote/http_client.h"

#include <cstdint>
#include <string>

namespace tarnvex {

/// Streams the sync client from `url` into the instance directory as an executable, showing
/// progress on `out`. A client already there is replaced only by a complete download; the
/// instance directory is left to `touched` to sync. A client of more than `sizeLimit` bytes, as
/// advertised or as decoded, is logged and fails with `ClientTooLarge`.
Result<void> downloadSyncClient(HttpClient& client, const std::string& url, std::uint64_t sizeLimit,
                                const Directory& instanceDirectory, const std::string& instancePath,
                                BufferedWriter& out, DirectorySyncs& touched);

} // namespace tarnvex
