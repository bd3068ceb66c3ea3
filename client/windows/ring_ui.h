// A label whose background image turns about its centre: the refresh
// animation of the node list. Tag `Ring`; attributes "angle" (degrees per
// tick, default 18) and "speed" (tick interval in ms, default 50). The timer
// runs only while the ring is shown and has an image. UI thread only.
#ifndef CLIENT_WINDOWS_RING_UI_H_
#define CLIENT_WINDOWS_RING_UI_H_

#include <memory>
#include <string>

#include "duilib/dialog_builder.h"
#include "duilib/label_ui.h"
#include "duilib/render_engine.h"

class CRingUI : public DuiLib::CLabelUI {
 public:
  DECLARE_DUICONTROL(CRingUI)

  static constexpr UINT kTimerId = 101;

  // Where the image bytes came from.
  enum class ImageSource { kNone, kArchive, kFile };

  CRingUI();
  ~CRingUI() override;

  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  void SetVisible(bool visible = true) override;
  void SetInternVisible(bool visible = true) override;
  void DoEvent(DuiLib::TEventUI& event) override;
  bool SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintBkImage(HDC hdc) override;

  float angle() const { return angle_; }
  int angle_step() const { return angle_step_; }
  int speed() const { return speed_; }
  bool has_image() const { return image_ != nullptr; }
  ImageSource image_source() const { return image_source_; }
  const DuiLib::TImageInfo* image() const { return image_.get(); }

  // Reads the bytes of `path`: from the program's own skin archive by its
  // forward-slash name, matched case-sensitively, else from the file
  // system; with no archive set, from the UI library's resource path.
  static ImageSource ReadImageData(const std::wstring& path, std::string* data);

 private:
  void LoadImage();
  void ReleaseImage();
  void UpdateTimer();

  float angle_ = 0.0f;
  int angle_step_ = 18;
  int speed_ = 50;
  std::unique_ptr<DuiLib::TImageInfo> image_;
  ImageSource image_source_ = ImageSource::kNone;
  bool load_tried_ = false;
  bool timer_on_ = false;
};

#endif  // CLIENT_WINDOWS_RING_UI_H_
