#include "client/windows/slider_wnd.h"

CSliderWnd::CSliderWnd(AbstractCommunication* main_window) : main_window_(main_window) {}

CSliderWnd::~CSliderWnd() {
  if (::IsWindow(m_hWnd))
    ::DestroyWindow(m_hWnd);
}

LRESULT CSliderWnd::OnDestroy(UINT, WPARAM, LPARAM, BOOL& handled) {
  PostQuitMessage(0);
  handled = FALSE;
  return 0;
}
