#include "duilib/render_engine.h"

#include <pango/pangocairo.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <map>

#include "duilib/paint_manager_ui.h"

// fontconfig keeps its configuration for the life of the process; leak
// checkers should not count it against the programs that draw text.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libfontconfig.so\n";
}

namespace DuiLib {

constexpr double kPi = 3.14159265358979323846;
namespace {

// Fonts named by the window files are Windows fonts that Linux lacks. Latin
// text takes a Latin face first: the CJK face's own Latin letters set "rn"
// so tightly that "Tern" reads "Tem". Chinese falls through to the CJK face.
constexpr const char* kFallbackFamilies =
    ",DejaVu Sans,WenQuanYi Zen Hei,Noto Sans CJK SC,sans-serif";

PangoFontDescription* FontFor(CPaintManagerUI* manager, int font) {
  static std::map<std::string, PangoFontDescription*>* cache =
      new std::map<std::string, PangoFontDescription*>;
  const TFontInfo* info = manager ? manager->GetFontInfo(font) : nullptr;
  TFontInfo fallback;
  if (!info)
    info = &fallback;
  std::string family = ToUtf8(info->sFontName.str()) + kFallbackFamilies;
  std::string key = family + "|" + std::to_string(info->iSize) + (info->bBold ? "b" : "") +
                    (info->bItalic ? "i" : "");
  auto it = cache->find(key);
  if (it != cache->end())
    return it->second;
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, family.c_str());
  pango_font_description_set_absolute_size(desc, std::max(1, info->iSize) * PANGO_SCALE);
  pango_font_description_set_weight(desc, info->bBold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_font_description_set_style(desc, info->bItalic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
  (*cache)[key] = desc;
  return desc;
}

bool Underlined(CPaintManagerUI* manager, int font) {
  const TFontInfo* info = manager ? manager->GetFontInfo(font) : nullptr;
  return info && info->bUnderline;
}

// A context for measuring text outside of painting.
cairo_t* MeasureContext() {
  static cairo_t* cr = [] {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* c = cairo_create(s);
    cairo_surface_destroy(s);
    return c;
  }();
  return cr;
}

PangoLayout* MakeLayout(cairo_t* cr,
                        CPaintManagerUI* manager,
                        const std::string& text,
                        int font,
                        int width,
                        UINT style) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  pango_layout_set_font_description(layout, FontFor(manager, font));
  pango_layout_set_text(layout, text.c_str(), -1);
  if (Underlined(manager, font)) {
    PangoAttrList* attrs = pango_attr_list_new();
    pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
    pango_layout_set_attributes(layout, attrs);
    pango_attr_list_unref(attrs);
  }
  if (style & DT_WORDBREAK) {
    pango_layout_set_width(layout, std::max(1, width) * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    if (style & DT_CENTER)
      pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
    else if (style & DT_RIGHT)
      pango_layout_set_alignment(layout, PANGO_ALIGN_RIGHT);
  } else {
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    if ((style & DT_END_ELLIPSIS) && width > 0) {
      pango_layout_set_width(layout, width * PANGO_SCALE);
      pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    }
  }
  return layout;
}

struct Reader {
  const std::string* data;
  size_t pos;
};

cairo_status_t ReadPng(void* closure, unsigned char* out, unsigned int length) {
  auto* r = static_cast<Reader*>(closure);
  if (r->pos + length > r->data->size())
    return CAIRO_STATUS_READ_ERROR;
  std::memcpy(out, r->data->data() + r->pos, length);
  r->pos += length;
  return CAIRO_STATUS_SUCCESS;
}

uint32_t Le32(const std::string& b, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

uint16_t Le16(const std::string& b, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(b[at]) |
                               static_cast<unsigned char>(b[at + 1]) << 8);
}

// Uncompressed BMP with 1, 4, 8, 24 or 32 bits per pixel.
cairo_surface_t* DecodeBmp(const std::string& b) {
  if (b.size() < 54 || b[0] != 'B' || b[1] != 'M')
    return nullptr;
  uint32_t offset = Le32(b, 10);
  uint32_t header = Le32(b, 14);
  if (header < 40 || 14 + static_cast<size_t>(header) > b.size())
    return nullptr;
  int32_t width = static_cast<int32_t>(Le32(b, 18));
  int32_t height = static_cast<int32_t>(Le32(b, 22));
  uint16_t bpp = Le16(b, 28);
  uint32_t compression = Le32(b, 30);
  uint32_t colors = Le32(b, 46);
  bool top_down = height < 0;
  if (height < 0)
    height = -height;
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
    return nullptr;
  if (!(compression == 0 || (compression == 3 && bpp == 32)))
    return nullptr;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32)
    return nullptr;
  size_t stride = ((static_cast<size_t>(bpp) * width + 31) / 32) * 4;
  if (offset > b.size() || stride * height > b.size() - offset)
    return nullptr;
  std::vector<uint32_t> palette;
  if (bpp <= 8) {
    if (colors == 0 || colors > (1u << bpp))
      colors = 1u << bpp;
    size_t at = 14 + header;
    if (at + colors * 4 > b.size())
      return nullptr;
    for (uint32_t i = 0; i < colors; ++i)
      palette.push_back(0xFF000000u | (Le32(b, at + i * 4) & 0xFFFFFF));
  }
  cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
  unsigned char* dst = cairo_image_surface_get_data(s);
  int dst_stride = cairo_image_surface_get_stride(s);
  for (int y = 0; y < height; ++y) {
    const unsigned char* row = reinterpret_cast<const unsigned char*>(b.data()) + offset +
                               stride * (top_down ? y : height - 1 - y);
    auto* out = reinterpret_cast<uint32_t*>(dst + y * dst_stride);
    for (int x = 0; x < width; ++x) {
      uint32_t px = 0xFF000000u;
      if (bpp == 24) {
        px |= row[x * 3] | row[x * 3 + 1] << 8 | row[x * 3 + 2] << 16;
      } else if (bpp == 32) {
        // Most 32-bit bitmaps leave alpha at zero; they are opaque.
        px |= row[x * 4] | row[x * 4 + 1] << 8 | row[x * 4 + 2] << 16;
      } else {
        int per_byte = 8 / bpp;
        int byte = row[x / per_byte];
        int shift = (per_byte - 1 - x % per_byte) * bpp;
        uint32_t index = (byte >> shift) & ((1 << bpp) - 1);
        px = index < palette.size() ? palette[index] : 0xFF000000u;
      }
      out[x] = px;
    }
  }
  cairo_surface_mark_dirty(s);
  return s;
}

void DrawPart(cairo_t* cr, cairo_surface_t* image, const RECT& src, const RECT& dst, int fade) {
  int sw = src.right - src.left;
  int sh = src.bottom - src.top;
  int dw = dst.right - dst.left;
  int dh = dst.bottom - dst.top;
  if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0)
    return;
  cairo_save(cr);
  cairo_rectangle(cr, dst.left, dst.top, dw, dh);
  cairo_clip(cr);
  cairo_translate(cr, dst.left, dst.top);
  cairo_scale(cr, static_cast<double>(dw) / sw, static_cast<double>(dh) / sh);
  cairo_set_source_surface(cr, image, -src.left, -src.top);
  cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
  if (fade >= 255)
    cairo_paint(cr);
  else
    cairo_paint_with_alpha(cr, std::max(0, fade) / 255.0);
  cairo_restore(cr);
}

}  // namespace

