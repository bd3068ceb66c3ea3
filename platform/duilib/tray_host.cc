#include "duilib/tray_host.h"

#include <gio/gio.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "base/logging.h"
#include "win32/screen_metrics.h"
#include "win32/tray.h"

namespace DuiLib::tray_host {
namespace {

constexpr char kWatcherName[] = "org.kde.StatusNotifierWatcher";
constexpr char kWatcherPath[] = "/StatusNotifierWatcher";
constexpr char kItemInterface[] = "org.kde.StatusNotifierItem";

constexpr char kIntrospection[] = R"xml(<node>
  <interface name="org.kde.StatusNotifierItem">
    <property name="Category" type="s" access="read"/>
    <property name="Id" type="s" access="read"/>
    <property name="Title" type="s" access="read"/>
    <property name="Status" type="s" access="read"/>
    <property name="IconName" type="s" access="read"/>
    <property name="IconPixmap" type="a(iiay)" access="read"/>
    <property name="ToolTip" type="(sa(iiay)ss)" access="read"/>
    <property name="ItemIsMenu" type="b" access="read"/>
    <method name="Activate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="SecondaryActivate"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="ContextMenu"><arg name="x" type="i" direction="in"/><arg name="y" type="i" direction="in"/></method>
    <method name="Scroll"><arg name="delta" type="i" direction="in"/><arg name="orientation" type="s" direction="in"/></method>
    <signal name="NewTitle"/>
    <signal name="NewToolTip"/>
  </interface>
</node>)xml";

struct Item {
  win32::TrayIconInfo icon;
  std::string path;
  guint registration = 0;
};

// Everything below is touched on the bus thread only, except where noted.
struct Bridge {
  GMainContext* context = nullptr;
  GDBusConnection* bus = nullptr;
  GDBusNodeInfo* node = nullptr;
  std::map<std::pair<HWND, UINT>, std::unique_ptr<Item>> items;
  int next_path = 0;
  bool logged_no_host = false;
  std::atomic<bool> host{false};
};

Bridge& B() {
  static Bridge* b = new Bridge;
  return *b;
}

std::string Utf8(const std::wstring& s) {
  return ToUtf8(s);
}

void Deliver(Item* item, UINT mouse, GVariant* params) {
  gint x = 0, y = 0;
  if (params && g_variant_is_of_type(params, G_VARIANT_TYPE("(ii)")))
    g_variant_get(params, "(ii)", &x, &y);
  // The product places its tray menu at the cursor.
  if (x || y)
    SetCursorPos(x, y);
  win32::SendTrayEvent(item->icon.hwnd, item->icon.id, mouse);
}

void OnMethod(GDBusConnection*,
              const gchar*,
              const gchar*,
              const gchar*,
              const gchar* method,
              GVariant* params,
              GDBusMethodInvocation* invocation,
              gpointer data) {
  auto* item = static_cast<Item*>(data);
  std::string m = method;
  if (m == "Activate")
    Deliver(item, WM_LBUTTONUP, params);
  else if (m == "SecondaryActivate")
    Deliver(item, WM_LBUTTONDBLCLK, params);
  else if (m == "ContextMenu")
    Deliver(item, WM_RBUTTONUP, params);
  g_dbus_method_invocation_return_value(invocation, nullptr);
}

GVariant* OnProperty(GDBusConnection*,
                     const gchar*,
                     const gchar*,
                     const gchar*,
                     const gchar* name,
                     GError**,
                     gpointer data) {
  auto* item = static_cast<Item*>(data);
  std::string p = name;
  std::string tip = Utf8(item->icon.tip);
  if (p == "Category")
    return g_variant_new_string("ApplicationStatus");
  if (p == "Id")
    return g_variant_new_string(
        ("tern-" + std::to_string(getpid()) + "-" + std::to_string(item->icon.id)).c_str());
  if (p == "Title")
    return g_variant_new_string(tip.c_str());
  if (p == "Status")
    return g_variant_new_string("Active");
  if (p == "IconName")
    return g_variant_new_string("application-x-executable");
  if (p == "IconPixmap")
    return g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0);
  if (p == "ToolTip") {
    return g_variant_new("(s@a(iiay)ss)", "",
                         g_variant_new_array(G_VARIANT_TYPE("(iiay)"), nullptr, 0), tip.c_str(),
                         "");
  }
  if (p == "ItemIsMenu")
    return g_variant_new_boolean(FALSE);
  return nullptr;
}

const GDBusInterfaceVTable kVtable = {OnMethod, OnProperty, nullptr, {}};

