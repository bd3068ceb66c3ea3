#include "duilib/presenter.h"

#include <SDL2/SDL.h>
#include <SDL2/SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>
#include <poll.h>

#include <condition_variable>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "base/logging.h"
#include "duilib/message_box_wnd.h"
#include "duilib/paint_manager_ui.h"
#include "duilib/tray_host.h"
#include "win32/screen_metrics.h"
#include "win32/tray.h"

namespace DuiLib {
namespace {

constexpr UINT kPumpSdl = WM_APP + 0x3F10;

struct SdlState {
  bool initialised = false;
  bool failed = false;
  HWND pump_window = nullptr;
  std::map<Uint32, HWND> windows;
  // Caption dragging: the window and the grab offset inside it.
  HWND dragging = nullptr;
  // The window that last took a click or was shown active.
  HWND active = nullptr;
  POINT drag_offset = {0, 0};
  // The watcher thread waits for X input, then asks the UI thread to pump.
  std::thread watcher;
  std::mutex mu;
  std::condition_variable cv;
  bool pump_pending = false;
  int x_fd = -1;
  Display* display = nullptr;
};

SdlState& S() {
  static SdlState* s = new SdlState;
  return *s;
}

WPARAM KeyToVk(SDL_Keycode key) {
  switch (key) {
    case SDLK_RETURN:
    case SDLK_KP_ENTER:
      return VK_RETURN;
    case SDLK_ESCAPE:
      return VK_ESCAPE;
    case SDLK_BACKSPACE:
      return VK_BACK;
    case SDLK_TAB:
      return VK_TAB;
    case SDLK_LEFT:
      return VK_LEFT;
    case SDLK_RIGHT:
      return VK_RIGHT;
    case SDLK_UP:
      return VK_UP;
    case SDLK_DOWN:
      return VK_DOWN;
    case SDLK_HOME:
      return VK_HOME;
    case SDLK_END:
      return VK_END;
    case SDLK_DELETE:
      return VK_DELETE;
    case SDLK_SPACE:
      return VK_SPACE;
    default:
      if (key >= SDLK_a && key <= SDLK_z)
        return 'A' + (key - SDLK_a);
      if (key >= SDLK_0 && key <= SDLK_9)
        return '0' + (key - SDLK_0);
      return 0;
  }
}

// The modifiers as they were when the key went down: SDL's current state may
// already be past them when a batch of events is drained.
LPARAM Modifiers(Uint16 mod) {
  LPARAM m = 0;
  if (mod & KMOD_SHIFT)
    m |= MK_SHIFT;
  if (mod & KMOD_CTRL)
    m |= MK_CONTROL;
  return m << 24;
}

// Moves activation to `hwnd` (null: away from every window of ours); the
// window losing it hears WM_ACTIVATE WA_INACTIVE (menus close on it).
void Activate(HWND hwnd, WPARAM how) {
  SdlState& s = S();
  HWND old = s.active;
  if (old == hwnd)
    return;
  s.active = hwnd;
  if (old && IsWindow(old))
    PostMessageW(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
  if (hwnd)
    PostMessageW(hwnd, WM_ACTIVATE, how, reinterpret_cast<LPARAM>(old));
}

void Translate(const SDL_Event& e) {
  SdlState& s = S();
  Uint32 id = 0;
  switch (e.type) {
    case SDL_MOUSEMOTION:
      id = e.motion.windowID;
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      id = e.button.windowID;
      break;
    case SDL_MOUSEWHEEL:
      id = e.wheel.windowID;
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      id = e.key.windowID;
      break;
    case SDL_TEXTINPUT:
      id = e.text.windowID;
      break;
    case SDL_TEXTEDITING:
      id = e.edit.windowID;
      break;
    case SDL_WINDOWEVENT:
      id = e.window.windowID;
      break;
    default:
      return;
  }
  auto it = s.windows.find(id);
  if (it == s.windows.end())
    return;
  HWND hwnd = it->second;
  // Screen positions from the event and our window rectangle (which the SDL
  // window follows); the server's pointer query can lag behind the events.
  RECT wr = {0, 0, 0, 0};
  GetWindowRect(hwnd, &wr);
  int gx = wr.left;
  int gy = wr.top;
  if (e.type == SDL_MOUSEMOTION) {
    gx += e.motion.x;
    gy += e.motion.y;
  } else if (e.type == SDL_MOUSEBUTTONDOWN || e.type == SDL_MOUSEBUTTONUP) {
    gx += e.button.x;
    gy += e.button.y;
  } else {
    SDL_GetGlobalMouseState(&gx, &gy);
  }
  switch (e.type) {
    case SDL_MOUSEMOTION:
      SetCursorPos(gx, gy);
      if (s.dragging == hwnd) {
        RECT r;
        GetWindowRect(hwnd, &r);
        MoveWindow(hwnd, gx - s.drag_offset.x, gy - s.drag_offset.y, r.right - r.left,
                   r.bottom - r.top, TRUE);
      } else {
        PostMessageW(hwnd, WM_MOUSEMOVE, 0, MAKELPARAM(e.motion.x, e.motion.y));
      }
      break;
    case SDL_MOUSEBUTTONDOWN: {
      SetCursorPos(gx, gy);
      Activate(hwnd, WA_CLICKACTIVE);
      // Click to focus, also where no window manager gives the keyboard to
      // the clicked window (and after a closed menu took it along).
      if (SDL_Window* window = SDL_GetWindowFromID(id)) {
        if (!(SDL_GetWindowFlags(window) & SDL_WINDOW_INPUT_FOCUS))
          SDL_SetWindowInputFocus(window);
      }
      if (e.button.button == SDL_BUTTON_LEFT) {
        LRESULT hit = SendMessageW(hwnd, WM_NCHITTEST, 0, MAKELPARAM(gx, gy));
        if (hit == HTCAPTION) {
          RECT r;
          GetWindowRect(hwnd, &r);
          s.dragging = hwnd;
          s.drag_offset = {gx - r.left, gy - r.top};
          break;
        }
        PostMessageW(hwnd, e.button.clicks == 2 ? WM_LBUTTONDBLCLK : WM_LBUTTONDOWN, MK_LBUTTON,
                     MAKELPARAM(e.button.x, e.button.y));
      } else if (e.button.button == SDL_BUTTON_RIGHT) {
        PostMessageW(hwnd, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(e.button.x, e.button.y));
      }
      break;
    }
    case SDL_MOUSEBUTTONUP:
      if (e.button.button == SDL_BUTTON_LEFT) {
        if (s.dragging == hwnd) {
          s.dragging = nullptr;
          break;
        }
        PostMessageW(hwnd, WM_LBUTTONUP, 0, MAKELPARAM(e.button.x, e.button.y));
      } else if (e.button.button == SDL_BUTTON_RIGHT) {
        PostMessageW(hwnd, WM_RBUTTONUP, 0, MAKELPARAM(e.button.x, e.button.y));
      }
      break;
    case SDL_MOUSEWHEEL:
      PostMessageW(hwnd, WM_MOUSEWHEEL, MAKEWPARAM(0, e.wheel.y * WHEEL_DELTA), 0);
      break;
    case SDL_KEYDOWN:
      if (WPARAM vk = KeyToVk(e.key.keysym.sym))
        PostMessageW(hwnd, WM_KEYDOWN, vk, Modifiers(e.key.keysym.mod));
      break;
    case SDL_KEYUP:
      if (WPARAM vk = KeyToVk(e.key.keysym.sym))
        PostMessageW(hwnd, WM_KEYUP, vk, Modifiers(e.key.keysym.mod));
      break;
    case SDL_TEXTINPUT:
      // The composed text arrives: the pre-edit ends.
      for (CPaintManagerUI* m : CPaintManagerUI::GetPaintManagers()) {
        if (m->GetPaintWindow() == hwnd)
          m->SetComposition(L"");
      }
      for (wchar_t c : FromUtf8(e.text.text)) {
        if (c >= 0x20)
          PostMessageW(hwnd, WM_CHAR, c, 0);
      }
      break;
    case SDL_TEXTEDITING:
      // Chinese input: the text being composed shows at the caret, and the
      // input method's candidate window opens beside it.
      for (CPaintManagerUI* m : CPaintManagerUI::GetPaintManagers()) {
        if (m->GetPaintWindow() != hwnd)
          continue;
        RECT caret = m->SetComposition(FromUtf8(e.edit.text));
        SDL_Rect at = {static_cast<int>(caret.left - wr.left), static_cast<int>(caret.top - wr.top),
                       1, static_cast<int>(caret.bottom - caret.top)};
        SDL_SetTextInputRect(&at);
      }
      break;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_CLOSE)
        PostMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
      else if (e.window.event == SDL_WINDOWEVENT_LEAVE)
        PostMessageW(hwnd, WM_MOUSELEAVE, 0, 0);
      else if (e.window.event == SDL_WINDOWEVENT_EXPOSED)
        InvalidateRect(hwnd, nullptr, FALSE);
      else if (e.window.event == SDL_WINDOWEVENT_MOVED &&
               (e.window.data1 != wr.left || e.window.data2 != wr.top))
        // Moved by the window manager or another program: follow it.
        SetWindowPos(hwnd, nullptr, e.window.data1, e.window.data2, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      else if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST && s.active == hwnd)
        Activate(nullptr, WA_INACTIVE);
      // The window manager minimised or restored it (taskbar, keyboard):
      // the window hears it as the system command it would get on Windows.
      else if (e.window.event == SDL_WINDOWEVENT_MINIMIZED && !IsIconic(hwnd))
        PostMessageW(hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
      else if (e.window.event == SDL_WINDOWEVENT_RESTORED && IsIconic(hwnd))
        PostMessageW(hwnd, WM_SYSCOMMAND, SC_RESTORE, 0);
      // Restored from the taskbar while "in the tray": as a click on the icon.
      else if (e.window.event == SDL_WINDOWEVENT_RESTORED && !IsWindowVisible(hwnd)) {
        UINT icon = 0;
        if (tray_host::IconOf(hwnd, &icon))
          win32::SendTrayEvent(hwnd, icon, WM_LBUTTONUP);
      }
      break;
    default:
      break;
  }
}

LRESULT CALLBACK PumpProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg != kPumpSdl)
    return DefWindowProcW(hwnd, msg, wparam, lparam);
  SDL_Event e;
  while (SDL_PollEvent(&e))
    Translate(e);
  SdlState& s = S();
  std::lock_guard<std::mutex> lock(s.mu);
  s.pump_pending = false;
  s.cv.notify_all();
  return 0;
}

// Sleeps in poll() on the X connection; each time input arrives it asks the
// UI thread to drain SDL's queue and waits until it has.
void WatchX(int fd, HWND pump) {
  SdlState& s = S();
  for (;;) {
    pollfd p = {fd, POLLIN, 0};
    int rc = poll(&p, 1, -1);
    if (rc < 0 && errno == EINTR)
      continue;
    if (rc < 0 || (p.revents & (POLLERR | POLLHUP | POLLNVAL)))
      return;
    std::unique_lock<std::mutex> lock(s.mu);
    s.pump_pending = true;
    if (!PostMessageW(pump, kPumpSdl, 0, 0))
      return;
    s.cv.wait(lock, [&] { return !s.pump_pending; });
  }
}

bool InitSdl() {
  SdlState& s = S();
  if (s.initialised || s.failed)
    return s.initialised;
  // SDL would turn SIGTERM and SIGINT into a quit event nobody reads; the
  // window system ends the program on them instead (window_end_session.h).
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    LOG(WARNING) << "No display for windows (" << SDL_GetError() << "); rendering off screen";
    s.failed = true;
    return false;
  }
  SDL_StartTextInput();
  SDL_Rect bounds;
  if (SDL_GetDisplayBounds(0, &bounds) == 0)
    win32::SetDisplaySize(bounds.w, bounds.h);
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = PumpProc;
  wc.lpszClassName = L"TernSdlPump";
  RegisterClassExW(&wc);
  s.pump_window = CreateWindowExW(0, L"TernSdlPump", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
  s.initialised = true;
  return true;
}

void StartWatcher(SDL_Window* window) {
  SdlState& s = S();
  if (s.watcher.joinable())
    return;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
    return;  // The offscreen driver has no input to wait for.
  s.display = info.info.x11.display;
  s.x_fd = ConnectionNumber(info.info.x11.display);
  s.watcher = std::thread(WatchX, s.x_fd, s.pump_window);
  s.watcher.detach();
}

// SDL calls that talk to the X server (moving, drawing) may read input into
// Xlib's queue, where the watcher's poll() cannot see it; pump it now.
void PumpIfQueued() {
  SdlState& s = S();
  if (s.display && s.pump_window && XEventsQueued(s.display, QueuedAlready) > 0)
    PostMessageW(s.pump_window, kPumpSdl, 0, 0);
}

}  // namespace

