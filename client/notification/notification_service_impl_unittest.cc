#include "client/notification/notification_service_impl.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/logging.h"
#include "base/message_loop.h"
#include "base/waitable_event.h"
#include "client/notification/notification_registrar.h"
#include "client/threads/thread_impl.h"
#include "gtest/gtest.h"

namespace {

struct TunnelInfo {
  std::string node;
};

class RecordingObserver : public NotificationObserver {
 public:
  explicit RecordingObserver(std::string name, std::vector<std::string>* log)
      : name_(std::move(name)), log_(log) {}
  void Observe(int type,
               const NotificationSource& source,
               const NotificationDetails& details) override {
    std::string entry = name_ + ":" + std::to_string(type);
    if (details.ptr())
      entry += ":" + Details<const TunnelInfo>(details)->node;
    if (!ThreadsManager::CurrentlyOn(ThreadsManager::UI))
      entry += ":off-ui";
    log_->push_back(entry);
    if (on_observe)
      on_observe(type, source);
  }
  std::function<void(int, const NotificationSource&)> on_observe;

 private:
  std::string name_;
  std::vector<std::string>* log_;
};

// The client's order: the bus first, then the UI loop and its thread entry,
// then the IO thread.
class NotificationServiceTest : public testing::Test {
 protected:
  void SetUp() override {
    service_ = std::make_unique<NotificationServiceImpl>();
    loop_ = std::make_unique<base::MessageLoopForUI>();
    ui_ = std::make_unique<ThreadImpl>(ThreadsManager::UI, loop_.get());
    io_ = std::make_unique<ThreadImpl>(ThreadsManager::IO);
    ASSERT_TRUE(io_->StartWithOptions(base::Thread::Options(base::MessageLoop::TYPE_IO, 0)));
  }
  void TearDown() override {
    io_.reset();
    ui_.reset();
    loop_.reset();
    service_.reset();
    logging::SetLogMessageHandlerForTesting(nullptr);
  }
  void NotifyFromIO(int type, const void* sender, NotificationDetails details) {
    base::WaitableEvent done(false, false);
    ThreadsManager::PostTask(ThreadsManager::IO, FROM_HERE, [&] {
      NotificationService::current()->Notify(type, NotificationSource(sender), details);
      done.Signal();
    });
    done.Wait();
  }

  std::unique_ptr<NotificationServiceImpl> service_;
  std::unique_ptr<base::MessageLoopForUI> loop_;
  std::unique_ptr<ThreadImpl> ui_;
  std::unique_ptr<ThreadImpl> io_;
  std::vector<std::string> log_;
};

TEST_F(NotificationServiceTest, ObserversHearTheirTypeAndSourceOrAllSources) {
  EXPECT_EQ(NotificationService::current(), service_.get());
  EXPECT_EQ(NOTIFICATION_TUNNEL_UP, 3);
  EXPECT_EQ(NOTIFICATION_TUNNEL_DOWN, 4);
  int main_window = 0, other_window = 0;
  RecordingObserver any("any", &log_), mine("mine", &log_), down("down", &log_);
  NotificationRegistrar registrar;
  registrar.Add(&any, NOTIFICATION_TUNNEL_UP, NotificationService::AllSources());
  registrar.Add(&mine, NOTIFICATION_TUNNEL_UP, Source<int>(&main_window));
  registrar.Add(&down, NOTIFICATION_TUNNEL_DOWN, NotificationService::AllSources());

  TunnelInfo info{"hk-1"};
  service_->Notify(NOTIFICATION_TUNNEL_UP, Source<int>(&main_window), Details<TunnelInfo>(&info));
  service_->Notify(NOTIFICATION_TUNNEL_UP, Source<int>(&other_window),
                   NotificationService::NoDetails());
  service_->Notify(NOTIFICATION_TUNNEL_DOWN, Source<int>(&other_window),
                   NotificationService::NoDetails());
  service_->Notify(99, Source<int>(&main_window), NotificationService::NoDetails());
  // On the UI thread delivery is immediate.
  EXPECT_EQ(log_, (std::vector<std::string>{"any:3:hk-1", "mine:3:hk-1", "any:3", "down:4"}));
}

TEST_F(NotificationServiceTest, OtherThreadsAreDeliveredOnTheUIThreadWithOwnedDetails) {
  std::vector<std::string> errors;
  logging::SetLogMessageHandlerForTesting(
      [&](int severity, const char*, int, const char*, size_t start, const std::string& str) {
        if (severity >= logging::LOG_ERROR)
          errors.push_back(str.substr(start));
        return true;
      });
  int sender = 0;
  RecordingObserver observer("obs", &log_);
  service_->AddObserver(&observer, NOTIFICATION_TUNNEL_DOWN, NotificationService::AllSources());
  NotifyFromIO(NOTIFICATION_TUNNEL_DOWN, &sender, MakeOwnedDetails(TunnelInfo{"sg-2"}));
  TunnelInfo borrowed{"stack"};
  NotifyFromIO(NOTIFICATION_TUNNEL_DOWN, &sender, Details<TunnelInfo>(&borrowed));
  NotifyFromIO(NOTIFICATION_TUNNEL_DOWN, &sender, NotificationService::NoDetails());
  EXPECT_TRUE(log_.empty()) << "nothing runs until the UI loop does";
  loop_->RunUntilIdle();
  EXPECT_EQ(log_, (std::vector<std::string>{"obs:4:sg-2", "obs:4"}));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("borrowed details"), std::string::npos);
  service_->RemoveObserver(&observer, NOTIFICATION_TUNNEL_DOWN, NotificationService::AllSources());
}

