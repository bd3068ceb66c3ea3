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

LRESULT ParentHWND::OnSysCommand(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled) {
  if ((wparam & 0xFFF0) == SC_RESTORE)
    flag_ = 0;
  return WindowImplBase::OnSysCommand(msg, wparam, lparam, handled);
}