TImageInfo::~TImageInfo() {
  if (surface)
    cairo_surface_destroy(surface);
}

bool TDrawInfo::Parse(const wchar_t* description) {
  std::wstring s = description ? description : L"";
  if (s.empty())
    return false;
  if (s.find(L"='") == std::wstring::npos && s.find(L"=\"") == std::wstring::npos) {
    sFile = s;
    return true;
  }
  size_t i = 0;
  while (i < s.size()) {
    while (i < s.size() && s[i] == L' ')
      ++i;
    size_t eq = s.find(L'=', i);
    if (eq == std::wstring::npos || eq + 1 >= s.size())
      break;
    std::wstring key = s.substr(i, eq - i);
    wchar_t quote = s[eq + 1];
    if (quote != L'\'' && quote != L'"')
      return false;
    size_t end = s.find(quote, eq + 2);
    if (end == std::wstring::npos)
      return false;
    std::wstring value = s.substr(eq + 2, end - eq - 2);
    if (key == L"file" || key == L"res") {
      sFile = value;
    } else if (key == L"source") {
      bHasSource = ParseRect(value.c_str(), &rcSource);
    } else if (key == L"dest") {
      bHasDest = ParseRect(value.c_str(), &rcDest);
    } else if (key == L"corner") {
      ParseRect(value.c_str(), &rcCorner);
    } else if (key == L"fade") {
      uFade = std::clamp(static_cast<int>(std::wcstol(value.c_str(), nullptr, 10)), 0, 255);
    }
    i = end + 1;
  }
  return !sFile.IsEmpty();
}