TEST_F(NotificationServiceTest, RemovingAndAddingDuringANotificationIsSafe) {
  auto first = std::make_unique<RecordingObserver>("first", &log_);
  auto second = std::make_unique<RecordingObserver>("second", &log_);
  RecordingObserver late("late", &log_);
  const NotificationSource all = NotificationService::AllSources();
  first->on_observe = [&](int type, const NotificationSource&) {
    if (!second)
      return;
    // Remove and delete the next observer, remove ourselves, add a new one.
    service_->RemoveObserver(second.get(), type, all);
    second.reset();
    service_->RemoveObserver(first.get(), type, all);
    service_->AddObserver(&late, type, all);
  };
  service_->AddObserver(first.get(), NOTIFICATION_TUNNEL_UP, all);
  service_->AddObserver(second.get(), NOTIFICATION_TUNNEL_UP, all);
  service_->Notify(NOTIFICATION_TUNNEL_UP, all, NotificationService::NoDetails());
  EXPECT_EQ(log_, std::vector<std::string>{"first:3"});
  service_->Notify(NOTIFICATION_TUNNEL_UP, all, NotificationService::NoDetails());
  EXPECT_EQ(log_, (std::vector<std::string>{"first:3", "late:3"}));
  EXPECT_FALSE(service_->HasObserverForTesting(first.get(), NOTIFICATION_TUNNEL_UP, all));
  service_->RemoveObserver(&late, NOTIFICATION_TUNNEL_UP, all);
}

TEST_F(NotificationServiceTest, RegistrarCleansUpAndLateNotificationsAreDropped) {
  RecordingObserver observer("obs", &log_);
  const NotificationSource all = NotificationService::AllSources();
  {
    NotificationRegistrar registrar;
    registrar.Add(&observer, NOTIFICATION_TUNNEL_UP, all);
    EXPECT_TRUE(registrar.IsRegistered(&observer, NOTIFICATION_TUNNEL_UP, all));
    EXPECT_TRUE(service_->HasObserverForTesting(&observer, NOTIFICATION_TUNNEL_UP, all));
  }
  EXPECT_FALSE(service_->HasObserverForTesting(&observer, NOTIFICATION_TUNNEL_UP, all));

  service_->AddObserver(&observer, NOTIFICATION_TUNNEL_UP, all);
  NotifyFromIO(NOTIFICATION_TUNNEL_UP, nullptr, NotificationService::NoDetails());
  // The bus goes away before the UI loop delivers the queued notification.
  service_.reset();
  EXPECT_EQ(NotificationService::current(), nullptr);
  loop_->RunUntilIdle();
  EXPECT_TRUE(log_.empty());
  NotificationRegistrar after;
  after.Add(&observer, NOTIFICATION_TUNNEL_UP, all);  // logs, does not crash
  EXPECT_TRUE(after.IsEmpty());
}

}  // namespace
