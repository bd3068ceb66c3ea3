// Drawing with cairo and pango: colours, images from the skin, text with the
// inline formatting marks. The HDC handed around is the cairo context of the
// window being painted (reinterpret_cast), so custom controls can draw with
// cairo directly.
#ifndef DUILIB_RENDER_ENGINE_H_
#define DUILIB_RENDER_ENGINE_H_

#include <cairo.h>

#include <memory>
#include <string>
#include <vector>

#include "duilib/ui_base.h"

namespace DuiLib {

class CPaintManagerUI;

struct TFontInfo {
  CDuiString sFontName;
  int iSize = 12;
  bool bBold = false;
  bool bUnderline = false;
  bool bItalic = false;
};

// A decoded image (PNG or BMP) as a premultiplied ARGB surface.
struct TImageInfo {
  cairo_surface_t* surface = nullptr;
  int nX = 0;
  int nY = 0;
  ~TImageInfo();
};

// The parts of an image description in the window file.
struct TDrawInfo {
  CDuiString sFile;
  RECT rcSource = {0, 0, 0, 0};
  RECT rcDest = {0, 0, 0, 0};
  RECT rcCorner = {0, 0, 0, 0};
  int uFade = 255;
  bool bHasSource = false;
  bool bHasDest = false;
  bool Parse(const wchar_t* description);
};

class CRenderEngine {
 public:
  static cairo_t* Cairo(HDC hdc) { return reinterpret_cast<cairo_t*>(hdc); }
  static HDC ToHDC(cairo_t* cr) { return reinterpret_cast<HDC>(cr); }

  // Decodes PNG or BMP bytes; null when the data is neither or is damaged.
  static std::unique_ptr<TImageInfo> DecodeImage(const std::string& bytes);

  static void DrawColor(HDC hdc, const RECT& rc, DWORD argb);
  static void DrawRect(HDC hdc, const RECT& rc, int size, DWORD argb);
  static void DrawRoundRect(HDC hdc, const RECT& rc, int size, int width, int height, DWORD argb);
  // Draws `info` into `item` (the control's rectangle), clipped to `paint`.
  static bool DrawImage(HDC hdc,
                        CPaintManagerUI* manager,
                        const RECT& item,
                        const RECT& paint,
                        const TDrawInfo& info);
  static void DrawImageRect(HDC hdc,
                            TImageInfo* image,
                            const RECT& dest,
                            const RECT& source,
                            const RECT& corner,
                            int fade);
  // Plain text with alignment flags (DT_*) in `font`.
  static void DrawText(HDC hdc,
                       CPaintManagerUI* manager,
                       RECT& rc,
                       const wchar_t* text,
                       DWORD argb,
                       int font,
                       UINT style);
  // Text with the marks {n} (new line), {y N} (line height at least N),
  // {x N} (advance N pixels), {c #AARRGGBB}..{/c}, {b}..{/b}, {i}..{/i},
  // {u}..{/u}, {f N}..{/f} (font N); unknown marks are shown as typed.
  static void DrawHtmlText(HDC hdc,
                           CPaintManagerUI* manager,
                           RECT& rc,
                           const wchar_t* text,
                           DWORD argb,
                           int font,
                           UINT style);
  // Size of `text` in `font` on one line (or wrapped to `width` when > 0).
  static SIZE GetTextSize(CPaintManagerUI* manager, const wchar_t* text, int font, int width = 0);
  // The font families pango picked for the runs of `text`, in order.
  static std::vector<std::string> FontFamiliesForTesting(CPaintManagerUI* manager,
                                                         const wchar_t* text,
                                                         int font);
  static void SetSourceArgb(cairo_t* cr, DWORD argb);
};

}  // namespace DuiLib

#endif  // DUILIB_RENDER_ENGINE_H_
