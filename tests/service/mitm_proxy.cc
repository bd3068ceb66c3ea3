#include "tests/service/mitm_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "server/testing/tls_connection.h"

namespace tern {
namespace {

// A fresh key and a self-signed certificate naming 127.0.0.1.
bool UseOwnCertificate(SSL_CTX* context) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* certificate = X509_new();
  if (!key || !certificate)
    return false;
  X509_set_version(certificate, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(certificate), 7);
  X509_gmtime_adj(X509_getm_notBefore(certificate), -3600);
  X509_gmtime_adj(X509_getm_notAfter(certificate), 86400);
  X509_set_pubkey(certificate, key);
  X509_NAME* name = X509_get_subject_name(certificate);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(certificate, name);
  X509V3_CTX v3;
  X509V3_set_ctx_nodb(&v3);
  X509V3_set_ctx(&v3, certificate, certificate, nullptr, nullptr, 0);
  X509_EXTENSION* names =
      X509V3_EXT_conf_nid(nullptr, &v3, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
  X509_add_ext(certificate, names, -1);
  X509_EXTENSION_free(names);
  bool ok = X509_sign(certificate, key, EVP_sha256()) > 0 &&
            SSL_CTX_use_certificate(context, certificate) == 1 &&
            SSL_CTX_use_PrivateKey(context, key) == 1;
  X509_free(certificate);
  EVP_PKEY_free(key);
  return ok;
}

}  // namespace

MitmProxy::MitmProxy(std::string upstream_address, int upstream_port)
    : upstream_address_(std::move(upstream_address)), upstream_port_(upstream_port) {
  server_context_ = SSL_CTX_new(TLS_server_method());
  client_context_ = SSL_CTX_new(TLS_client_method());
  if (!server_context_ || !client_context_ || !UseOwnCertificate(server_context_))
    return;
  listen_fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof(sa);
  if (bind(listen_fd_, reinterpret_cast<sockaddr*>(&sa), sizeof(sa)) != 0 ||
      listen(listen_fd_, 64) != 0 ||
      getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&sa), &length) != 0) {
    return;
  }
  port_ = ntohs(sa.sin_port);
  acceptor_ = std::thread([this] { Accept(); });
}

MitmProxy::~MitmProxy() {
  stopping_ = true;
  if (listen_fd_ >= 0)
    shutdown(listen_fd_, SHUT_RDWR);
  if (acceptor_.joinable())
    acceptor_.join();
  std::vector<std::thread> workers;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    for (int fd : open_fds_)
      shutdown(fd, SHUT_RDWR);
    workers.swap(workers_);
  }
  for (std::thread& worker : workers)
    worker.join();
  if (listen_fd_ >= 0)
    close(listen_fd_);
  SSL_CTX_free(server_context_);
  SSL_CTX_free(client_context_);
}

std::string MitmProxy::Seen() {
  std::lock_guard<std::mutex> hold(mutex_);
  return seen_;
}

void MitmProxy::Record(const char* data, size_t size) {
  std::lock_guard<std::mutex> hold(mutex_);
  seen_.append(data, size);
}

void MitmProxy::Accept() {
  while (!stopping_) {
    int client = accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0)
      return;
    ++connections_;
    std::lock_guard<std::mutex> hold(mutex_);
    open_fds_.push_back(client);
    workers_.emplace_back([this, client] { Serve(client); });
  }
}

void MitmProxy::Serve(int client) {
  timeval tv{10, 0};
  setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv));
  SSL* front = SSL_new(server_context_);
  SSL_set_fd(front, client);
  int upstream = -1;
  SSL* back = nullptr;
  if (SSL_accept(front) == 1) {
    ++handshakes_;
    upstream = ConnectTcp(upstream_address_, upstream_port_);
    back = upstream >= 0 ? SSL_new(client_context_) : nullptr;
    if (back) {
      // The proxy itself checks nothing: it only wants to read along.
      SSL_set_fd(back, upstream);
      if (SSL_connect(back) == 1) {
        char chunk[16 * 1024];
        for (;;) {
          pollfd p[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
          if (SSL_pending(front) == 0 && SSL_pending(back) == 0 && poll(p, 2, 10000) <= 0)
            break;
          SSL* from = SSL_pending(front) > 0 || p[0].revents ? front : back;
          SSL* to = from == front ? back : front;
          int n = SSL_read(from, chunk, sizeof(chunk));
          if (n <= 0)
            break;
          Record(chunk, static_cast<size_t>(n));
          if (SSL_write(to, chunk, n) != n)
            break;
        }
      }
    }
  }
  if (back)
    SSL_free(back);
  if (upstream >= 0)
    close(upstream);
  SSL_free(front);
  std::lock_guard<std::mutex> hold(mutex_);
  open_fds_.erase(std::remove(open_fds_.begin(), open_fds_.end(), client), open_fds_.end());
  close(client);
}

}  // namespace tern
