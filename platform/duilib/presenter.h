// Shows a window's rendered pixels in a borderless SDL window and feeds
// SDL's mouse, keyboard and text input back as window messages. Not used
// when there is no display (TERN_HEADLESS=1, or neither DISPLAY nor
// SDL_VIDEODRIVER is set): windows then only render off screen.
// Everything here runs on the UI thread.
#ifndef DUILIB_PRESENTER_H_
#define DUILIB_PRESENTER_H_

#include <cairo.h>

#include <memory>
#include <string>

#include "duilib/ui_base.h"

struct SDL_Window;

namespace DuiLib {

class CPresenter {
 public:
  static bool Enabled();
  // Opens the display early, so that the screen size is the real one before
  // the first window is placed. Does nothing headless.
  static void OpenDisplay();
  // Null when headless or when SDL cannot open a window.
  static std::unique_ptr<CPresenter> Create(HWND hwnd);
  // The system clipboard (the X selection through SDL); within the process
  // only when there is no display. UI thread.
  static void SetClipboardText(const std::wstring& text);
  static std::wstring GetClipboardText();
  // Makes MessageBoxW draw its boxes with this library.
  static void InstallMessageBox();
  ~CPresenter();

  void Show(bool show);
  void Move(HWND hwnd);
  void Resize(SIZE size);
  // Minimises (iconifies) or restores the window on the desktop.
  void SetMinimized(bool minimized);
  void Present(cairo_surface_t* surface, const RECT& dirty);

 private:
  CPresenter(HWND hwnd, SDL_Window* window) : hwnd_(hwnd), window_(window) {}
  HWND hwnd_;
  SDL_Window* window_;
};

}  // namespace DuiLib

#endif  // DUILIB_PRESENTER_H_
