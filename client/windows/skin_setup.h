// The skin archive hand-over and the custom-control registration that
// start-up runs once, before the first window is created.
#ifndef CLIENT_WINDOWS_SKIN_SETUP_H_
#define CLIENT_WINDOWS_SKIN_SETUP_H_

#include "duilib/paint_manager_ui.h"

// The program's own skin archive, embedded with tern_embed_skin.
extern const wchar_t kSkinResourceName[];  // "IDR_ZIPRES"
extern const wchar_t kSkinResourceType[];  // "ZIPRES"

// Points the UI library at the skin of the given kind: plain files under
// "<program dir>/skin/", the ZIP file "skin.zip" there, an XML resource, or
// (the product's choice) the in-memory ZIP resource. Returns false when the
// chosen source is missing; the library then has no archive and windows
// fail to build from their files. Called on the UI thread after
// CPaintManagerUI::SetInstance.
bool SetupSkin(DuiLib::UILIB_RESOURCETYPE type = DuiLib::UILIB_ZIPRESOURCE);

// Makes the window files' `Ring` and `CircleProgress` tags create CRingUI
// and CCircleProgressUI. Called on the UI thread before windows are built.
void RegisterCustomControls();

#endif  // CLIENT_WINDOWS_SKIN_SETUP_H_