namespace {
std::wstring& LocalClipboard() {
  static std::wstring* text = new std::wstring;
  return *text;
}
}  // namespace

void CPresenter::SetClipboardText(const std::wstring& text) {
  if (S().initialised && SDL_SetClipboardText(ToUtf8(text).c_str()) == 0)
    return;
  LocalClipboard() = text;
}

std::wstring CPresenter::GetClipboardText() {
  if (S().initialised) {
    char* text = SDL_GetClipboardText();
    std::wstring out = text ? FromUtf8(text) : std::wstring();
    SDL_free(text);
    return out;
  }
  return LocalClipboard();
}

void CPresenter::OpenDisplay() {
  if (Enabled())
    InitSdl();
}

bool CPresenter::Enabled() {
  const char* headless = std::getenv("TERN_HEADLESS");
  if (headless && std::string(headless) == "1")
    return false;
  return std::getenv("DISPLAY") || std::getenv("SDL_VIDEODRIVER");
}

std::unique_ptr<CPresenter> CPresenter::Create(HWND hwnd) {
  if (!Enabled() || !InitSdl())
    return nullptr;
  RECT r;
  GetWindowRect(hwnd, &r);
  SDL_Window* w = SDL_CreateWindow("", r.left, r.top, std::max<int>(1, r.right - r.left),
                                   std::max<int>(1, r.bottom - r.top),
                                   SDL_WINDOW_BORDERLESS | SDL_WINDOW_HIDDEN);
  if (!w) {
    LOG(WARNING) << "SDL window failed: " << SDL_GetError();
    return nullptr;
  }
  wchar_t title[256];
  GetWindowTextW(hwnd, title, 256);
  SDL_SetWindowTitle(w, ToUtf8(title).c_str());
  S().windows[SDL_GetWindowID(w)] = hwnd;
  // An owned window stays above its owner and goes with it when the window
  // manager minimises it (WM_TRANSIENT_FOR).
  HWND owner = GetWindow(hwnd, GW_OWNER);
  for (auto& [id, h] : S().windows) {
    if (h == owner && owner) {
      if (SDL_Window* owner_window = SDL_GetWindowFromID(id))
        SDL_SetWindowModalFor(w, owner_window);
    }
  }
  if (GetWindowLongW(hwnd, GWL_EXSTYLE) & WS_EX_TOPMOST)
    SDL_SetWindowAlwaysOnTop(w, SDL_TRUE);
  StartWatcher(w);
  return std::unique_ptr<CPresenter>(new CPresenter(hwnd, w));
}