std::unique_ptr<TImageInfo> CRenderEngine::DecodeImage(const std::string& bytes) {
  cairo_surface_t* s = nullptr;
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), "\x89PNG", 4) == 0) {
    Reader r{&bytes, 0};
    s = cairo_image_surface_create_from_png_stream(ReadPng, &r);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
      cairo_surface_destroy(s);
      s = nullptr;
    }
  } else {
    s = DecodeBmp(bytes);
  }
  if (!s)
    return nullptr;
  auto info = std::make_unique<TImageInfo>();
  info->surface = s;
  info->nX = cairo_image_surface_get_width(s);
  info->nY = cairo_image_surface_get_height(s);
  return info;
}

void CRenderEngine::SetSourceArgb(cairo_t* cr, DWORD argb) {
  cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0,
                        (argb & 0xFF) / 255.0, ((argb >> 24) & 0xFF) / 255.0);
}

void CRenderEngine::DrawColor(HDC hdc, const RECT& rc, DWORD argb) {
  if (!(argb >> 24) || IsRectEmpty(&rc))
    return;
  cairo_t* cr = Cairo(hdc);
  SetSourceArgb(cr, argb);
  cairo_rectangle(cr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
  cairo_fill(cr);
}

void CRenderEngine::DrawRect(HDC hdc, const RECT& rc, int size, DWORD argb) {
  cairo_t* cr = Cairo(hdc);
  SetSourceArgb(cr, argb);
  cairo_set_line_width(cr, size);
  double half = size / 2.0;
  cairo_rectangle(cr, rc.left + half, rc.top + half, rc.right - rc.left - size,
                  rc.bottom - rc.top - size);
  cairo_stroke(cr);
}

void CRenderEngine::DrawRoundRect(HDC hdc,
                                  const RECT& rc,
                                  int size,
                                  int width,
                                  int height,
                                  DWORD argb) {
  cairo_t* cr = Cairo(hdc);
  double r = std::max(width, height) / 2.0;
  double half = size / 2.0;
  double x = rc.left + half, y = rc.top + half;
  double w = rc.right - rc.left - size, h = rc.bottom - rc.top - size;
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
  cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
  cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
  cairo_close_path(cr);
  SetSourceArgb(cr, argb);
  cairo_set_line_width(cr, size);
  cairo_stroke(cr);
}

void CRenderEngine::DrawImageRect(HDC hdc,
                                  TImageInfo* image,
                                  const RECT& dest,
                                  const RECT& source,
                                  const RECT& corner,
                                  int fade) {
  cairo_t* cr = Cairo(hdc);
  if (corner.left == 0 && corner.top == 0 && corner.right == 0 && corner.bottom == 0) {
    DrawPart(cr, image->surface, source, dest, fade);
    return;
  }
  // Nine parts: corners keep their size, edges and middle stretch.
  int sx[4] = {source.left, source.left + corner.left, source.right - corner.right, source.right};
  int sy[4] = {source.top, source.top + corner.top, source.bottom - corner.bottom, source.bottom};
  int dx[4] = {dest.left, dest.left + corner.left, dest.right - corner.right, dest.right};
  int dy[4] = {dest.top, dest.top + corner.top, dest.bottom - corner.bottom, dest.bottom};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) {
      RECT s = {sx[col], sy[row], sx[col + 1], sy[row + 1]};
      RECT d = {dx[col], dy[row], dx[col + 1], dy[row + 1]};
      DrawPart(cr, image->surface, s, d, fade);
    }
  }
}

bool CRenderEngine::DrawImage(HDC hdc,
                              CPaintManagerUI* manager,
                              const RECT& item,
                              const RECT& paint,
                              const TDrawInfo& info) {
  TImageInfo* image = manager->GetImage(info.sFile);
  if (!image)
    return false;
  RECT source = info.bHasSource ? info.rcSource : RECT{0, 0, image->nX, image->nY};
  source.right = std::min<LONG>(source.right, image->nX);
  source.bottom = std::min<LONG>(source.bottom, image->nY);
  RECT dest = item;
  if (info.bHasDest) {
    dest = {item.left + info.rcDest.left, item.top + info.rcDest.top, item.left + info.rcDest.right,
            item.top + info.rcDest.bottom};
    dest.right = std::min(dest.right, item.right);
    dest.bottom = std::min(dest.bottom, item.bottom);
  }
  RECT visible;
  if (!IntersectRect(&visible, &dest, &paint))
    return true;
  DrawImageRect(hdc, image, dest, source, info.rcCorner, info.uFade);
  return true;
}

