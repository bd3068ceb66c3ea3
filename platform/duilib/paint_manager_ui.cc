#include "duilib/paint_manager_ui.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cwchar>
#include <fstream>
#include <map>
#include <sstream>

#include "base/logging.h"
#include "duilib/automation_server.h"
#include "duilib/container_ui.h"
#include "duilib/edit_ui.h"
#include "duilib/presenter.h"
#include "duilib/tray_host.h"
#include "duilib/zip_archive.h"
#include "win32/message_pump_hooks.h"
#include "win32/window_end_session.h"

namespace DuiLib {
namespace {

// Posted to run notifications sent with async = true.
constexpr UINT kAsyncNotifyMessage = WM_APP + 0x3F00;

struct Globals {
  HINSTANCE instance = nullptr;
  CDuiString resource_path;
  CDuiString resource_zip;
  int resource_type = UILIB_FILE;
  std::string zip_copy;  // a ZIP file read into memory
  CZipArchive zip;
  bool cached_zip = false;
  std::vector<CPaintManagerUI*> managers;
  struct CachedImage {
    std::unique_ptr<TImageInfo> image;
    time_t mtime = 0;
    off_t size = 0;
    bool from_archive = false;
  };
  std::map<std::wstring, CachedImage> images;
};

Globals& G() {
  static Globals* g = new Globals;
  return *g;
}

std::string NormalizeArchivePath(const std::wstring& path) {
  std::wstring p = path;
  std::replace(p.begin(), p.end(), L'\\', L'/');
  while (p.rfind(L"./", 0) == 0)
    p.erase(0, 2);
  while (!p.empty() && p[0] == L'/')
    p.erase(0, 1);
  return ToUtf8(p);
}

bool ReadFile(const std::string& path, std::string* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in)
    return false;
  std::ostringstream ss;
  ss << in.rdbuf();
  if (in.bad())
    return false;
  *out = ss.str();
  return true;
}

std::string DiskPath(const std::wstring& path) {
  std::wstring p = path;
  std::replace(p.begin(), p.end(), L'\\', L'/');
  if (!p.empty() && p[0] == L'/')
    return ToUtf8(p);
  std::wstring base = G().resource_path.str();
  std::replace(base.begin(), base.end(), L'\\', L'/');
  if (!base.empty() && base.back() != L'/')
    base += L'/';
  return ToUtf8(base + p);
}

bool PreTranslate(const MSG* msg) {
  return CPaintManagerUI::TranslateMessage(const_cast<LPMSG>(msg));
}

}  // namespace

CPaintManagerUI::CPaintManagerUI() {
  m_defaultFont.sFontName = L"微软雅黑";
  m_defaultFont.iSize = 12;
}

CPaintManagerUI::~CPaintManagerUI() {
  for (auto& t : m_timers)
    ::KillTimer(m_hWndPaint, t.window_timer);
  m_timers.clear();
  CControlUI* root = m_pRoot;
  m_pRoot = nullptr;
  m_pFocus = m_pEventHover = m_pEventClick = nullptr;
  delete root;
  if (m_surface)
    cairo_surface_destroy(m_surface);
  auto& list = G().managers;
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

void CPaintManagerUI::SetInstance(HINSTANCE instance) {
  G().instance = instance;
  win32::SetPreTranslateFilter(PreTranslate);
  CPresenter::InstallMessageBox();
  automation::StartFromEnvironment();
  win32::EndSessionOnSignals();
  tray_host::Start();
}

HINSTANCE CPaintManagerUI::GetInstance() {
  return G().instance;
}

HINSTANCE CPaintManagerUI::GetResourceDll() {
  return G().instance;
}

CDuiString CPaintManagerUI::GetInstancePath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof(buf) - 1);
  if (n <= 0)
    return CDuiString();
  std::string path(buf, n);
  return CDuiString(FromUtf8(path.substr(0, path.rfind('/') + 1)));
}

void CPaintManagerUI::SetResourcePath(const wchar_t* path) {
  G().resource_path = path;
}

const CDuiString& CPaintManagerUI::GetResourcePath() {
  return G().resource_path;
}

void CPaintManagerUI::SetResourceType(int type) {
  G().resource_type = type;
}

int CPaintManagerUI::GetResourceType() {
  return G().resource_type;
}