CPresenter::~CPresenter() {
  S().windows.erase(SDL_GetWindowID(window_));
  if (S().active == hwnd_)
    S().active = nullptr;
  if (S().dragging == hwnd_)
    S().dragging = nullptr;
  SDL_DestroyWindow(window_);
}

void CPresenter::Show(bool show) {
  if (show) {
    Move(hwnd_);
    if ((SDL_GetWindowFlags(window_) & SDL_WINDOW_MINIMIZED) && !IsIconic(hwnd_))
      SDL_RestoreWindow(window_);
    SDL_ShowWindow(window_);
    SDL_RaiseWindow(window_);
    Activate(hwnd_, WA_ACTIVE);
  } else {
    // With no tray on the desktop a window closed to the tray would be out of
    // reach: it stays on the taskbar, minimised.
    if (tray_host::IconOf(hwnd_, nullptr) && !tray_host::HostAvailable())
      SDL_MinimizeWindow(window_);
    else
      SDL_HideWindow(window_);
    if (S().active == hwnd_)
      S().active = nullptr;
  }
  PumpIfQueued();
}

void CPresenter::Move(HWND hwnd) {
  RECT r;
  if (GetWindowRect(hwnd, &r))
    SDL_SetWindowPosition(window_, r.left, r.top);
  PumpIfQueued();
}