void CRenderEngine::DrawText(HDC hdc,
                             CPaintManagerUI* manager,
                             RECT& rc,
                             const wchar_t* text,
                             DWORD argb,
                             int font,
                             UINT style) {
  if (!text || !*text || IsRectEmpty(&rc))
    return;
  cairo_t* cr = Cairo(hdc);
  int width = rc.right - rc.left;
  PangoLayout* layout = MakeLayout(cr, manager, ToUtf8(text), font, width, style);
  int tw = 0, th = 0;
  pango_layout_get_pixel_size(layout, &tw, &th);
  double x = rc.left;
  if (!(style & DT_WORDBREAK)) {
    if (style & DT_CENTER)
      x = rc.left + (width - tw) / 2;
    else if (style & DT_RIGHT)
      x = rc.right - tw;
  }
  double y = rc.top;
  if (style & DT_VCENTER)
    y = rc.top + (rc.bottom - rc.top - th) / 2;
  else if (style & DT_BOTTOM)
    y = rc.bottom - th;
  cairo_save(cr);
  cairo_rectangle(cr, rc.left, rc.top, width, rc.bottom - rc.top);
  cairo_clip(cr);
  SetSourceArgb(cr, argb);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
  g_object_unref(layout);
}

namespace {

struct HtmlRun {
  std::string text;
  DWORD color;
  bool bold;
  bool italic;
  bool underline;
  int font;
  int x_advance;  // {x N} before this run
};

struct HtmlLine {
  std::vector<HtmlRun> runs;
  int min_height = 0;
};

std::vector<HtmlLine> ParseHtml(const std::wstring& s, DWORD color, int font) {
  std::vector<HtmlLine> lines(1);
  std::vector<DWORD> colors = {color};
  std::vector<int> fonts = {font};
  bool bold = false, italic = false, underline = false;
  int pending_x = 0;
  std::wstring run;
  auto flush = [&]() {
    if (run.empty() && pending_x == 0)
      return;
    lines.back().runs.push_back(
        {ToUtf8(run), colors.back(), bold, italic, underline, fonts.back(), pending_x});
    run.clear();
    pending_x = 0;
  };
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != L'{') {
      run += s[i];
      continue;
    }
    size_t close = s.find(L'}', i);
    if (close == std::wstring::npos) {
      run += s.substr(i);
      break;
    }
    std::wstring tag = s.substr(i + 1, close - i - 1);
    std::wstring name = tag.substr(0, tag.find(L' '));
    std::wstring arg = tag.find(L' ') == std::wstring::npos ? L"" : tag.substr(tag.find(L' ') + 1);
    bool known = true;
    if (name == L"n") {
      flush();
      lines.emplace_back();
    } else if (name == L"y") {
      lines.back().min_height = static_cast<int>(std::wcstol(arg.c_str(), nullptr, 10));
    } else if (name == L"x") {
      flush();
      pending_x = static_cast<int>(std::wcstol(arg.c_str(), nullptr, 10));
    } else if (name == L"c") {
      DWORD c;
      if (!ParseColor(arg.c_str(), &c)) {
        known = false;
      } else {
        flush();
        colors.push_back(c);
      }
    } else if (name == L"/c") {
      flush();
      if (colors.size() > 1)
        colors.pop_back();
    } else if (name == L"f") {
      flush();
      fonts.push_back(static_cast<int>(std::wcstol(arg.c_str(), nullptr, 10)));
    } else if (name == L"/f") {
      flush();
      if (fonts.size() > 1)
        fonts.pop_back();
    } else if (name == L"b" || name == L"/b") {
      flush();
      bold = name == L"b";
    } else if (name == L"i" || name == L"/i") {
      flush();
      italic = name == L"i";
    } else if (name == L"u" || name == L"/u") {
      flush();
      underline = name == L"u";
    } else if (name == L"a" || name == L"/a" || name == L"p" || name == L"/p") {
      // Links and paragraphs are shown as plain text.
    } else {
      known = false;
    }
    if (!known)
      run += L"{" + tag + L"}";
    i = close;
  }
  flush();
  return lines;
}

