// The message bar that slides down from the top edge of its parent
// ("PopWnd.xml", 360x40): one pixel every 3 ms, so a slide takes 40 ticks.
// A request while sliding is ignored. UI thread only.
#ifndef CLIENT_WINDOWS_WINDOW_DRAWER_H_
#define CLIENT_WINDOWS_WINDOW_DRAWER_H_

#include "duilib/window_impl_base.h"

class WindowDrawer : public DuiLib::WindowImplBase {
 public:
  static constexpr UINT_PTR kSlideTimerId = 1;
  static constexpr UINT kSlideIntervalMs = 3;
  static constexpr int kWidth = 360;
  static constexpr int kHeight = 40;

  WindowDrawer();
  ~WindowDrawer() override;

  // Slides the bar into view (true) or out of it (false); does nothing
  // while a slide runs.
  void MotionMove(bool show);
  // Puts `text` into the bar ("acc_msg_show").
  void SetMessageText(const wchar_t* text);

  bool IsSliding() const { return sliding_; }
  int hidden_height() const { return hidden_height_; }

 protected:
  const wchar_t* GetWindowClassName() const override { return L"Window Drawer"; }
  DuiLib::CDuiString GetSkinFile() override { return L"PopWnd.xml"; }
  void InitWindow() override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) override;

 private:
  void Tick();

  DuiLib::CControlUI* msg_wnd_ = nullptr;   // "acc_msg_wnd"
  DuiLib::CControlUI* msg_show_ = nullptr;  // "acc_msg_show"
  bool sliding_ = false;
  bool showing_ = false;
  int step_ = 1;
  int hidden_height_ = 0;
};

#endif  // CLIENT_WINDOWS_WINDOW_DRAWER_H_