void CPresenter::SetMinimized(bool minimized) {
  bool shown_minimized = (SDL_GetWindowFlags(window_) & SDL_WINDOW_MINIMIZED) != 0;
  if (minimized && !shown_minimized)
    SDL_MinimizeWindow(window_);
  else if (!minimized && shown_minimized)
    SDL_RestoreWindow(window_);
  PumpIfQueued();
}

void CPresenter::Resize(SIZE size) {
  SDL_SetWindowSize(window_, std::max<int>(1, size.cx), std::max<int>(1, size.cy));
}

namespace {

// Transparent pixels of the frame are not part of the window on the desktop
// (rounded corners, the transparent 20x20 parent window): the X window's
// shape is the set of pixels with any opacity.
void ShapeToAlpha(SDL_Window* window, cairo_surface_t* surface) {
  SdlState& s = S();
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!s.display || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11)
    return;
  int w = cairo_image_surface_get_width(surface);
  int h = cairo_image_surface_get_height(surface);
  int stride = cairo_image_surface_get_stride(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  std::vector<XRectangle> runs;
  bool all_opaque = true;
  for (int y = 0; y < h; ++y) {
    const uint32_t* row = reinterpret_cast<const uint32_t*>(data + y * stride);
    int x = 0;
    while (x < w) {
      while (x < w && (row[x] >> 24) == 0) {
        all_opaque = false;
        ++x;
      }
      int start = x;
      while (x < w && (row[x] >> 24) != 0)
        ++x;
      if (x > start) {
        runs.push_back({static_cast<short>(start), static_cast<short>(y),
                        static_cast<unsigned short>(x - start), 1});
      }
    }
  }
  if (all_opaque) {
    XShapeCombineMask(s.display, info.info.x11.window, ShapeBounding, 0, 0, None, ShapeSet);
  } else {
    XShapeCombineRectangles(s.display, info.info.x11.window, ShapeBounding, 0, 0, runs.data(),
                            static_cast<int>(runs.size()), ShapeSet, Unsorted);
  }
  XFlush(s.display);
}

}  // namespace

