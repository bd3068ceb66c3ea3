// A client of the UI automation socket that a program serves when it runs
// with TERN_AUTOMATION=<socket>, with the waits an end-to-end test needs.
// One connection per request, so it survives the program's restarts.
#ifndef TESTS_E2E_AUTOMATION_CLIENT_H_
#define TESTS_E2E_AUTOMATION_CLIENT_H_

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace tern::e2e {

using Millis = std::chrono::milliseconds;
constexpr Millis kDefaultWait{20000};

// Polls |condition| every 50 ms until it holds or |timeout| passes.
bool WaitUntil(const std::function<bool()>& condition, Millis timeout = kDefaultWait);

struct ControlState {
  bool found = false;
  bool visible = false;
  bool enabled = false;
  bool selected = false;
  bool focused = false;
};

struct WindowEntry {
  std::string window_class;
  std::string title;
  bool visible = false;
};

class Automation {
 public:
  explicit Automation(std::string socket_path);

  // The answer's fields ("ok" or "error" first); empty when the program
  // could not be reached.
  std::vector<std::string> Ask(const std::vector<std::string>& request) const;

  std::vector<WindowEntry> Windows() const;
  bool IsWindowVisible(const std::string& window_class) const;
  std::string Text(const std::string& window_class, const std::string& control) const;
  ControlState State(const std::string& window_class, const std::string& control) const;
  bool Click(const std::string& window_class, const std::string& control) const;
  // Focuses the control, then types one character at a time.
  bool Type(const std::string& window_class,
            const std::string& control,
            const std::string& text) const;
  bool SetText(const std::string& window_class,
               const std::string& control,
               const std::string& text) const;
  bool Key(const std::string& window_class, const std::string& key) const;
  // The text of the top message box, empty when there is none.
  std::string MessageBoxText() const;
  bool AnswerMessageBox(bool ok) const;
  bool SavePng(const std::string& window_class, const std::string& path) const;

  bool WaitForWindow(const std::string& window_class, Millis timeout = kDefaultWait) const;
  bool WaitForHidden(const std::string& window_class, Millis timeout = kDefaultWait) const;
  bool WaitForText(const std::string& window_class,
                   const std::string& control,
                   const std::string& text,
                   Millis timeout = kDefaultWait) const;
  // Waits for the control's text to differ from |text|; returns the new one.
  std::string WaitForTextOtherThan(const std::string& window_class,
                                   const std::string& control,
                                   const std::string& text,
                                   Millis timeout = kDefaultWait) const;
  bool WaitForEnabled(const std::string& window_class,
                      const std::string& control,
                      Millis timeout = kDefaultWait) const;
  // Waits for a message box and returns its text ("" on time-out).
  std::string WaitForMessageBox(Millis timeout = kDefaultWait) const;

  const std::string& socket_path() const { return socket_path_; }

 private:
  bool AskOk(const std::vector<std::string>& request) const;
  std::string socket_path_;
};

}  // namespace tern::e2e

#endif  // TESTS_E2E_AUTOMATION_CLIENT_H_
