#include "client/windows/window_drawer.h"

WindowDrawer::WindowDrawer() = default;

WindowDrawer::~WindowDrawer() {
  if (sliding_ && ::IsWindow(m_hWnd))
    ::KillTimer(m_hWnd, kSlideTimerId);
}

void WindowDrawer::InitWindow() {
  msg_wnd_ = m_pm.FindControl(L"acc_msg_wnd");
  msg_show_ = m_pm.FindControl(L"acc_msg_show");
}

void WindowDrawer::SetMessageText(const wchar_t* text) {
  if (msg_show_)
    msg_show_->SetText(text);
}

void WindowDrawer::MotionMove(bool show) {
  if (sliding_ || !::IsWindow(m_hWnd))
    return;
  showing_ = show;
  if (show) {
    ::ShowWindow(m_hWnd, SW_SHOWNOACTIVATE);
    hidden_height_ = kHeight;
  } else {
    hidden_height_ = 0;
  }
  if (::SetTimer(m_hWnd, kSlideTimerId, kSlideIntervalMs, nullptr))
    sliding_ = true;
}

void WindowDrawer::Tick() {
  if (showing_) {
    hidden_height_ -= step_;
    if (hidden_height_ <= 0) {
      hidden_height_ = 0;
      ::KillTimer(m_hWnd, kSlideTimerId);
      sliding_ = false;
    }
    ::MoveWindow(m_hWnd, 0, -hidden_height_, kWidth, kHeight, TRUE);
    return;
  }
  hidden_height_ += step_;
  if (hidden_height_ < kHeight) {
    ::MoveWindow(m_hWnd, 0, -hidden_height_, kWidth, kHeight, TRUE);
    return;
  }
  hidden_height_ = kHeight;
  ::ShowWindow(m_hWnd, SW_HIDE);
  ::MoveWindow(m_hWnd, 0, -kHeight, kWidth, kHeight, TRUE);
  ::KillTimer(m_hWnd, kSlideTimerId);
  sliding_ = false;
}

LRESULT WindowDrawer::HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM, BOOL& handled) {
  if (msg == WM_TIMER && wparam == kSlideTimerId) {
    // A tick already queued when the slide ended changes nothing.
    if (sliding_)
      Tick();
    handled = TRUE;
    return 0;
  }
  handled = FALSE;
  return 0;
}