void CPresenter::Present(cairo_surface_t* surface, const RECT& dirty) {
  int w = cairo_image_surface_get_width(surface);
  int h = cairo_image_surface_get_height(surface);
  SDL_Surface* src = SDL_CreateRGBSurfaceWithFormatFrom(cairo_image_surface_get_data(surface), w, h,
                                                        32, cairo_image_surface_get_stride(surface),
                                                        SDL_PIXELFORMAT_ARGB8888);
  SDL_Surface* dst = SDL_GetWindowSurface(window_);
  if (src && dst) {
    SDL_SetSurfaceBlendMode(src, SDL_BLENDMODE_NONE);
    SDL_Rect rect = {static_cast<int>(dirty.left), static_cast<int>(dirty.top),
                     static_cast<int>(dirty.right - dirty.left),
                     static_cast<int>(dirty.bottom - dirty.top)};
    SDL_BlitSurface(src, &rect, dst, &rect);
    SDL_UpdateWindowSurfaceRects(window_, &rect, 1);
    // The shape follows whole-frame paints (first paint, size changes).
    if (dirty.left == 0 && dirty.top == 0 && dirty.right == w && dirty.bottom == h)
      ShapeToAlpha(window_, surface);
  }
  if (src)
    SDL_FreeSurface(src);
  PumpIfQueued();
}

void CPresenter::InstallMessageBox() {
  win32::SetMessageBoxImplementation(&CMessageBoxWnd::Show);
}

}  // namespace DuiLib
