#include "server/testing/tls_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tern {

int ConnectTcp(const std::string& addr, int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(port));
  inet_pton(AF_INET, addr.c_str(), &sa.sin_addr);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0) {
    if (fd >= 0)
      close(fd);
    return -1;
  }
  return fd;
}

std::string ReadPlainLine(int fd, int timeout_ms) {
  std::string line;
  char c = 0;
  pollfd p{fd, POLLIN, 0};
  while (poll(&p, 1, timeout_ms) > 0) {
    if (recv(fd, &c, 1, 0) != 1)
      return line.empty() ? "<closed>" : line;
    if (c == '\n')
      return line;
    line += c;
  }
  return "<timeout>";
}

TlsConnection::TlsConnection(const std::string& addr, int port, const std::string& ca_file) {
  fd_ = ConnectTcp(addr, port);
  context_ = SSL_CTX_new(TLS_client_method());
  if (fd_ < 0 || !context_ ||
      SSL_CTX_load_verify_locations(context_, ca_file.c_str(), nullptr) != 1) {
    return;
  }
  SSL_CTX_set_verify(context_, SSL_VERIFY_PEER, nullptr);
  ssl_ = SSL_new(context_);
  X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl_), addr.c_str());
  SSL_set_fd(ssl_, fd_);
  timeval tv{10, 0};
  setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
  connected_ = SSL_connect(ssl_) == 1;
}

TlsConnection::~TlsConnection() {
  if (ssl_)
    SSL_free(ssl_);
  SSL_CTX_free(context_);
  if (fd_ >= 0)
    close(fd_);
}

bool TlsConnection::Send(const std::string& text) {
  return connected_ && SSL_write(ssl_, text.data(), static_cast<int>(text.size())) ==
                           static_cast<int>(text.size());
}

std::string TlsConnection::ReadLine(int timeout_ms) {
  if (!connected_)
    return "<closed>";
  while (buffer_.find('\n') == std::string::npos) {
    if (SSL_pending(ssl_) == 0) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, timeout_ms) <= 0)
        return "<timeout>";
    }
    char chunk[1024];
    int n = SSL_read(ssl_, chunk, sizeof(chunk));
    if (n <= 0)
      return "<closed>";
    buffer_.append(chunk, n);
  }
  std::string line = buffer_.substr(0, buffer_.find('\n'));
  buffer_.erase(0, line.size() + 1);
  return line;
}

std::string TlsConnection::ReadAll(int timeout_ms) {
  std::string all;
  for (std::string line; (line = ReadLine(timeout_ms)) != "<closed>" && line != "<timeout>";)
    all += line + "\n";
  all += buffer_;
  buffer_.clear();
  return all;
}

}  // namespace tern