void CPaintManagerUI::SetResourceZip(LPVOID data, unsigned int size) {
  Globals& g = G();
  g.images.clear();
  if (!g.zip.Open(data, size)) {
    LOG(ERROR) << "The skin archive in memory is not a readable ZIP (" << size << " bytes)";
    g.resource_zip.Empty();
    return;
  }
  g.resource_zip = L"membuffer";
  g.cached_zip = true;
}

void CPaintManagerUI::SetResourceZip(const wchar_t* zip_file, bool cache) {
  Globals& g = G();
  g.images.clear();
  std::string path = DiskPath(zip_file ? zip_file : L"");
  if (!ReadFile(path, &g.zip_copy) || !g.zip.Open(g.zip_copy.data(), g.zip_copy.size())) {
    LOG(ERROR) << "Cannot open the skin archive " << path;
    g.resource_zip.Empty();
    return;
  }
  g.resource_zip = zip_file;
  g.cached_zip = cache;
}

const CDuiString& CPaintManagerUI::GetResourceZip() {
  return G().resource_zip;
}

bool CPaintManagerUI::IsCachedResourceZip() {
  return G().cached_zip;
}

bool CPaintManagerUI::LoadResourceData(const wchar_t* path, std::string* data) {
  if (!path || !*path)
    return false;
  Globals& g = G();
  std::wstring p = path;
  bool absolute = p[0] == L'/';
  if (!absolute && g.zip.IsOpen() && !g.resource_zip.IsEmpty()) {
    if (g.zip.Read(NormalizeArchivePath(p), data, true))
      return true;
  }
  return ReadFile(DiskPath(p), data);
}

bool CPaintManagerUI::TranslateMessage(const LPMSG msg) {
  if (!msg || !msg->hwnd)
    return false;
  // Key messages go to the pre-filters of the window that owns the target
  // and of its owners, nearest first.
  for (HWND h = msg->hwnd; h; h = ::GetParent(h)) {
    for (CPaintManagerUI* m : G().managers) {
      if (m->m_hWndPaint != h)
        continue;
      LRESULT result = 0;
      if (m->PreMessageHandler(msg->message, msg->wParam, msg->lParam, result))
        return true;
      if (h == msg->hwnd)
        return false;
    }
  }
  return false;
}

void CPaintManagerUI::MessageLoop() {
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0)) {
    if (!TranslateMessage(&msg)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
}

void CPaintManagerUI::Term() {
  Globals& g = G();
  g.images.clear();
  g.zip.Close();
  g.zip_copy.clear();
  g.resource_zip.Empty();
}

std::vector<CPaintManagerUI*> CPaintManagerUI::GetPaintManagers() {
  return G().managers;
}

void CPaintManagerUI::Init(HWND hwnd, const wchar_t* name) {
  CPresenter::OpenDisplay();
  m_hWndPaint = hwnd;
  m_sName = name;
  auto& list = G().managers;
  if (std::find(list.begin(), list.end(), this) == list.end())
    list.push_back(this);
}

bool CPaintManagerUI::AttachDialog(CControlUI* root) {
  if (!root)
    return false;
  SetFocus(nullptr);
  m_pEventHover = m_pEventClick = nullptr;
  delete m_pRoot;
  m_pRoot = root;
  m_bUpdateNeeded = true;
  m_bFirstLayout = true;
  return InitControls(root);
}

bool CPaintManagerUI::InitControls(CControlUI* control, CControlUI* parent) {
  if (!control)
    return false;
  control->SetManager(this, parent ? parent : control->GetParent(), true);
  control->Init();
  return true;
}

namespace {

bool IsInside(CControlUI* control, CControlUI* ancestor) {
  for (CControlUI* c = control; c; c = c->GetParent()) {
    if (c == ancestor)
      return true;
  }
  return false;
}

}  // namespace

void CPaintManagerUI::ReapObjects(CControlUI* control) {
  if (!control)
    return;
  if (IsInside(m_pFocus, control))
    m_pFocus = nullptr;
  if (IsInside(m_pEventHover, control))
    m_pEventHover = nullptr;
  if (IsInside(m_pEventClick, control))
    m_pEventClick = nullptr;
  if (IsInside(m_pScrollDrag, control))
    m_pScrollDrag = nullptr;
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (IsInside(it->sender, control)) {
      ::KillTimer(m_hWndPaint, it->window_timer);
      it = m_timers.erase(it);
    } else {
      ++it;
    }
  }
  m_asyncNotify.erase(
      std::remove_if(m_asyncNotify.begin(), m_asyncNotify.end(),
                     [&](const TNotifyUI& n) { return IsInside(n.pSender, control); }),
      m_asyncNotify.end());
}