PangoLayout* RunLayout(cairo_t* cr, CPaintManagerUI* manager, const HtmlRun& run) {
  PangoLayout* layout = MakeLayout(cr, manager, run.text, run.font, 0, DT_SINGLELINE);
  PangoAttrList* attrs = pango_attr_list_new();
  if (run.bold)
    pango_attr_list_insert(attrs, pango_attr_weight_new(PANGO_WEIGHT_BOLD));
  if (run.italic)
    pango_attr_list_insert(attrs, pango_attr_style_new(PANGO_STYLE_ITALIC));
  if (run.underline || Underlined(manager, run.font))
    pango_attr_list_insert(attrs, pango_attr_underline_new(PANGO_UNDERLINE_SINGLE));
  pango_layout_set_attributes(layout, attrs);
  pango_attr_list_unref(attrs);
  return layout;
}

}  // namespace

void CRenderEngine::DrawHtmlText(HDC hdc,
                                 CPaintManagerUI* manager,
                                 RECT& rc,
                                 const wchar_t* text,
                                 DWORD argb,
                                 int font,
                                 UINT style) {
  if (!text || !*text || IsRectEmpty(&rc))
    return;
  cairo_t* cr = Cairo(hdc);
  std::vector<HtmlLine> lines = ParseHtml(text, argb, font);
  // Measure first so the block can be aligned.
  struct Placed {
    PangoLayout* layout;
    int x;
    DWORD color;
  };
  std::vector<std::vector<Placed>> placed(lines.size());
  std::vector<int> heights(lines.size(), 0);
  std::vector<int> widths(lines.size(), 0);
  int total = 0;
  SIZE empty_line = GetTextSize(manager, L"Ay", font);
  for (size_t l = 0; l < lines.size(); ++l) {
    int x = 0;
    int h = lines[l].runs.empty() ? empty_line.cy : 0;
    for (const HtmlRun& run : lines[l].runs) {
      x += run.x_advance;
      PangoLayout* layout = RunLayout(cr, manager, run);
      int w = 0, rh = 0;
      pango_layout_get_pixel_size(layout, &w, &rh);
      placed[l].push_back({layout, x, run.color});
      x += w;
      h = std::max(h, rh);
    }
    heights[l] = std::max(h, lines[l].min_height);
    widths[l] = x;
    total += heights[l];
  }
  int y = rc.top;
  if (style & DT_VCENTER)
    y = rc.top + (rc.bottom - rc.top - total) / 2;
  else if (style & DT_BOTTOM)
    y = rc.bottom - total;
  cairo_save(cr);
  cairo_rectangle(cr, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top);
  cairo_clip(cr);
  for (size_t l = 0; l < lines.size(); ++l) {
    int left = rc.left;
    if (style & DT_CENTER)
      left = rc.left + (rc.right - rc.left - widths[l]) / 2;
    else if (style & DT_RIGHT)
      left = rc.right - widths[l];
    for (Placed& p : placed[l]) {
      int w = 0, h = 0;
      pango_layout_get_pixel_size(p.layout, &w, &h);
      SetSourceArgb(cr, p.color);
      // Runs sit on the bottom of a line that {y} made taller.
      cairo_move_to(cr, left + p.x, y + heights[l] - h);
      pango_cairo_show_layout(cr, p.layout);
      g_object_unref(p.layout);
    }
    y += heights[l];
  }
  cairo_restore(cr);
}

SIZE CRenderEngine::GetTextSize(CPaintManagerUI* manager,
                                const wchar_t* text,
                                int font,
                                int width) {
  std::string utf8 = ToUtf8(text ? text : L"");
  PangoLayout* layout = MakeLayout(MeasureContext(), manager, utf8, font, width,
                                   width > 0 ? DT_WORDBREAK : DT_SINGLELINE);
  int w = 0, h = 0;
  pango_layout_get_pixel_size(layout, &w, &h);
  g_object_unref(layout);
  if (utf8.empty())
    w = 0;
  return {w, h};
}

std::vector<std::string> CRenderEngine::FontFamiliesForTesting(CPaintManagerUI* manager,
                                                               const wchar_t* text,
                                                               int font) {
  std::string utf8 = ToUtf8(text ? text : L"");
  PangoLayout* layout = MakeLayout(MeasureContext(), manager, utf8, font, 0, DT_SINGLELINE);
  std::vector<std::string> families;
  PangoLayoutLine* line = pango_layout_get_line_readonly(layout, 0);
  for (GSList* run = line ? line->runs : nullptr; run; run = run->next) {
    auto* glyphs = static_cast<PangoGlyphItem*>(run->data);
    PangoFontDescription* desc = pango_font_describe(glyphs->item->analysis.font);
    families.push_back(pango_font_description_get_family(desc));
    pango_font_description_free(desc);
  }
  g_object_unref(layout);
  return families;
}

}  // namespace DuiLib
