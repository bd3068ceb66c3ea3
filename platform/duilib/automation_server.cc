#include "duilib/automation_server.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>

#include "base/logging.h"
#include "duilib/automation_protocol.h"
#include "duilib/button_ui.h"
#include "duilib/container_ui.h"
#include "duilib/edit_ui.h"
#include "duilib/list_ui.h"
#include "duilib/paint_manager_ui.h"
#include "win32/message_box.h"
#include "win32/tray.h"

namespace DuiLib::automation {
namespace {

constexpr UINT kRequest = WM_APP + 0x3F20;
constexpr UINT kSync = WM_APP + 0x3F21;

// Lets the server answer only after the UI thread dispatched what the
// request posted, and lets a process that exits meanwhile still answer.
struct SyncState {
  std::mutex mu;
  std::condition_variable cv;
  WPARAM posted = 0;
  WPARAM reached = 0;
  bool answering = false;
  bool exiting = false;
};

SyncState& Sync() {
  static SyncState* s = new SyncState;
  return *s;
}

void OnExit() {
  SyncState& s = Sync();
  std::unique_lock<std::mutex> lock(s.mu);
  s.exiting = true;
  s.cv.notify_all();
  s.cv.wait_for(lock, std::chrono::seconds(2), [&] { return !s.answering; });
}
constexpr size_t kMaxLine = 1 << 20;

HWND g_window = nullptr;
std::string g_socket_path;

std::wstring W(const std::string& s) {
  return FromUtf8(s);
}

std::string ClassOf(HWND h) {
  wchar_t buf[256];
  GetClassNameW(h, buf, 256);
  return ToUtf8(buf);
}

bool IsInternal(const std::string& cls) {
  return cls == "TernAutomation" || cls == "TernSdlPump";
}

std::vector<HWND> TopLevelWindows() {
  std::vector<HWND> out;
  EnumWindows(
      [](HWND h, LPARAM p) {
        reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&out));
  return out;
}

HWND FindByClass(const std::string& cls) {
  HWND hidden = nullptr;
  for (HWND h : TopLevelWindows()) {
    if (ClassOf(h) != cls)
      continue;
    if (IsWindowVisible(h))
      return h;
    if (!hidden)
      hidden = h;
  }
  return hidden;
}

CPaintManagerUI* ManagerOf(HWND h) {
  for (CPaintManagerUI* m : CPaintManagerUI::GetPaintManagers()) {
    if (m->GetPaintWindow() == h)
      return m;
  }
  return nullptr;
}

using Answer = std::vector<std::string>;

Answer Error(const std::string& why) {
  return {"error", why};
}

struct Target {
  HWND hwnd = nullptr;
  CPaintManagerUI* manager = nullptr;
  CControlUI* control = nullptr;
  std::string error;
};

Target FindTarget(const std::string& cls, const std::string* name) {
  Target t;
  t.hwnd = FindByClass(cls);
  if (!t.hwnd) {
    t.error = "no window of class " + cls;
    return t;
  }
  t.manager = ManagerOf(t.hwnd);
  if (!t.manager) {
    t.error = "window " + cls + " is not a skinned window";
    return t;
  }
  if (name) {
    t.control = t.manager->FindControl(W(*name).c_str());
    if (!t.control)
      t.error = "no control " + *name + " in " + cls;
  }
  return t;
}

CControlUI* CALLBACK Any(CControlUI* c, LPVOID) {
  return c;
}

Answer Click(Target& t) {
  CControlUI* c = t.control;
  if (!c->IsVisible())
    return Error("control " + ToUtf8(c->GetName().str()) + " is hidden");
  if (!c->IsEnabled())
    return Error("control " + ToUtf8(c->GetName().str()) + " is disabled");
  t.manager->PaintNow();  // lay out first if the window has not painted yet
  RECT r = c->GetPos();
  POINT pt = {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
  CControlUI* hit = t.manager->GetRoot()->FindControl(
      Any, &pt, UIFIND_VISIBLE | UIFIND_HITTEST | UIFIND_TOP_FIRST);
  bool inside = false;
  for (CControlUI* p = hit; p; p = p->GetParent())
    inside |= p == c;
  if (!inside)
    return Error("control " + ToUtf8(c->GetName().str()) + " is covered by " +
                 (hit ? ToUtf8(hit->GetName().str()) : std::string("nothing")));
  // Posted, as real input is: a click may open a modal loop, and the
  // server answers once the click has been dispatched (see Serve).
  LPARAM lp = MAKELPARAM(pt.x, pt.y);
  PostMessageW(t.hwnd, WM_MOUSEMOVE, 0, lp);
  PostMessageW(t.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, lp);
  PostMessageW(t.hwnd, WM_LBUTTONUP, 0, lp);
  return {"ok"};
}

Answer Key(HWND hwnd, const std::string& key) {
  WPARAM vk = key == "enter"    ? VK_RETURN
              : key == "escape" ? VK_ESCAPE
              : key == "tab"    ? VK_TAB
              : key == "back"   ? VK_BACK
                                : 0;
  if (!vk)
    return Error("unknown key " + key);
  // Through the queue, so the pump's pre-translation sees it as a real key.
  PostMessageW(hwnd, WM_KEYDOWN, vk, 0);
  return {"ok"};
}

Answer Tray(const std::vector<std::string>& r) {
  auto icons = win32::ListTrayIcons();
  if (r.size() == 1) {
    Answer a = {"ok"};
    for (auto& i : icons) {
      a.push_back(ClassOf(i.hwnd));
      a.push_back(std::to_string(i.id));
      a.push_back(ToUtf8(i.tip));
    }
    return a;
  }
  if (r.size() != 3)
    return Error("usage: tray [CLASS lbuttonup|dblclick|rbuttonup]");
  UINT mouse = r[2] == "lbuttonup"   ? WM_LBUTTONUP
               : r[2] == "dblclick"  ? WM_LBUTTONDBLCLK
               : r[2] == "rbuttonup" ? WM_RBUTTONUP
                                     : 0;
  if (!mouse)
    return Error("unknown tray event " + r[2]);
  for (auto& i : icons) {
    if (ClassOf(i.hwnd) == r[1]) {
      if (!win32::SendTrayEvent(i.hwnd, i.id, mouse))
        return Error("the tray icon has no callback message");
      return {"ok"};
    }
  }
  return Error("no tray icon of a window of class " + r[1]);
}

Answer MsgBox(const std::vector<std::string>& r) {
  HWND box = FindByClass(ToUtf8(WC_MESSAGEBOX));
  if (!box)
    return Error("no message box");
  if (r.size() == 1) {
    std::wstring text;
    win32::GetMessageBoxText(box, &text);
    return {"ok", ToUtf8(text)};
  }
  WPARAM id = r[1] == "ok" ? IDOK : r[1] == "cancel" ? IDCANCEL : 0;
  if (!id)
    return Error("answer ok or cancel");
  PostMessageW(box, WM_COMMAND, id, 0);
  return {"ok"};
}

LRESULT CALLBACK RequestProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == kSync) {
    SyncState& s = Sync();
    std::lock_guard<std::mutex> lock(s.mu);
    s.reached = std::max(s.reached, wparam);
    s.cv.notify_all();
    return 0;
  }
  if (msg != kRequest)
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  auto* request = reinterpret_cast<const std::vector<std::string>*>(wparam);
  auto* answer = reinterpret_cast<Answer*>(lparam);
  *answer = Execute(*request);
  return 1;
}

void Serve(int listener) {
  for (;;) {
    int fd = accept(listener, nullptr, nullptr);
    if (fd < 0) {
      if (errno == EINTR)
        continue;
      return;
    }
    std::string buffer;
    char chunk[4096];
    bool open = true;
    while (open) {
      size_t nl;
      while ((nl = buffer.find('\n')) != std::string::npos) {
        std::string line = buffer.substr(0, nl);
        buffer.erase(0, nl + 1);
        if (!line.empty() && line.back() == '\r')
          line.pop_back();
        std::vector<std::string> request = SplitLine(line);
        SyncState& sync = Sync();
        {
          std::lock_guard<std::mutex> lock(sync.mu);
          sync.answering = true;
        }
        Answer answer;
        if (!SendMessageW(g_window, kRequest, reinterpret_cast<WPARAM>(&request),
                          reinterpret_cast<LPARAM>(&answer)))
          answer = Error("the UI thread is gone");
        // Input the request posted (clicks, keys) is dispatched before the
        // answer goes out, even when it opened a modal loop.
        {
          std::unique_lock<std::mutex> lock(sync.mu);
          WPARAM mark = ++sync.posted;
          if (PostMessageW(g_window, kSync, mark, 0)) {
            sync.cv.wait_for(lock, std::chrono::seconds(10),
                             [&] { return sync.reached >= mark || sync.exiting; });
          }
        }
        std::string out = JoinLine(answer) + "\n";
        bool sent = send(fd, out.data(), out.size(), MSG_NOSIGNAL) >= 0;
        {
          std::lock_guard<std::mutex> lock(sync.mu);
          sync.answering = false;
          sync.cv.notify_all();
        }
        if (!sent)
          open = false;
      }
      ssize_t n = recv(fd, chunk, sizeof(chunk), 0);
      if (n <= 0 || buffer.size() > kMaxLine)
        open = false;
      else
        buffer.append(chunk, n);
    }
    close(fd);
  }
}

}  // namespace

