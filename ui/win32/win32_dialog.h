// One running Win32 dialog as the frame's Dialog: each call goes to the real
// window (SetDlgItemTextW, SetWindowPos, PBM_SETPOS, GDI, MessageBoxW, ...),
// and the window's messages go to the frame's dialog procedure.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/dialog.h"

// <windows.h>'s types, which this header does not include (its macros would
// replace the platform's constants of the same names).
struct HWND__;
struct tagPAINTSTRUCT;

namespace ui {

class Win32Dialog : public platform::Dialog {
 public:
  // `initParam` goes to the procedure as WM_INITDIALOG's lParam.
  Win32Dialog(const platform::DialogTemplate& dialog, platform::DialogProc proc,
              intptr_t initParam);
  ~Win32Dialog() override;

  // The Win32 dialog procedure (a DLGPROC); WM_INITDIALOG's lParam is the
  // Win32Dialog.
  static intptr_t __stdcall WindowProc(HWND__* window, unsigned message, uintptr_t wParam,
                                       intptr_t lParam);
  // Whether the window was made (WM_INITDIALOG came).
  bool created() const { return window_ != nullptr; }

  void SetWindowText(std::u16string_view text) override;
  void SetItemText(int id, std::u16string_view text) override;
  std::u16string GetItemText(int id) override;
  void EnableItem(int id, bool enabled) override;
  platform::Rect GetWindowRect(int id) override;
  platform::Rect GetClientRect(int id) override;
  void MoveItem(int id, int x, int y) override;
  void SetProgressRange(int id, uint16_t low, uint16_t high) override;
  void SetProgressPos(int id, int position) override;

  platform::LogFont GetSystemFont() override;
  platform::FontHandle CreateFont(const platform::LogFont& font) override;
  void DeleteFont(platform::FontHandle font) override;
  void SetItemFont(int id, platform::FontHandle font) override;
  platform::Painter* GetDC(int id) override;
  void ReleaseDC(platform::Painter* painter) override;
  platform::Painter* BeginPaint() override;
  void EndPaint(platform::Painter* painter) override;
  uint32_t GetSysColor(uint32_t index) override;

  void MakeFullScreenTopmost() override;
  void Show() override;
  void PostCommand(int id) override;
  void EndDialog(int result) override;
  int MessageBox(std::u16string_view text, std::u16string_view caption, uint32_t style) override;
  bool PumpOneMessage() override;

 private:
  intptr_t Handle(unsigned message, uintptr_t wParam, intptr_t lParam);
  HWND__* Window(int id) const;
  // Says on stderr which controls of the template the resource lacks.
  void CheckResource() const;

  const platform::DialogTemplate& template_;
  platform::DialogProc proc_;
  intptr_t initParam_;
  HWND__* window_ = nullptr;
  std::unique_ptr<tagPAINTSTRUCT> paint_;
};

}  // namespace ui
