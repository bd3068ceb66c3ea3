#include "tests/e2e/automation_client.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <thread>

#include "duilib/automation_protocol.h"

namespace tern::e2e {

namespace automation = DuiLib::automation;

bool WaitUntil(const std::function<bool()>& condition, Millis timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (condition())
      return true;
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(Millis(50));
  }
}

Automation::Automation(std::string socket_path) : socket_path_(std::move(socket_path)) {}

std::vector<std::string> Automation::Ask(const std::vector<std::string>& request) const {
  sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  if (socket_path_.size() >= sizeof(addr.sun_path))
    return {};
  std::strcpy(addr.sun_path, socket_path_.c_str());
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0)
    return {};
  timeval limit{30, 0};  // a program stuck in a modal loop still answers
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0) {
    close(fd);
    return {};
  }
  std::string line = automation::JoinLine(request) + "\n";
  std::vector<std::string> answer;
  if (send(fd, line.data(), line.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(line.size())) {
    std::string in;
    char buffer[4096];
    ssize_t n;
    while ((n = recv(fd, buffer, sizeof(buffer), 0)) > 0) {
      in.append(buffer, n);
      size_t end = in.find('\n');
      if (end != std::string::npos) {
        answer = automation::SplitLine(in.substr(0, end));
        break;
      }
    }
  }
  close(fd);
  return answer;
}

bool Automation::AskOk(const std::vector<std::string>& request) const {
  std::vector<std::string> answer = Ask(request);
  return !answer.empty() && answer[0] == "ok";
}

std::vector<WindowEntry> Automation::Windows() const {
  std::vector<std::string> answer = Ask({"windows"});
  std::vector<WindowEntry> windows;
  if (answer.empty() || answer[0] != "ok")
    return windows;
  for (size_t i = 1; i + 3 < answer.size(); i += 4)
    windows.push_back({answer[i], answer[i + 1], answer[i + 2] == "1"});
  return windows;
}

bool Automation::IsWindowVisible(const std::string& window_class) const {
  for (const WindowEntry& w : Windows()) {
    if (w.window_class == window_class && w.visible)
      return true;
  }
  return false;
}

std::string Automation::Text(const std::string& window_class, const std::string& control) const {
  std::vector<std::string> answer = Ask({"text", window_class, control});
  return answer.size() >= 2 && answer[0] == "ok" ? answer[1] : std::string();
}

ControlState Automation::State(const std::string& window_class, const std::string& control) const {
  std::vector<std::string> answer = Ask({"state", window_class, control});
  ControlState state;
  if (answer.empty() || answer[0] != "ok")
    return state;
  state.found = true;
  for (size_t i = 1; i < answer.size(); ++i) {
    const std::string& f = answer[i];
    bool on = !f.empty() && f.back() == '1';
    if (f.rfind("visible=", 0) == 0)
      state.visible = on;
    else if (f.rfind("enabled=", 0) == 0)
      state.enabled = on;
    else if (f.rfind("selected=", 0) == 0)
      state.selected = on;
    else if (f.rfind("focused=", 0) == 0)
      state.focused = on;
  }
  return state;
}

bool Automation::Click(const std::string& window_class, const std::string& control) const {
  return AskOk({"click", window_class, control});
}

bool Automation::Type(const std::string& window_class,
                      const std::string& control,
                      const std::string& text) const {
  return AskOk({"type", window_class, control, text});
}

bool Automation::SetText(const std::string& window_class,
                         const std::string& control,
                         const std::string& text) const {
  return AskOk({"settext", window_class, control, text});
}

bool Automation::Key(const std::string& window_class, const std::string& key) const {
  return AskOk({"key", window_class, key});
}

std::string Automation::MessageBoxText() const {
  std::vector<std::string> answer = Ask({"msgbox"});
  return answer.size() >= 2 && answer[0] == "ok" ? answer[1] : std::string();
}

bool Automation::AnswerMessageBox(bool ok) const {
  return AskOk({"msgbox", ok ? "ok" : "cancel"});
}

bool Automation::SavePng(const std::string& window_class, const std::string& path) const {
  return AskOk({"png", window_class, path});
}

bool Automation::WaitForWindow(const std::string& window_class, Millis timeout) const {
  return WaitUntil([&] { return IsWindowVisible(window_class); }, timeout);
}

bool Automation::WaitForHidden(const std::string& window_class, Millis timeout) const {
  return WaitUntil([&] { return !IsWindowVisible(window_class); }, timeout);
}

bool Automation::WaitForText(const std::string& window_class,
                             const std::string& control,
                             const std::string& text,
                             Millis timeout) const {
  return WaitUntil([&] { return Text(window_class, control) == text; }, timeout);
}

std::string Automation::WaitForTextOtherThan(const std::string& window_class,
                                             const std::string& control,
                                             const std::string& text,
                                             Millis timeout) const {
  std::string now;
  WaitUntil(
      [&] {
        now = Text(window_class, control);
        return now != text;
      },
      timeout);
  return now;
}

bool Automation::WaitForEnabled(const std::string& window_class,
                                const std::string& control,
                                Millis timeout) const {
  return WaitUntil([&] { return State(window_class, control).enabled; }, timeout);
}

std::string Automation::WaitForMessageBox(Millis timeout) const {
  std::string text;
  WaitUntil(
      [&] {
        text = MessageBoxText();
        return !text.empty();
      },
      timeout);
  return text;
}

}  // namespace tern::e2e
