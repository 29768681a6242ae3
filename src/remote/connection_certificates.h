#pragma once

#include "platform/certificate_chain.h"

#include <curl/curl.h>

#include <string>

namespace tarnvex {

/// The host of the request that libcurl sends next or sent last on `curl`, as libcurl parsed it,
/// an IP literal without its brackets; empty when it cannot be told.
std::string connectionHost(CURL* curl);

/// The chain the server sent in the handshake of that request's connection (CURLINFO_CERTINFO,
/// which needs CURLOPT_CERTINFO), the leaf first; empty when libcurl reports none, or a
/// certificate without its PEM.
CertificateChain connectionChain(CURL* curl);

} // namespace tarnvex
