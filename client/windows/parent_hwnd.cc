#include "client/windows/parent_hwnd.h"

namespace {
constexpr UINT kIconResource = 139;
}  // namespace

ParentHWND::~ParentHWND() {
  if (::IsWindow(m_hWnd))
    ::DestroyWindow(m_hWnd);
}

void ParentHWND::InitWindow() {
  SetIcon(kIconResource);
}

LRESULT ParentHWND::HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM, BOOL& handled) {
  if (msg == WM_SYSCOMMAND && (wparam & 0xFFF0) == SC_RESTORE)
    flag_ = 0;
  handled = FALSE;
  return 0;
}