Answer Execute(const std::vector<std::string>& r) {
  if (r.empty() || r[0].empty())
    return Error("empty request");
  const std::string& cmd = r[0];
  if (cmd == "windows") {
    Answer a = {"ok"};
    for (HWND h : TopLevelWindows()) {
      std::string cls = ClassOf(h);
      if (IsInternal(cls) || cls == "Shell_TrayWnd")
        continue;
      wchar_t title[512];
      GetWindowTextW(h, title, 512);
      RECT rc;
      GetWindowRect(h, &rc);
      a.push_back(cls);
      a.push_back(ToUtf8(title));
      a.push_back(IsWindowVisible(h) ? "1" : "0");
      a.push_back(std::to_string(rc.left) + "," + std::to_string(rc.top) + "," +
                  std::to_string(rc.right) + "," + std::to_string(rc.bottom));
    }
    return a;
  }
  if (cmd == "tray")
    return Tray(r);
  if (cmd == "msgbox")
    return MsgBox(r);
  if (cmd == "key") {
    if (r.size() != 3)
      return Error("usage: key CLASS enter|escape|tab|back");
    HWND h = FindByClass(r[1]);
    if (!h)
      return Error("no window of class " + r[1]);
    return Key(h, r[2]);
  }
  if (cmd == "png") {
    if (r.size() != 3)
      return Error("usage: png CLASS PATH");
    Target t = FindTarget(r[1], nullptr);
    if (!t.error.empty())
      return Error(t.error);
    if (!t.manager->SaveToPng(W(r[2]).c_str()))
      return Error("cannot write " + r[2]);
    return {"ok"};
  }
  struct Spec {
    const char* name;
    size_t args;
  };
  static const Spec kControlCommands[] = {{"text", 3},    {"state", 3}, {"click", 3}, {"rect", 3},
                                          {"settext", 4}, {"type", 4},  {"select", 4}};
  for (const Spec& s : kControlCommands) {
    if (cmd != s.name)
      continue;
    if (r.size() != s.args)
      return Error(std::string("wrong number of fields for ") + s.name);
    Target t = FindTarget(r[1], &r[2]);
    if (!t.error.empty())
      return Error(t.error);
    CControlUI* c = t.control;
    if (cmd == "text")
      return {"ok", ToUtf8(c->GetText().str())};
    if (cmd == "state") {
      auto* option = static_cast<COptionUI*>(c->GetInterface(L"Option"));
      auto* item = static_cast<IListItemUI*>(c->GetInterface(L"ListItem"));
      bool selected = option ? option->IsSelected() : item ? item->IsSelected() : false;
      return {"ok", std::string("visible=") + (c->IsVisible() ? "1" : "0"),
              std::string("enabled=") + (c->IsEnabled() ? "1" : "0"),
              std::string("selected=") + (selected ? "1" : "0"),
              std::string("focused=") + (c->IsFocused() ? "1" : "0")};
    }
    if (cmd == "click")
      return Click(t);
    if (cmd == "rect") {
      RECT rc = c->GetPos();
      POINT origin = {0, 0};
      ClientToScreen(t.hwnd, &origin);
      return {"ok", std::to_string(rc.left + origin.x) + "," + std::to_string(rc.top + origin.y) +
                        "," + std::to_string(rc.right + origin.x) + "," +
                        std::to_string(rc.bottom + origin.y)};
    }
    if (cmd == "settext") {
      c->SetText(W(r[3]).c_str());
      return {"ok"};
    }
    if (cmd == "type") {
      if (!c->GetInterface(L"Edit"))
        return Error("control " + r[2] + " is not an edit");
      t.manager->SetFocus(c);
      for (wchar_t ch : W(r[3]))
        SendMessageW(t.hwnd, WM_CHAR, ch, 0);
      return {"ok"};
    }
    if (cmd == "select") {
      auto* list = static_cast<CListUI*>(c->GetInterface(L"List"));
      if (!list)
        return Error("control " + r[2] + " is not a list");
      char* end = nullptr;
      long index = std::strtol(r[3].c_str(), &end, 10);
      if (end == r[3].c_str() || *end || !list->SelectItem(static_cast<int>(index)))
        return Error("no item " + r[3] + " in " + r[2]);
      return {"ok"};
    }
  }
  return Error("unknown command " + cmd);
}

void StartFromEnvironment() {
  const char* path = std::getenv("TERN_AUTOMATION");
  if (!path || !*path || g_window)
    return;
  sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  if (std::strlen(path) >= sizeof(addr.sun_path)) {
    LOG(ERROR) << "Automation socket path too long: " << path;
    return;
  }
  std::strcpy(addr.sun_path, path);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = RequestProc;
  wc.lpszClassName = L"TernAutomation";
  RegisterClassExW(&wc);
  g_window = CreateWindowExW(0, L"TernAutomation", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             nullptr, nullptr);
  int listener = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  unlink(path);
  if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      listen(listener, 4) != 0) {
    PLOG(ERROR) << "Cannot serve automation on " << path;
    if (listener >= 0)
      close(listener);
    return;
  }
  g_socket_path = path;
  std::atexit([] {
    OnExit();
    unlink(g_socket_path.c_str());
  });
  // Ends with the process; it only ever waits in accept() or on the UI thread.
  std::thread(Serve, listener).detach();
  LOG(INFO) << "Automation served on " << path;
}

}  // namespace DuiLib::automation