namespace {

CControlUI* CALLBACK FindByName(CControlUI* control, LPVOID data) {
  return control->GetName() == static_cast<const wchar_t*>(data) ? control : nullptr;
}

CControlUI* CALLBACK FindAny(CControlUI* control, LPVOID) {
  return control;
}

// Notifier and filter lists hold each entry once.
template <typename T>
bool AddOnce(std::vector<T*>* list, T* item) {
  if (std::find(list->begin(), list->end(), item) != list->end())
    return false;
  list->push_back(item);
  return true;
}

template <typename T>
bool RemoveOnce(std::vector<T*>* list, T* item) {
  auto it = std::find(list->begin(), list->end(), item);
  if (it == list->end())
    return false;
  list->erase(it);
  return true;
}

}  // namespace

CControlUI* CPaintManagerUI::FindControl(const wchar_t* name) const {
  if (!m_pRoot || !name || !*name)
    return nullptr;
  return m_pRoot->FindControl(FindByName, const_cast<wchar_t*>(name), UIFIND_ALL);
}

CControlUI* CPaintManagerUI::FindControl(POINT pt) const {
  if (!m_pRoot)
    return nullptr;
  return m_pRoot->FindControl(FindAny, &pt, UIFIND_VISIBLE | UIFIND_HITTEST | UIFIND_TOP_FIRST);
}

CControlUI* CPaintManagerUI::FindSubControlByName(CControlUI* parent, const wchar_t* name) const {
  if (!parent || !name)
    return nullptr;
  return parent->FindControl(FindByName, const_cast<wchar_t*>(name), UIFIND_ALL);
}

bool CPaintManagerUI::AddNotifier(INotifyUI* notifier) {
  return AddOnce(&m_notifiers, notifier);
}

bool CPaintManagerUI::RemoveNotifier(INotifyUI* notifier) {
  return RemoveOnce(&m_notifiers, notifier);
}

void CPaintManagerUI::SendNotify(TNotifyUI& msg, bool async) {
  msg.ptMouse = m_ptLastMousePos;
  msg.dwTimestamp = static_cast<DWORD>(::GetMessageTime());
  if (async) {
    m_asyncNotify.push_back(msg);
    ::PostMessageW(m_hWndPaint, kAsyncNotifyMessage, 0, 0);
    return;
  }
  std::vector<INotifyUI*> notifiers = m_notifiers;
  for (INotifyUI* n : notifiers) {
    // A handler may remove other notifiers (closing a window).
    if (std::find(m_notifiers.begin(), m_notifiers.end(), n) != m_notifiers.end())
      n->Notify(msg);
  }
}

void CPaintManagerUI::SendNotify(CControlUI* control,
                                 const wchar_t* type,
                                 WPARAM wparam,
                                 LPARAM lparam,
                                 bool async) {
  TNotifyUI msg;
  msg.pSender = control;
  msg.sType = type;
  msg.wParam = wparam;
  msg.lParam = lparam;
  SendNotify(msg, async);
}

void CPaintManagerUI::FirePendingNotifies() {
  std::vector<TNotifyUI> pending;
  pending.swap(m_asyncNotify);
  for (TNotifyUI& n : pending)
    SendNotify(n, false);
}

bool CPaintManagerUI::AddPreMessageFilter(IMessageFilterUI* filter) {
  return AddOnce(&m_preFilters, filter);
}

bool CPaintManagerUI::RemovePreMessageFilter(IMessageFilterUI* filter) {
  return RemoveOnce(&m_preFilters, filter);
}

bool CPaintManagerUI::AddMessageFilter(IMessageFilterUI* filter) {
  return AddOnce(&m_filters, filter);
}

bool CPaintManagerUI::RemoveMessageFilter(IMessageFilterUI* filter) {
  return RemoveOnce(&m_filters, filter);
}

bool CPaintManagerUI::SetTimer(CControlUI* control, UINT id, UINT elapse_ms) {
  if (!control || !m_hWndPaint)
    return false;
  for (auto& t : m_timers) {
    if (t.sender == control && t.id == id)
      return ::SetTimer(m_hWndPaint, t.window_timer, elapse_ms, nullptr) != 0;
  }
  TimerInfo info = {control, id, ++m_nextTimerId};
  if (!::SetTimer(m_hWndPaint, info.window_timer, elapse_ms, nullptr))
    return false;
  m_timers.push_back(info);
  return true;
}