void RegisterWithWatcher(Item* item) {
  Bridge& b = B();
  if (!b.host)
    return;
  g_dbus_connection_call(b.bus, kWatcherName, kWatcherPath, kWatcherName,
                         "RegisterStatusNotifierItem", g_variant_new("(s)", item->path.c_str()),
                         nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
}

void LogNoHostOnce() {
  Bridge& b = B();
  if (b.host || b.logged_no_host)
    return;
  b.logged_no_host = true;
  LOG(WARNING) << "No tray host (" << kWatcherName
               << ") on the session bus; windows hidden to the tray stay on the taskbar";
}

struct Change {
  DWORD message;
  win32::TrayIconInfo icon;
};

gboolean ApplyChange(gpointer data) {
  std::unique_ptr<Change> change(static_cast<Change*>(data));
  Bridge& b = B();
  auto key = std::make_pair(change->icon.hwnd, change->icon.id);
  auto it = b.items.find(key);
  if (change->message == NIM_ADD && it == b.items.end()) {
    auto item = std::make_unique<Item>();
    item->icon = change->icon;
    item->path = "/StatusNotifierItem/" + std::to_string(++b.next_path);
    GError* error = nullptr;
    item->registration = g_dbus_connection_register_object(
        b.bus, item->path.c_str(), b.node->interfaces[0], &kVtable, item.get(), nullptr, &error);
    if (!item->registration) {
      LOG(WARNING) << "Cannot export the tray icon: " << (error ? error->message : "?");
      g_clear_error(&error);
      return G_SOURCE_REMOVE;
    }
    RegisterWithWatcher(item.get());
    LogNoHostOnce();
    b.items[key] = std::move(item);
  } else if (change->message == NIM_MODIFY && it != b.items.end()) {
    it->second->icon = change->icon;
    for (const char* signal : {"NewTitle", "NewToolTip"}) {
      g_dbus_connection_emit_signal(b.bus, nullptr, it->second->path.c_str(), kItemInterface,
                                    signal, nullptr, nullptr);
    }
  } else if (change->message == NIM_DELETE && it != b.items.end()) {
    g_dbus_connection_unregister_object(b.bus, it->second->registration);
    b.items.erase(it);
  }
  return G_SOURCE_REMOVE;
}

// Any thread: the change is applied on the bus thread, whose context the
// exported objects dispatch their calls in.
void OnTrayChange(DWORD message, const win32::TrayIconInfo& icon) {
  GSource* source = g_idle_source_new();
  g_source_set_callback(source, ApplyChange, new Change{message, icon}, nullptr);
  g_source_attach(source, B().context);
  g_source_unref(source);
}

void OnWatcherAppeared(GDBusConnection*, const gchar*, const gchar*, gpointer) {
  Bridge& b = B();
  b.host = true;
  for (auto& [key, item] : b.items)
    RegisterWithWatcher(item.get());
}

void OnWatcherVanished(GDBusConnection*, const gchar*, gpointer) {
  B().host = false;
}

void Run() {
  Bridge& b = B();
  g_main_context_push_thread_default(b.context);
  g_bus_watch_name_on_connection(b.bus, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                 OnWatcherAppeared, OnWatcherVanished, nullptr, nullptr);
  GMainLoop* loop = g_main_loop_new(b.context, FALSE);
  g_main_loop_run(loop);
}

}  // namespace

void Start() {
  static std::once_flag once;
  std::call_once(once, [] {
    const char* headless = std::getenv("TERN_HEADLESS");
    if ((headless && std::string(headless) == "1") || !std::getenv("DBUS_SESSION_BUS_ADDRESS"))
      return;
    Bridge& b = B();
    GError* error = nullptr;
    b.bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!b.bus) {
      LOG(WARNING) << "No session bus for the tray: " << (error ? error->message : "?");
      g_clear_error(&error);
      return;
    }
    b.node = g_dbus_node_info_new_for_xml(kIntrospection, nullptr);
    b.context = g_main_context_new();
    // Icons added before the bridge started are shown too.
    for (const auto& icon : win32::ListTrayIcons())
      OnTrayChange(NIM_ADD, icon);
    win32::SetTrayObserver(OnTrayChange);
    std::thread(Run).detach();
  });
}

bool HostAvailable() {
  return B().host;
}

bool IconOf(HWND hwnd, UINT* id) {
  for (const auto& icon : win32::ListTrayIcons()) {
    if (icon.hwnd == hwnd) {
      if (id)
        *id = icon.id;
      return true;
    }
  }
  return false;
}

}  // namespace DuiLib::tray_host
