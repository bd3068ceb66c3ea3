#include "client/windows/ring_ui.h"

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <fstream>
#include <sstream>

#include "client/windows/skin_setup.h"
#include "duilib/paint_manager_ui.h"
#include "duilib/zip_archive.h"
#include "win32/resource.h"

namespace {

std::string ToDiskPath(std::wstring path) {
  std::replace(path.begin(), path.end(), L'\\', L'/');
  return DuiLib::ToUtf8(path);
}

bool ReadWholeFile(const std::string& path, std::string* data) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in)
    return false;
  std::streamoff size = in.tellg();
  if (size <= 0)
    return false;
  std::string bytes(static_cast<size_t>(size), '\0');
  in.seekg(0);
  // A short read leaves nothing.
  if (!in.read(bytes.data(), size) || in.gcount() != size)
    return false;
  *data = std::move(bytes);
  return true;
}

bool ReadFromOwnArchive(const std::wstring& path, std::string* data) {
  std::wstring name = path;
  std::replace(name.begin(), name.end(), L'\\', L'/');
  HINSTANCE module = DuiLib::CPaintManagerUI::GetResourceDll();
  HRSRC resource = FindResourceW(module, kSkinResourceName, kSkinResourceType);
  if (!resource)
    return false;
  DWORD size = SizeofResource(module, resource);
  HGLOBAL loaded = size ? LoadResource(module, resource) : nullptr;
  const void* bytes = loaded ? LockResource(loaded) : nullptr;
  if (!bytes)
    return false;
  DuiLib::CZipArchive zip;
  bool found = false;
  if (zip.Open(bytes, size)) {
    std::string wanted = DuiLib::ToUtf8(name);
    for (const std::string& entry : zip.Names()) {
      if (entry != wanted)
        continue;
      std::string out;
      found = zip.Read(entry, &out, /*ignore_case=*/false) && !out.empty();
      if (found)
        *data = std::move(out);
      break;
    }
    zip.Close();
  }
  FreeResource(loaded);
  return found;
}

}  // namespace

IMPLEMENT_DUICONTROL(CRingUI)

CRingUI::CRingUI() = default;

CRingUI::~CRingUI() {
  if (m_pManager)
    m_pManager->KillTimer(this, kTimerId);
  ReleaseImage();
}

const wchar_t* CRingUI::GetClass() const {
  return L"Ring";
}

void* CRingUI::GetInterface(const wchar_t* name) {
  if (std::wcscmp(name, L"Ring") == 0)
    return this;
  return CLabelUI::GetInterface(name);
}

void CRingUI::SetVisible(bool visible) {
  CLabelUI::SetVisible(visible);
  UpdateTimer();
}

void CRingUI::SetInternVisible(bool visible) {
  CLabelUI::SetInternVisible(visible);
  UpdateTimer();
}

void CRingUI::UpdateTimer() {
  if (!m_pManager)
    return;
  if (IsVisible() && image_) {
    timer_on_ = m_pManager->SetTimer(this, kTimerId, static_cast<UINT>(speed_));
  } else {
    m_pManager->KillTimer(this, kTimerId);
    timer_on_ = false;
  }
}

void CRingUI::DoEvent(DuiLib::TEventUI& event) {
  if (event.Type == DuiLib::UIEVENT_TIMER && event.wParam == kTimerId) {
    // Wraps only once the angle has passed 359, so 360 is shown once.
    if (angle_ > 359.0f)
      angle_ = 0.0f;
    angle_ += static_cast<float>(angle_step_);
    Invalidate();
    return;
  }
  CLabelUI::DoEvent(event);
}

bool CRingUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (std::wcscmp(name, L"bkimage") == 0) {
    if (m_sBkImage == value)
      return true;
    ReleaseImage();
    load_tried_ = false;
    return CLabelUI::SetAttribute(name, value);
  }
  if (std::wcscmp(name, L"angle") == 0) {
    angle_step_ = static_cast<int>(std::wcstol(value, nullptr, 10));
    return true;
  }
  if (std::wcscmp(name, L"speed") == 0) {
    int speed = static_cast<int>(std::wcstol(value, nullptr, 10));
    // A zero or negative period would spin the timer; keep the default.
    speed_ = speed > 0 ? speed : 50;
    if (timer_on_)
      UpdateTimer();
    return true;
  }
  return CLabelUI::SetAttribute(name, value);
}

CRingUI::ImageSource CRingUI::ReadImageData(const std::wstring& path, std::string* data) {
  data->clear();
  if (path.empty())
    return ImageSource::kNone;
  using DuiLib::CPaintManagerUI;
  if (CPaintManagerUI::GetResourceZip().IsEmpty()) {
    std::wstring joined = CPaintManagerUI::GetResourcePath().str();
    if (!joined.empty() && joined.back() != L'/' && joined.back() != L'\\')
      joined += L'/';
    if (ReadWholeFile(ToDiskPath(joined + path), data))
      return ImageSource::kFile;
  } else if (ReadFromOwnArchive(path, data)) {
    return ImageSource::kArchive;
  }
  if (ReadWholeFile(ToDiskPath(path), data))
    return ImageSource::kFile;
  return ImageSource::kNone;
}

void CRingUI::LoadImage() {
  load_tried_ = true;
  DuiLib::TDrawInfo info;
  if (!info.Parse(m_sBkImage))
    return;
  std::string bytes;
  ImageSource source = ReadImageData(info.sFile.str(), &bytes);
  if (source == ImageSource::kNone)
    return;
  image_ = DuiLib::CRenderEngine::DecodeImage(bytes);
  if (!image_)
    return;
  image_source_ = source;
  UpdateTimer();
}

void CRingUI::ReleaseImage() {
  image_.reset();
  image_source_ = ImageSource::kNone;
}

void CRingUI::PaintBkImage(HDC hdc) {
  if (m_sBkImage.IsEmpty())
    return;
  if (!image_ && !load_tried_)
    LoadImage();
  if (!image_ || image_->nX <= 0 || image_->nY <= 0)
    return;
  const RECT& rc = m_rcItem;
  int width = rc.right - rc.left;
  int height = rc.bottom - rc.top;
  if (width <= 0 || height <= 0)
    return;
  int cx = rc.left + width / 2;
  int cy = rc.top + height / 2;
  cairo_t* cr = DuiLib::CRenderEngine::Cairo(hdc);
  cairo_save(cr);
  cairo_translate(cr, cx, cy);
  cairo_rotate(cr, angle_ * M_PI / 180.0);
  cairo_translate(cr, -cx, -cy);
  cairo_translate(cr, rc.left, rc.top);
  cairo_scale(cr, static_cast<double>(width) / image_->nX,
              static_cast<double>(height) / image_->nY);
  cairo_set_source_surface(cr, image_->surface, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  cairo_restore(cr);
}