bool CPaintManagerUI::KillTimer(CControlUI* control, UINT id) {
  for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
    if (it->sender == control && it->id == id) {
      ::KillTimer(m_hWndPaint, it->window_timer);
      m_timers.erase(it);
      return true;
    }
  }
  return false;
}

void CPaintManagerUI::KillTimer(CControlUI* control) {
  for (auto it = m_timers.begin(); it != m_timers.end();) {
    if (it->sender == control) {
      ::KillTimer(m_hWndPaint, it->window_timer);
      it = m_timers.erase(it);
    } else {
      ++it;
    }
  }
}

bool CPaintManagerUI::HasTimerForTesting(CControlUI* control, UINT id) const {
  return std::any_of(m_timers.begin(), m_timers.end(),
                     [&](const TimerInfo& t) { return t.sender == control && t.id == id; });
}

void CPaintManagerUI::SetFocus(CControlUI* control) {
  if (control == m_pFocus)
    return;
  if (m_pFocus) {
    CControlUI* old = m_pFocus;
    m_pFocus = nullptr;
    TEventUI event;
    event.Type = UIEVENT_KILLFOCUS;
    event.pSender = control;
    event.dwTimestamp = static_cast<DWORD>(::GetMessageTime());
    old->Event(event);
    SendNotify(old, DUI_MSGTYPE_KILLFOCUS);
  }
  if (control && control->GetManager() == this && control->IsVisible() && control->IsEnabled()) {
    m_pFocus = control;
    TEventUI event;
    event.Type = UIEVENT_SETFOCUS;
    event.pSender = control;
    event.dwTimestamp = static_cast<DWORD>(::GetMessageTime());
    control->Event(event);
    SendNotify(control, DUI_MSGTYPE_SETFOCUS);
  }
}

RECT CPaintManagerUI::SetComposition(const std::wstring& text) {
  RECT caret = {0, 0, 0, 0};
  auto* edit = m_pFocus ? static_cast<CEditUI*>(m_pFocus->GetInterface(L"Edit")) : nullptr;
  if (!edit)
    return caret;
  edit->SetComposition(text);
  caret = edit->GetCaretRect();
  POINT origin = {0, 0};
  ::ClientToScreen(m_hWndPaint, &origin);
  OffsetRect(&caret, origin.x, origin.y);
  return caret;
}

bool CPaintManagerUI::MoveFocus(bool forward) {
  if (!m_pRoot)
    return false;
  // Tab stops in the window's order: the order of the window file.
  struct Collect {
    static CControlUI* CALLBACK Proc(CControlUI* c, LPVOID data) {
      if ((c->GetControlFlags() & UIFLAG_TABSTOP) && c->IsVisible() && c->IsEnabled())
        static_cast<std::vector<CControlUI*>*>(data)->push_back(c);
      return nullptr;
    }
  };
  std::vector<CControlUI*> stops;
  m_pRoot->FindControl(Collect::Proc, &stops, UIFIND_VISIBLE | UIFIND_ENABLED);
  if (stops.empty())
    return false;
  auto it = std::find(stops.begin(), stops.end(), m_pFocus);
  size_t next;
  if (it == stops.end())
    next = forward ? 0 : stops.size() - 1;
  else if (forward)
    next = (static_cast<size_t>(it - stops.begin()) + 1) % stops.size();
  else
    next = (static_cast<size_t>(it - stops.begin()) + stops.size() - 1) % stops.size();
  SetFocus(stops[next]);
  return true;
}

void CPaintManagerUI::SetCapture() {
  ::SetCapture(m_hWndPaint);
  m_bMouseCapture = true;
}

void CPaintManagerUI::ReleaseCapture() {
  ::ReleaseCapture();
  m_bMouseCapture = false;
}

void CPaintManagerUI::Invalidate() {
  SIZE sz = GetClientSize();
  Invalidate(RECT{0, 0, sz.cx, sz.cy});
}

