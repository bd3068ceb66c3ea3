// The window base of every skinned window: creation from a window file,
// modal runs, caption dragging, click maps and the message flow
// (HandleMessage -> HandleCustomMessage -> the paint manager -> default).
// A window and its controls live on the thread that created it.
#ifndef DUILIB_WINDOW_IMPL_BASE_H_
#define DUILIB_WINDOW_IMPL_BASE_H_

#include <functional>
#include <string>
#include <vector>

#include "duilib/dialog_builder.h"
#include "duilib/paint_manager_ui.h"
#include "win32/message_box.h"

namespace DuiLib {

// Popup, visible, caption, system menu, clip children and siblings.
#define UI_WNDSTYLE_DIALOG \
  (WS_VISIBLE | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPSIBLINGS | WS_CLIPCHILDREN)
#define UI_WNDSTYLE_FRAME (WS_VISIBLE | WS_OVERLAPPEDWINDOW)
#define UI_WNDSTYLE_CHILD (WS_VISIBLE | WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN)
#define UI_WNDSTYLE_EX_DIALOG (WS_EX_TOOLWINDOW)
#define UI_WNDSTYLE_EX_FRAME (WS_EX_WINDOWEDGE)
#define UI_CLASSSTYLE_DIALOG (CS_DBLCLKS)
#define UI_CLASSSTYLE_FRAME (CS_DBLCLKS)

class CWindowWnd {
 public:
  CWindowWnd() = default;
  virtual ~CWindowWnd() = default;

  HWND GetHWND() const { return m_hWnd; }
  operator HWND() const { return m_hWnd; }  // NOLINT

  bool RegisterWindowClass();
  HWND Create(HWND parent,
              const wchar_t* name,
              DWORD style,
              DWORD ex_style,
              const RECT rc,
              HMENU menu = nullptr);
  HWND Create(HWND parent,
              const wchar_t* name,
              DWORD style,
              DWORD ex_style,
              int x = CW_USEDEFAULT,
              int y = CW_USEDEFAULT,
              int cx = CW_USEDEFAULT,
              int cy = CW_USEDEFAULT,
              HMENU menu = nullptr);
  HWND CreateDuiWindow(HWND parent, const wchar_t* title, DWORD style = 0, DWORD ex_style = 0);
  void ShowWindow(bool show = true, bool take_focus = true);
  // Runs a nested loop until the window closes; returns the code given to
  // Close (IDOK by default), or 0 when WM_QUIT ended the loop (the quit is
  // posted again for the outer loop). The owner is disabled meanwhile.
  UINT ShowModal();
  // Posts WM_CLOSE with the code for ShowModal.
  void Close(UINT ret = IDOK);
  // Centres on the owner when it is visible, else on the work area.
  void CenterWindow();
  void SetIcon(UINT resource_id);
  LRESULT SendMessage(UINT msg, WPARAM wparam = 0, LPARAM lparam = 0);
  LRESULT PostMessage(UINT msg, WPARAM wparam = 0, LPARAM lparam = 0);
  void ResizeClient(int cx = -1, int cy = -1);

 protected:
  virtual const wchar_t* GetWindowClassName() const = 0;
  virtual UINT GetClassStyle() const { return 0; }
  virtual LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam);
  virtual void OnFinalMessage(HWND) {}
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

  HWND m_hWnd = nullptr;
  UINT* m_pModalResult = nullptr;
};

// Click maps: tables of (notification type, control name, handler) that the
// window consults before its Notify.
class CNotifyPump {
 public:
  virtual ~CNotifyPump() = default;
  // True when an entry handled the notification.
  bool NotifyPump(TNotifyUI& msg);

 protected:
  class MapBuilder {
   public:
    void Add(const wchar_t* type, const wchar_t* name, std::function<void(TNotifyUI&)> handler) {
      entries_.push_back({type, name ? name : L"", std::move(handler)});
    }

