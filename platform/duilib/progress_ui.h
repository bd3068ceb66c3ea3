// A progress bar: minimum, maximum and value, a foreground image or colour
// drawn over the part that is done.
#ifndef DUILIB_PROGRESS_UI_H_
#define DUILIB_PROGRESS_UI_H_

#include "duilib/label_ui.h"

namespace DuiLib {

class CProgressUI : public CLabelUI {
 public:
  CProgressUI();
  const wchar_t* GetClass() const override { return L"ProgressUI"; }
  void* GetInterface(const wchar_t* name) override;

  bool IsHorizontal() const { return m_bHorizontal; }
  void SetHorizontal(bool horizontal = true);
  int GetMinValue() const { return m_nMin; }
  void SetMinValue(int min);
  int GetMaxValue() const { return m_nMax; }
  void SetMaxValue(int max);
  int GetValue() const { return m_nValue; }
  // Clamped to [min, max].
  void SetValue(int value);
  void SetForeImage(const wchar_t* image);

  bool SetAttribute(const wchar_t* name, const wchar_t* value) override;
  void PaintForeColor(HDC hdc) override;
  void PaintStatusImage(HDC hdc) override;

 protected:
  // The finished part of the bar.
  RECT DoneRect() const;

  bool m_bHorizontal = true;
  int m_nMin = 0;
  int m_nMax = 100;
  int m_nValue = 0;
  DWORD m_dwForeColor = 0;
  CDuiString m_sForeImage;
};

}  // namespace DuiLib

#endif  // DUILIB_PROGRESS_UI_H_
