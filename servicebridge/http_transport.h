// The three request routines over libcurl. Each call creates, uses and
// cleans up its own easy handle; only GET requests share a DNS cache.

#ifndef SERVICEBRIDGE_HTTP_TRANSPORT_H_
#define SERVICEBRIDGE_HTTP_TRANSPORT_H_

#include <chrono>
#include <string>

namespace servicebridge {

// Status when no easy handle could be created.
inline constexpr int kNoHandleStatus = 2;

// Each returns the HTTP status, the libcurl error code when the transfer
// failed (and `body` then holds "curl_easy_perform() failed:<reason>\n"), or
// kNoHandleStatus. `extra_header` may be empty. `body` and `headers` are
// cleared first; `headers` collects the raw response header lines.
int PostJson(const std::string& url,
             const std::string& extra_header,
             const std::string& request_body,
             std::string* body,
             std::string* headers);
int PostPlain(const std::string& url,
              const std::string& extra_header,
              const std::string& request_body,
              std::string* body,
              std::string* headers);
int Get(const std::string& url,
        const std::string& extra_header,
        std::string* body,
        std::string* headers);

// Every request verifies the peer's certificate and host name against the
// system's store plus the certificates in `path` (empty: the system store
// only). A failed check fails the request like a network error.
void SetTrustedCertificateFile(const std::string& path);

// Replaces every transfer time-out by `timeout`; zero restores the real ones.
void SetTransferTimeoutForTesting(std::chrono::milliseconds timeout);
// Makes handle creation fail, as when libcurl is out of memory.
void SetHandleCreationFailsForTesting(bool fails);

}  // namespace servicebridge

#endif  // SERVICEBRIDGE_HTTP_TRANSPORT_H_
