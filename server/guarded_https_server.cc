#include "server/guarded_https_server.h"

#include <openssl/ssl.h>
#include <spdlog/spdlog.h>
#include <sys/socket.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace tern {
namespace {

// One thread per connection, started when no idle one is left, up to
// |max_threads|; a thread idle for half a minute ends.
class ElasticTaskQueue : public httplib::TaskQueue {
 public:
  explicit ElasticTaskQueue(size_t max_threads) : max_threads_(max_threads) {}

  void enqueue(std::function<void()> fn) override {
    std::lock_guard<std::mutex> hold(mutex_);
    jobs_.push_back(std::move(fn));
    if (jobs_.size() > idle_ && threads_ < max_threads_) {
      ++threads_;
      std::thread([this] { Work(); }).detach();
    } else {
      work_ready_.notify_one();
    }
  }

  void shutdown() override {
    std::unique_lock<std::mutex> hold(mutex_);
    stopping_ = true;
    work_ready_.notify_all();
    all_done_.wait(hold, [this] { return threads_ == 0; });
  }

 private:
  void Work() {
    std::unique_lock<std::mutex> hold(mutex_);
    for (;;) {
      if (!jobs_.empty()) {
        std::function<void()> job = std::move(jobs_.front());
        jobs_.pop_front();
        hold.unlock();
        job();
        hold.lock();
        continue;
      }
      if (stopping_)
        break;
      ++idle_;
      bool woken = work_ready_.wait_for(hold, std::chrono::seconds(30),
                                        [this] { return !jobs_.empty() || stopping_; });
      --idle_;
      if (!woken)
        break;
    }
    // Notified under the lock: shutdown() may destroy the queue as soon as
    // it sees zero.
    --threads_;
    all_done_.notify_all();
  }

  const size_t max_threads_;
  std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable all_done_;
  std::deque<std::function<void()>> jobs_;
  size_t threads_ = 0;
  size_t idle_ = 0;
  bool stopping_ = false;
};

struct Admission {
  ConnectionGuard* guard;
  int fd;
};

int AdmissionIndex() {
  static const int index = SSL_get_ex_new_index(
      0, nullptr, nullptr, nullptr, [](void*, void* pointer, CRYPTO_EX_DATA*, int, long, void*) {
        // SSL_free runs before httplib closes the socket.
        auto* admission = static_cast<Admission*>(pointer);
        if (admission) {
          admission->guard->Release(admission->fd);
          delete admission;
        }
      });
  return index;
}

int GuardIndex() {
  static const int index = SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

// Runs at the start of the handshake, before a byte is read.
void OnTlsInfo(const SSL* ssl, int where, int) {
  if (!(where & SSL_CB_HANDSHAKE_START) || SSL_get_ex_data(ssl, AdmissionIndex()))
    return;
  auto* guard =
      static_cast<ConnectionGuard*>(SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), GuardIndex()));
  int fd = SSL_get_fd(ssl);
  if (!guard || fd < 0)
    return;
  if (!guard->Admit(fd)) {
    // The handshake then fails at its first read.
    shutdown(fd, SHUT_RDWR);
    return;
  }
  SSL_set_ex_data(const_cast<SSL*>(ssl), AdmissionIndex(), new Admission{guard, fd});
}

bool HasBodyWithoutLength(const httplib::Request& req) {
  return req.has_header("Transfer-Encoding");
}

}  // namespace

GuardedHttpsServer::GuardedHttpsServer(const std::string& cert_path,
                                       const std::string& key_path,
                                       GuardLimits limits)
    : httplib::SSLServer(cert_path.c_str(), key_path.c_str()),
      guard_(std::make_unique<ConnectionGuard>("https", limits)) {
  if (SSL_CTX* context = ssl_context()) {
    SSL_CTX_set_ex_data(context, GuardIndex(), guard_.get());
    SSL_CTX_set_info_callback(context, OnTlsInfo);
  }
  // Refused connections pass through a thread too, briefly.
  size_t threads = static_cast<size_t>(limits.max_total) + 16;
  new_task_queue = [threads] { return new ElasticTaskQueue(threads); };
  const time_t seconds = static_cast<time_t>((limits.deadline.count() + 999) / 1000);
  set_read_timeout(seconds, 0);
  set_keep_alive_timeout(std::max<time_t>(1, seconds / 2));
  set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    guard_->DisarmPeer(req.remote_addr, req.remote_port);
    if (HasBodyWithoutLength(req)) {
      // Nothing of such a body is read: its size is unknown until its end.
      res.status = 411;
      res.set_header("Connection", "close");
      return HandlerResponse::Handled;
    }
    return HandlerResponse::Unhandled;
  });
  // A client that asks before sending (curl does for chunked bodies) gets the
  // refusal instead of "100 Continue"; otherwise it would start sending and
  // might never read the answer.
  set_expect_100_continue_handler([this](const httplib::Request& req, httplib::Response& res) {
    if (!HasBodyWithoutLength(req))
      return 100;
    guard_->DisarmPeer(req.remote_addr, req.remote_port);
    res.status = 411;
    res.set_header("Connection", "close");
    return 411;
  });
  set_logger([this](const httplib::Request& req, const httplib::Response&) {
    if (HasBodyWithoutLength(req))
      guard_->EndPeer(req.remote_addr, req.remote_port);
    else
      guard_->ArmPeer(req.remote_addr, req.remote_port);
  });
}

GuardedHttpsServer::~GuardedHttpsServer() {
  stop();
}

void GuardedHttpsServer::WidenBacklog(int backlog) {
  // listen() again on a listening socket only changes its backlog.
  if (svr_sock_ != INVALID_SOCKET && ::listen(svr_sock_, backlog) != 0)
    spdlog::warn("https: cannot widen the listen backlog");
}

}  // namespace tern
