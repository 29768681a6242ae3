#include "console/run.h"

int main() {
    return tarnvex::runInstaller({
        .catalogueUrl = TARNVEX_CATALOGUE_URL,
        .downloadUrl = TARNVEX_DOWNLOAD_URL,
        .caFile = {},
        .certificateVerifier = {},
        .stallSeconds = 60,
        .clientSizeLimit = tarnvex::maximumClientSize,
        .protocolBitMasks = false,
        .trustDecidedAtFirstHeader = false,
    });
}