void CPaintManagerUI::Invalidate(const RECT& rc) {
  if (IsRectEmpty(&rc))
    return;
  UnionRect(&m_rcDirty, &m_rcDirty, &rc);
  if (!m_bPaintPosted && m_hWndPaint && ::IsWindowVisible(m_hWndPaint)) {
    m_bPaintPosted = true;
    ::PostMessageW(m_hWndPaint, WM_PAINT, 0, 0);
  }
}

SIZE CPaintManagerUI::GetClientSize() const {
  RECT rc = {0, 0, 0, 0};
  if (m_hWndPaint)
    ::GetClientRect(m_hWndPaint, &rc);
  return {rc.right, rc.bottom};
}

void CPaintManagerUI::SetInitSize(int cx, int cy) {
  m_szInitWindowSize = {cx, cy};
  if (!m_pRoot && m_hWndPaint)
    ::SetWindowPos(m_hWndPaint, nullptr, 0, 0, cx, cy, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
}

bool CPaintManagerUI::SetWindowAttribute(const wchar_t* name, const wchar_t* value) {
  std::wstring n = name;
  auto size = [&](void (CPaintManagerUI::*set)(int, int)) {
    SIZE sz;
    if (!ParseSize(value, &sz))
      return false;
    (this->*set)(sz.cx, sz.cy);
    return true;
  };
  auto rect = [&](void (CPaintManagerUI::*set)(const RECT&)) {
    RECT rc;
    if (!ParseRect(value, &rc))
      return false;
    (this->*set)(rc);
    return true;
  };
  auto color = [&](void (CPaintManagerUI::*set)(DWORD)) {
    DWORD c;
    if (!ParseColor(value, &c))
      return false;
    (this->*set)(c);
    return true;
  };
  if (n == L"size")
    return size(&CPaintManagerUI::SetInitSize);
  if (n == L"sizebox")
    return rect(&CPaintManagerUI::SetSizeBox);
  if (n == L"caption")
    return rect(&CPaintManagerUI::SetCaptionRect);
  if (n == L"roundcorner")
    return size(&CPaintManagerUI::SetRoundCorner);
  if (n == L"mininfo")
    return size(&CPaintManagerUI::SetMinInfo);
  if (n == L"maxinfo")
    return size(&CPaintManagerUI::SetMaxInfo);
  if (n == L"defaultfontcolor")
    return color(&CPaintManagerUI::SetDefaultFontColor);
  if (n == L"disabledfontcolor")
    return color(&CPaintManagerUI::SetDefaultDisabledColor);
  if (n == L"selectedcolor")
    return color(&CPaintManagerUI::SetDefaultSelectedBkColor);
  // Window-system effects; accepted and not drawn.
  return n == L"showshadow" || n == L"shadowimage" || n == L"shadowcorner" || n == L"shadowsize" ||
         n == L"shadowposition" || n == L"shadowcolor" || n == L"shadowdarkness" ||
         n == L"shadowsharpness" || n == L"bktrans" || n == L"alpha" || n == L"layered" ||
         n == L"trans" || n == L"opacity" || n == L"showdirty" || n == L"noactivate" ||
         n == L"gdiplustext";
}

void CPaintManagerUI::AddFont(int id,
                              const wchar_t* name,
                              int size,
                              bool bold,
                              bool underline,
                              bool italic,
                              bool is_default) {
  TFontInfo f;
  f.sFontName = name;
  f.iSize = size;
  f.bBold = bold;
  f.bUnderline = underline;
  f.bItalic = italic;
  m_fonts[id] = f;
  if (is_default)
    m_defaultFont = f;
}

void CPaintManagerUI::SetDefaultFont(const wchar_t* name,
                                     int size,
                                     bool bold,
                                     bool underline,
                                     bool italic) {
  m_defaultFont.sFontName = name;
  m_defaultFont.iSize = size;
  m_defaultFont.bBold = bold;
  m_defaultFont.bUnderline = underline;
  m_defaultFont.bItalic = italic;
}

const TFontInfo* CPaintManagerUI::GetFontInfo(int id) const {
  auto it = m_fonts.find(id);
  return it == m_fonts.end() ? &m_defaultFont : &it->second;
}

void CPaintManagerUI::AddDefaultAttributeList(const wchar_t* control_name, const wchar_t* list) {
  m_defaultAttrs[control_name] = list;
}

const wchar_t* CPaintManagerUI::GetDefaultAttributeList(const wchar_t* control_name) const {
  auto it = m_defaultAttrs.find(control_name);
  return it == m_defaultAttrs.end() ? nullptr : it->second.c_str();
}

TImageInfo* CPaintManagerUI::GetImage(const wchar_t* file) {
  if (!file || !*file)
    return nullptr;
  Globals& g = G();
  std::wstring key = file;
  // Files on disk may be rewritten (a fresh QR code), so their entry is
  // checked against the file's time and size; archive entries never change.
  auto cached = g.images.find(key);
  if (cached != g.images.end() && cached->second.from_archive)
    return cached->second.image.get();
  struct stat st = {};
  std::wstring k = key;
  bool from_disk = k[0] == L'/' || !g.zip.IsOpen() || g.resource_zip.IsEmpty();
  if (!from_disk) {
    std::string probe;
    from_disk = !g.zip.Read(NormalizeArchivePath(k), &probe, true);
  }
  if (from_disk && stat(DiskPath(k).c_str(), &st) != 0)
    return nullptr;
  auto it = g.images.find(key);
  if (it != g.images.end() && it->second.image &&
      (!from_disk || (it->second.mtime == st.st_mtime && it->second.size == st.st_size)))
    return it->second.image.get();
  std::string bytes;
  if (!LoadResourceData(file, &bytes)) {
    LOG(WARNING) << "Image not found in the skin: " << ToUtf8(key);
    return nullptr;
  }
  auto image = CRenderEngine::DecodeImage(bytes);
  if (!image) {
    LOG(WARNING) << "Image cannot be decoded: " << ToUtf8(key);
    return nullptr;
  }
  auto& slot = g.images[key];
  slot.image = std::move(image);
  slot.mtime = from_disk ? st.st_mtime : 0;
  slot.size = from_disk ? st.st_size : 0;
  slot.from_archive = !from_disk;
  return slot.image.get();
}

void CPaintManagerUI::EnsureSurface() {
  SIZE sz = GetClientSize();
  if (m_surface && cairo_image_surface_get_width(m_surface) == sz.cx &&
      cairo_image_surface_get_height(m_surface) == sz.cy)
    return;
  if (m_surface)
    cairo_surface_destroy(m_surface);
  m_surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max<int>(1, sz.cx),
                                         std::max<int>(1, sz.cy));
  m_rcDirty = {0, 0, sz.cx, sz.cy};
}