   private:
    friend class CNotifyPump;
    struct Entry {
      std::wstring type;
      std::wstring name;
      std::function<void(TNotifyUI&)> handler;
    };
    std::vector<Entry> entries_;
  };
  virtual void RegisterMessageMap(MapBuilder&) {}

 private:
  bool map_built_ = false;
  MapBuilder map_;
};

#define DUI_DECLARE_MESSAGE_MAP() \
 protected:                       \
  void RegisterMessageMap(DuiLib::CNotifyPump::MapBuilder& map) override;

#define DUI_BEGIN_MESSAGE_MAP(the_class, base_class)                         \
  void the_class::RegisterMessageMap(DuiLib::CNotifyPump::MapBuilder& map) { \
    base_class::RegisterMessageMap(map);

#define DUI_ON_MSGTYPE(type, func) \
  map.Add(type, nullptr, [this](DuiLib::TNotifyUI& m) { this->func(m); });
#define DUI_ON_MSGTYPE_CTRNAME(type, name, func) \
  map.Add(type, name, [this](DuiLib::TNotifyUI& m) { this->func(m); });
#define DUI_ON_CLICK_CTRNAME(name, func) DUI_ON_MSGTYPE_CTRNAME(DUI_MSGTYPE_CLICK, name, func)
#define DUI_ON_SELECTCHANGED_CTRNAME(name, func) \
  DUI_ON_MSGTYPE_CTRNAME(DUI_MSGTYPE_SELECTCHANGED, name, func)
#define DUI_END_MESSAGE_MAP() }

class WindowImplBase : public CWindowWnd,
                       public CNotifyPump,
                       public INotifyUI,
                       public IMessageFilterUI,
                       public IDialogBuilderCallback {
 public:
  WindowImplBase();
  ~WindowImplBase() override;

  virtual void InitWindow() {}
  void OnFinalMessage(HWND hwnd) override;
  void Notify(TNotifyUI& msg) override;
  CPaintManagerUI* GetPaintManager() { return &m_pm; }

 protected:
  virtual CDuiString GetSkinFolder() { return CDuiString(); }
  virtual CDuiString GetSkinFile() = 0;
  const wchar_t* GetWindowClassName() const override = 0;
  virtual UILIB_RESOURCETYPE GetResourceType() const { return UILIB_FILE; }
  virtual const wchar_t* GetResourceID() const { return L""; }
  virtual LRESULT ResponseDefaultKeyEvent(WPARAM wparam);
  CControlUI* CreateControl(const wchar_t*) override { return nullptr; }
  UINT GetClassStyle() const override { return CS_DBLCLKS; }
  virtual LONG GetStyle();

  // Pre-translation of key messages (Enter, Escape) before the controls.
  LRESULT MessageHandler(UINT msg, WPARAM wparam, LPARAM lparam, bool& handled) override;
  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) override;
  virtual LRESULT HandleCustomMessage(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled);

  virtual LRESULT OnCreate(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled);
  virtual LRESULT OnClose(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled);
  virtual LRESULT OnDestroy(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled);
  virtual LRESULT OnNcHitTest(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled);
  virtual LRESULT OnSysCommand(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled);
  virtual LRESULT OnKeyDown(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled);
  virtual LRESULT OnKillFocus(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled);
  virtual LRESULT OnSetFocus(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled);
  virtual LRESULT OnSize(UINT msg, WPARAM wparam, LPARAM lparam, BOOL& handled);

  CPaintManagerUI m_pm;
  CPaintManagerUI& m_PaintManager = m_pm;

 private:
  // Runs the click map first, then Notify.
  class NotifyBridge : public INotifyUI {
   public:
    explicit NotifyBridge(WindowImplBase* owner) : owner_(owner) {}
    void Notify(TNotifyUI& msg) override {
      if (!owner_->NotifyPump(msg))
        owner_->Notify(msg);
    }

   private:
    WindowImplBase* owner_;
  };
  NotifyBridge bridge_{this};
};

}  // namespace DuiLib

#endif  // DUILIB_WINDOW_IMPL_BASE_H_
