// One per skinned window: the control tree, focus and mouse state,
// notifications, control timers, fonts, default attributes and painting.
// Process-wide (static) parts: the program instance, the resource path and
// the in-memory skin archive. Everything runs on the window's thread.
#ifndef DUILIB_PAINT_MANAGER_UI_H_
#define DUILIB_PAINT_MANAGER_UI_H_

#include <cairo.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "duilib/control_ui.h"
#include "duilib/render_engine.h"
#include "duilib/ui_base.h"

namespace DuiLib {

class CPresenter;

enum UILIB_RESOURCETYPE {
  UILIB_FILE = 1,
  UILIB_ZIP,
  UILIB_RESOURCE,
  UILIB_ZIPRESOURCE,
};

class CPaintManagerUI {
 public:
  CPaintManagerUI();
  ~CPaintManagerUI();

  // Process-wide set-up, on the UI thread before the first window.
  static void SetInstance(HINSTANCE instance);
  static HINSTANCE GetInstance();
  static HINSTANCE GetResourceDll();
  static CDuiString GetInstancePath();
  static void SetResourcePath(const wchar_t* path);
  static const CDuiString& GetResourcePath();
  static void SetResourceType(int type);
  static int GetResourceType();
  // The archive bytes must stay valid while the library uses them.
  static void SetResourceZip(LPVOID data, unsigned int size);
  // A ZIP file under the resource path (read into memory once).
  static void SetResourceZip(const wchar_t* zip_file, bool cache = false);
  static const CDuiString& GetResourceZip();
  static bool IsCachedResourceZip();
  // Reads a skin file: from the archive when one is set (backslashes and
  // forward slashes both accepted), else under the resource path; an absolute
  // path is read from disk. False when it is nowhere.
  static bool LoadResourceData(const wchar_t* path, std::string* data);
  // Runs the UI library's pre-translation for a message of any of its
  // windows; true when the message was consumed.
  static bool TranslateMessage(const LPMSG msg);
  static void MessageLoop();
  static void Term();
  static std::vector<CPaintManagerUI*> GetPaintManagers();

  void Init(HWND hwnd, const wchar_t* name = nullptr);
  HWND GetPaintWindow() const { return m_hWndPaint; }
  CDuiString GetName() const { return m_sName; }
  // Where the window file came from, for log lines.
  void SetSourceFile(const wchar_t* file) { m_sSourceFile = file; }
  const CDuiString& GetSourceFile() const { return m_sSourceFile; }

  bool AttachDialog(CControlUI* root);
  CControlUI* GetRoot() const { return m_pRoot; }
  bool InitControls(CControlUI* control, CControlUI* parent = nullptr);
  void ReapObjects(CControlUI* control);
  CControlUI* FindControl(const wchar_t* name) const;
  CControlUI* FindControl(POINT pt) const;
  CControlUI* FindSubControlByName(CControlUI* parent, const wchar_t* name) const;

  bool AddNotifier(INotifyUI* notifier);
  bool RemoveNotifier(INotifyUI* notifier);
  void SendNotify(TNotifyUI& msg, bool async = false);
  void SendNotify(CControlUI* control,
                  const wchar_t* type,
                  WPARAM wparam = 0,
                  LPARAM lparam = 0,
                  bool async = false);
  bool AddPreMessageFilter(IMessageFilterUI* filter);
  bool RemovePreMessageFilter(IMessageFilterUI* filter);
  bool AddMessageFilter(IMessageFilterUI* filter);
  bool RemoveMessageFilter(IMessageFilterUI* filter);

  bool SetTimer(CControlUI* control, UINT id, UINT elapse_ms);
  bool KillTimer(CControlUI* control, UINT id);
  void KillTimer(CControlUI* control);
  bool HasTimerForTesting(CControlUI* control, UINT id) const;

  CControlUI* GetFocus() const { return m_pFocus; }
  void SetFocus(CControlUI* control);
  // Tab / Shift+Tab: focus the next (previous) tab stop in the window's
  // order, wrapping around. False when the window has none.
  bool MoveFocus(bool forward);
  void SetCapture();
  void ReleaseCapture();
  bool IsCaptured() const { return m_bMouseCapture; }
  POINT GetMousePos() const { return m_ptLastMousePos; }

  void Invalidate();
  void Invalidate(const RECT& rc);
  void NeedUpdate() { m_bUpdateNeeded = true; }
  // Lays out and paints the dirty area now (the WM_PAINT work).
  void PaintNow();
  // Pixels of the last painted frame; null before the first paint.
  cairo_surface_t* GetSurface() const { return m_surface; }
  bool SaveToPng(const wchar_t* path);
  RECT LastPaintRectForTesting() const { return m_rcLastPaint; }
  int PaintCountForTesting() const { return m_nPaintCount; }