void CPaintManagerUI::PaintNow() {
  m_bPaintPosted = false;
  if (!m_pRoot || !m_hWndPaint)
    return;
  SIZE sz = GetClientSize();
  if (sz.cx <= 0 || sz.cy <= 0)
    return;
  RECT client = {0, 0, sz.cx, sz.cy};
  EnsureSurface();
  for (int pass = 0; pass < 3 && (m_bUpdateNeeded || m_pRoot->IsUpdateNeeded()); ++pass) {
    m_bUpdateNeeded = false;
    m_pRoot->SetPos(client, false);
    m_rcDirty = client;
    if (m_bFirstLayout) {
      m_bFirstLayout = false;
      SendNotify(m_pRoot, DUI_MSGTYPE_WINDOWINIT);
      if (!m_pRoot)
        return;
    }
  }
  RECT dirty;
  if (!IntersectRect(&dirty, &m_rcDirty, &client)) {
    m_rcDirty = {0, 0, 0, 0};
    return;
  }
  m_rcDirty = {0, 0, 0, 0};
  cairo_t* cr = cairo_create(m_surface);
  cairo_rectangle(cr, dirty.left, dirty.top, dirty.right - dirty.left, dirty.bottom - dirty.top);
  cairo_clip(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
  cairo_paint(cr);
  cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  m_pRoot->DoPaint(CRenderEngine::ToHDC(cr), dirty);
  cairo_destroy(cr);
  cairo_surface_flush(m_surface);
  m_rcLastPaint = dirty;
  ++m_nPaintCount;
  if (m_presenter)
    m_presenter->Present(m_surface, dirty);
}

bool CPaintManagerUI::SaveToPng(const wchar_t* path) {
  if (!m_pRoot)
    return false;
  // A hidden window has not painted; paint it all now.
  Invalidate();
  PaintNow();
  if (!m_surface)
    return false;
  return cairo_surface_write_to_png(m_surface, ToUtf8(path).c_str()) == CAIRO_STATUS_SUCCESS;
}

void CPaintManagerUI::SetHot(CControlUI* control, POINT pt) {
  if (control == m_pEventHover)
    return;
  TEventUI event;
  event.ptMouse = pt;
  event.dwTimestamp = static_cast<DWORD>(::GetMessageTime());
  if (m_pEventHover) {
    event.Type = UIEVENT_MOUSELEAVE;
    event.pSender = m_pEventHover;
    m_pEventHover->Event(event);
  }
  m_pEventHover = control;
  if (m_pEventHover) {
    event.Type = UIEVENT_MOUSEENTER;
    event.pSender = m_pEventHover;
    m_pEventHover->Event(event);
  }
}

bool CPaintManagerUI::PreMessageHandler(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  std::vector<IMessageFilterUI*> filters = m_preFilters;
  for (IMessageFilterUI* f : filters) {
    bool handled = false;
    LRESULT r = f->MessageHandler(msg, wparam, lparam, handled);
    if (handled) {
      result = r;
      return true;
    }
  }
  return false;
}

bool CPaintManagerUI::MessageHandler(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result) {
  if (!m_hWndPaint)
    return false;
  std::vector<IMessageFilterUI*> filters = m_filters;
  for (IMessageFilterUI* f : filters) {
    bool handled = false;
    LRESULT r = f->MessageHandler(msg, wparam, lparam, handled);
    if (handled) {
      result = r;
      return true;
    }
  }
  TEventUI event;
  event.dwTimestamp = static_cast<DWORD>(::GetMessageTime());
  event.wParam = wparam;
  event.lParam = lparam;
  switch (msg) {
    case kAsyncNotifyMessage:
      FirePendingNotifies();
      return true;
    case WM_PAINT:
      if (::IsWindowVisible(m_hWndPaint))
        PaintNow();
      else
        m_bPaintPosted = false;
      return true;
    case WM_SIZE:
      if (m_presenter)
        m_presenter->SetMinimized(wparam == SIZE_MINIMIZED);
      if (wparam == SIZE_MINIMIZED)
        return false;
      if (m_pRoot)
        m_pRoot->NeedUpdate();
      m_bUpdateNeeded = true;
      if (m_presenter)
        m_presenter->Resize(GetClientSize());
      Invalidate();
      return false;
    case WM_GETMINMAXINFO: {
      // The window file's "mininfo" and "maxinfo" limit its size.
      auto* mmi = reinterpret_cast<MINMAXINFO*>(lparam);
      if (m_szMinWindow.cx > 0)
        mmi->ptMinTrackSize.x = m_szMinWindow.cx;
      if (m_szMinWindow.cy > 0)
        mmi->ptMinTrackSize.y = m_szMinWindow.cy;
      if (m_szMaxWindow.cx > 0)
        mmi->ptMaxTrackSize.x = m_szMaxWindow.cx;
      if (m_szMaxWindow.cy > 0)
        mmi->ptMaxTrackSize.y = m_szMaxWindow.cy;
      return false;
    }
    case WM_MOVE:
      if (m_presenter)
        m_presenter->Move(m_hWndPaint);
      return false;
    case WM_SHOWWINDOW:
      if (wparam) {
        if (!m_presenter)
          m_presenter = CPresenter::Create(m_hWndPaint);
        if (m_presenter)
          m_presenter->Show(true);
        Invalidate();
      } else if (m_presenter) {
        m_presenter->Show(false);
      }
      return false;
    case WM_NCDESTROY:
      m_presenter.reset();
      return false;
    case WM_TIMER:
      for (auto& t : m_timers) {
        if (t.window_timer == wparam) {
          event.Type = UIEVENT_TIMER;
          event.pSender = t.sender;
          event.wParam = t.id;
          t.sender->Event(event);
          return true;
        }
      }
      return false;
    case WM_MOUSEMOVE: {
      POINT pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      m_ptLastMousePos = pt;
      if (m_pScrollDrag) {
        auto* c = static_cast<CContainerUI*>(m_pScrollDrag->GetInterface(L"Container"));
        c->SetScrollPos(c->ScrollPosForThumbDrag(m_iScrollDragPos, pt.y - m_iScrollDragY));
        return true;
      }
      event.ptMouse = pt;
      event.wKeyState = static_cast<WORD>(wparam);
      if (m_pEventClick) {
        event.Type = UIEVENT_MOUSEMOVE;
        event.pSender = m_pEventClick;
        m_pEventClick->Event(event);
        return true;
      }
      CControlUI* control = FindControl(pt);
      if (control && control->GetManager() != this)
        control = nullptr;
      SetHot(control, pt);
      if (m_pEventHover) {
        event.Type = UIEVENT_MOUSEMOVE;
        event.pSender = m_pEventHover;
        m_pEventHover->Event(event);
      }
      return true;
    }
    case WM_MOUSELEAVE:
      SetHot(nullptr, m_ptLastMousePos);
      return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: {
      POINT pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      m_ptLastMousePos = pt;
      CControlUI* control = FindControl(pt);
      if (!control || control->GetManager() != this || !control->IsEnabled())
        return false;
      // A press on a scroll bar's thumb drags it, whatever lies beneath.
      for (CControlUI* c = control; c && msg == WM_LBUTTONDOWN; c = c->GetParent()) {
        auto* container = static_cast<CContainerUI*>(c->GetInterface(L"Container"));
        RECT thumb = container ? container->GetScrollThumbRect() : RECT{0, 0, 0, 0};
        // The thumb is thin; a little to either side still takes it.
        InflateRect(&thumb, 3, 0);
        if (container && PtInRect(&thumb, pt)) {
          m_pScrollDrag = c;
          m_iScrollDragY = pt.y;
          m_iScrollDragPos = container->GetScrollPos();
          SetCapture();
          return true;
        }
      }
      SetHot(control, pt);
      if (msg != WM_RBUTTONDOWN)
        m_pEventClick = control;
      SetFocus(control);
      if (msg != WM_RBUTTONDOWN)
        SetCapture();
      event.Type = msg == WM_LBUTTONDOWN   ? UIEVENT_BUTTONDOWN
                   : msg == WM_RBUTTONDOWN ? UIEVENT_RBUTTONDOWN
                                           : UIEVENT_DBLCLICK;
      event.ptMouse = pt;
      event.wKeyState = static_cast<WORD>(wparam);
      event.pSender = control;
      control->Event(event);
      return true;
    }
    case WM_LBUTTONUP: {
      POINT pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      m_ptLastMousePos = pt;
      if (m_pScrollDrag) {
        m_pScrollDrag = nullptr;
        ReleaseCapture();
        return true;
      }
      if (!m_pEventClick)
        return false;
      ReleaseCapture();
      CControlUI* control = m_pEventClick;
      m_pEventClick = nullptr;
      event.Type = UIEVENT_BUTTONUP;
      event.ptMouse = pt;
      event.wKeyState = static_cast<WORD>(wparam);
      event.pSender = control;
      control->Event(event);
      return true;
    }
    case WM_RBUTTONUP: {
      POINT pt = {GET_X_LPARAM(lparam), GET_Y_LPARAM(lparam)};
      CControlUI* control = FindControl(pt);
      if (!control || control->GetManager() != this)
        return false;
      event.Type = UIEVENT_CONTEXTMENU;
      event.ptMouse = pt;
      event.pSender = control;
      control->Event(event);
      return true;
    }
    case WM_MOUSEWHEEL: {
      CControlUI* control = FindControl(m_ptLastMousePos);
      if (!control || control->GetManager() != this)
        return false;
      event.Type = UIEVENT_SCROLLWHEEL;
      event.ptMouse = m_ptLastMousePos;
      event.wParam = static_cast<WPARAM>(static_cast<short>(GET_WHEEL_DELTA_WPARAM(wparam)));
      event.pSender = control;
      control->Event(event);
      return true;
    }
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR: {
      if (msg == WM_KEYDOWN && wparam == VK_TAB) {
        MoveFocus(((lparam >> 24) & MK_SHIFT) == 0);
        return true;
      }
      if (msg == WM_CHAR && wparam == L'\t')
        return true;  // Tab moves focus; no control types it.
      if (!m_pFocus)
        return false;
      event.Type = msg == WM_KEYDOWN ? UIEVENT_KEYDOWN
                   : msg == WM_KEYUP ? UIEVENT_KEYUP
                                     : UIEVENT_CHAR;
      event.chKey = static_cast<wchar_t>(wparam);
      // Modifier state travels in the high bits of lParam (see presenter).
      event.wKeyState = static_cast<WORD>((lparam >> 24) & (MK_SHIFT | MK_CONTROL));
      event.ptMouse = m_ptLastMousePos;
      event.pSender = m_pFocus;
      m_pFocus->Event(event);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace DuiLib
