#include "client/windows/circle_progress_ui.h"

#include <cmath>
#include <cwchar>

#include "duilib/render_engine.h"

namespace {

// Fills the pie of the ellipse inscribed in `rc` from `start` degrees,
// clockwise by `sweep` degrees (GDI+ angles: 0 is three o'clock).
void FillPie(cairo_t* cr, const RECT& rc, double start, double sweep, DWORD argb) {
  double w = rc.right - rc.left;
  double h = rc.bottom - rc.top;
  if (w <= 0 || h <= 0 || sweep <= 0)
    return;
  cairo_save(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_BEST);
  cairo_translate(cr, rc.left + w / 2, rc.top + h / 2);
  cairo_scale(cr, w / 2, h / 2);
  cairo_new_path(cr);
  if (sweep >= 360.0) {
    cairo_arc(cr, 0, 0, 1, 0, 2 * M_PI);
  } else {
    cairo_move_to(cr, 0, 0);
    cairo_arc(cr, 0, 0, 1, start * M_PI / 180.0, (start + sweep) * M_PI / 180.0);
    cairo_close_path(cr);
  }
  DuiLib::CRenderEngine::SetSourceArgb(cr, argb);
  cairo_fill(cr);
  cairo_restore(cr);
}

}  // namespace

IMPLEMENT_DUICONTROL(CCircleProgressUI)

const wchar_t* CCircleProgressUI::GetClass() const {
  return L"CircleProgress";
}

void* CCircleProgressUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"CircleProgress") == 0)
    return this;
  return CProgressUI::GetInterface(name);
}

void CCircleProgressUI::SetPos(RECT rc, bool need_invalidate) {
  CControlUI::SetPos(rc, need_invalidate);
}

void CCircleProgressUI::PaintBkColor(HDC hdc) {
  FillPie(DuiLib::CRenderEngine::Cairo(hdc), m_rcItem, 0, 360, kBackColor);
}

void CCircleProgressUI::PaintForeColor(HDC hdc) {
  cairo_t* cr = DuiLib::CRenderEngine::Cairo(hdc);
  int range = m_nMax - m_nMin;
  // An empty range would divide by zero; it draws no progress.
  if (range > 0) {
    double sweep = m_nValue * 1.0 / range * 360.0;
    FillPie(cr, m_rcItem, -90, sweep, kDoneColor);
  }
  RECT inner = {m_rcItem.left + kRingWidth, m_rcItem.top + kRingWidth, m_rcItem.right - kRingWidth,
                m_rcItem.bottom - kRingWidth};
  FillPie(cr, inner, 0, 360, kInnerDiscColor);
}