  // Window file attributes.
  SIZE GetInitSize() const { return m_szInitWindowSize; }
  void SetInitSize(int cx, int cy);
  SIZE GetClientSize() const;
  RECT& GetCaptionRect() { return m_rcCaption; }
  void SetCaptionRect(const RECT& rc) { m_rcCaption = rc; }
  RECT& GetSizeBox() { return m_rcSizeBox; }
  void SetSizeBox(const RECT& rc) { m_rcSizeBox = rc; }
  SIZE GetRoundCorner() const { return m_szRoundCorner; }
  void SetRoundCorner(int cx, int cy) { m_szRoundCorner = {cx, cy}; }
  SIZE GetMinInfo() const { return m_szMinWindow; }
  void SetMinInfo(int cx, int cy) { m_szMinWindow = {cx, cy}; }
  SIZE GetMaxInfo() const { return m_szMaxWindow; }
  void SetMaxInfo(int cx, int cy) { m_szMaxWindow = {cx, cy}; }
  bool SetWindowAttribute(const wchar_t* name, const wchar_t* value);

  DWORD GetDefaultFontColor() const { return m_dwDefaultFontColor; }
  void SetDefaultFontColor(DWORD c) { m_dwDefaultFontColor = c; }
  DWORD GetDefaultDisabledColor() const { return m_dwDefaultDisabledColor; }
  void SetDefaultDisabledColor(DWORD c) { m_dwDefaultDisabledColor = c; }
  DWORD GetDefaultSelectedBkColor() const { return m_dwDefaultSelectedBkColor; }
  void SetDefaultSelectedBkColor(DWORD c) { m_dwDefaultSelectedBkColor = c; }

  // Fonts by id; -1 is the default font.
  void AddFont(int id,
               const wchar_t* name,
               int size,
               bool bold,
               bool underline,
               bool italic,
               bool is_default = false);
  const TFontInfo* GetFontInfo(int id) const;
  void SetDefaultFont(const wchar_t* name, int size, bool bold, bool underline, bool italic);

  void AddDefaultAttributeList(const wchar_t* control_name, const wchar_t* list);
  const wchar_t* GetDefaultAttributeList(const wchar_t* control_name) const;

  // Decoded images by description file name, shared by the process.
  TImageInfo* GetImage(const wchar_t* file);

  // An input method's pre-edit for the focused edit (SDL text editing);
  // empty ends it. Returns the caret rectangle in screen pixels, for the input
  // method's candidate window.
  RECT SetComposition(const std::wstring& text);

  // Window messages. Returns true when handled; the result goes to `result`.
  bool PreMessageHandler(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result);
  bool MessageHandler(UINT msg, WPARAM wparam, LPARAM lparam, LRESULT& result);

 private:
  struct TimerInfo {
    CControlUI* sender;
    UINT id;
    UINT_PTR window_timer;
  };
  void SetHot(CControlUI* control, POINT pt);
  void EnsureSurface();
  void FirePendingNotifies();

  HWND m_hWndPaint = nullptr;
  CDuiString m_sName;
  CDuiString m_sSourceFile;
  CControlUI* m_pRoot = nullptr;
  CControlUI* m_pFocus = nullptr;
  CControlUI* m_pEventHover = nullptr;
  CControlUI* m_pEventClick = nullptr;
  // A scroll bar thumb being dragged: its container, where the drag started.
  CControlUI* m_pScrollDrag = nullptr;
  int m_iScrollDragY = 0;
  int m_iScrollDragPos = 0;
  bool m_bMouseCapture = false;
  bool m_bFirstLayout = true;
  bool m_bUpdateNeeded = true;
  bool m_bPaintPosted = false;
  POINT m_ptLastMousePos = {-1, -1};
  RECT m_rcDirty = {0, 0, 0, 0};
  RECT m_rcLastPaint = {0, 0, 0, 0};
  int m_nPaintCount = 0;
  cairo_surface_t* m_surface = nullptr;
  std::unique_ptr<CPresenter> m_presenter;
  std::vector<INotifyUI*> m_notifiers;
  std::vector<IMessageFilterUI*> m_preFilters;
  std::vector<IMessageFilterUI*> m_filters;
  std::vector<TNotifyUI> m_asyncNotify;
  std::vector<TimerInfo> m_timers;
  UINT_PTR m_nextTimerId = 0x1000;
  SIZE m_szInitWindowSize = {0, 0};
  SIZE m_szMinWindow = {0, 0};
  SIZE m_szMaxWindow = {0, 0};
  SIZE m_szRoundCorner = {0, 0};
  RECT m_rcCaption = {0, 0, 0, 0};
  RECT m_rcSizeBox = {0, 0, 0, 0};
  DWORD m_dwDefaultFontColor = 0xFF000000;
  DWORD m_dwDefaultDisabledColor = 0xFFA7A6AA;
  DWORD m_dwDefaultSelectedBkColor = 0xFFBAE4FF;
  std::map<int, TFontInfo> m_fonts;
  TFontInfo m_defaultFont;
  std::map<std::wstring, std::wstring> m_defaultAttrs;
};

}  // namespace DuiLib

#endif  // DUILIB_PAINT_MANAGER_UI_H_
