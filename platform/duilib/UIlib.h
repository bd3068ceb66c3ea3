// The skinned UI library: include this one header.
#ifndef DUILIB_UILIB_H_
#define DUILIB_UILIB_H_

#include "duilib/button_ui.h"
#include "duilib/container_ui.h"
#include "duilib/control_ui.h"
#include "duilib/dialog_builder.h"
#include "duilib/edit_ui.h"
#include "duilib/label_ui.h"
#include "duilib/list_ui.h"
#include "duilib/menu_wnd.h"
#include "duilib/paint_manager_ui.h"
#include "duilib/progress_ui.h"
#include "duilib/render_engine.h"
#include "duilib/resource_manager.h"
#include "duilib/tray_icon.h"
#include "duilib/ui_base.h"
#include "duilib/window_impl_base.h"

#endif  // DUILIB_UILIB_H_
