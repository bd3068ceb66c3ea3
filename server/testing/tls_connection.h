// Test helper: a TCP or TLS connection to a loopback port, line by line.
#ifndef SERVER_TESTING_TLS_CONNECTION_H_
#define SERVER_TESTING_TLS_CONNECTION_H_

#include <string>

typedef struct ssl_ctx_st SSL_CTX;
typedef struct ssl_st SSL;

namespace tern {

// A connected TCP socket, or -1.
int ConnectTcp(const std::string& addr, int port);

// One line without "\n" in plain text; "<closed>" at the end of the stream,
// "<timeout>" when nothing came for |timeout_ms|.
std::string ReadPlainLine(int fd, int timeout_ms = 10000);

class TlsConnection {
 public:
  // A TLS session with |addr|:|port| whose certificate must chain to
  // |ca_file| and name |addr|.
  TlsConnection(const std::string& addr, int port, const std::string& ca_file);
  ~TlsConnection();
  TlsConnection(const TlsConnection&) = delete;
  TlsConnection& operator=(const TlsConnection&) = delete;

  bool ok() const { return connected_; }
  bool Send(const std::string& text);
  // One line without "\n"; "<closed>" at the end of the stream.
  std::string ReadLine(int timeout_ms = 10000);
  // Everything until the peer closes (or nothing comes for |timeout_ms|).
  std::string ReadAll(int timeout_ms = 10000);

 private:
  int fd_ = -1;
  SSL_CTX* context_ = nullptr;
  SSL* ssl_ = nullptr;
  bool connected_ = false;
  std::string buffer_;
};

}  // namespace tern

#endif  // SERVER_TESTING_TLS_CONNECTION_H_
