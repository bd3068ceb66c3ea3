// A progress bar drawn as a disc: a faint full pie, a pie from twelve
// o'clock clockwise for the share done, and an inner disc that leaves a
// 5-pixel ring. Tag `CircleProgress`. UI thread only.
#ifndef CLIENT_WINDOWS_CIRCLE_PROGRESS_UI_H_
#define CLIENT_WINDOWS_CIRCLE_PROGRESS_UI_H_

#include "duilib/dialog_builder.h"
#include "duilib/progress_ui.h"

class CCircleProgressUI : public DuiLib::CProgressUI {
 public:
  DECLARE_DUICONTROL(CCircleProgressUI)

  static constexpr DWORD kBackColor = 0x1400B374;       // ARGB (20, 0, 179, 116)
  static constexpr DWORD kDoneColor = 0xFF00B374;       // ARGB (255, 0, 179, 116)
  static constexpr DWORD kInnerDiscColor = 0xFF01ABFF;  // ARGB (255, 1, 171, 255)
  static constexpr int kRingWidth = 5;

  const wchar_t* GetClass() const override;
  void* GetInterface(const wchar_t* name) override;
  void SetPos(RECT rc, bool need_invalidate = true) override;
  void PaintBkColor(HDC hdc) override;
  void PaintForeColor(HDC hdc) override;

 private:
  int unused_first_ = -1;
  int unused_second_ = -1;
};

#endif  // CLIENT_WINDOWS_CIRCLE_PROGRESS_UI_H_
