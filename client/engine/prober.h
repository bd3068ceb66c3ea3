// Latency of one node by ICMP echo.
#ifndef CLIENT_ENGINE_PROBER_H_
#define CLIENT_ENGINE_PROBER_H_

#include <string>

// The result when no attempt got an answer.
constexpr int kProbeFailed = 5000;

// Up to three echo attempts to |address| (host name or dotted address), each
// waiting 200 ms; returns the first answered attempt's round-trip time in
// milliseconds, else kProbeFailed. |source| (dotted, may be empty) picks the
// sending address. Blocks; call it off the UI thread. Messages go to
// standard output only.
int Probe(const std::string& address, const std::string& source);

#endif  // CLIENT_ENGINE_PROBER_H_
