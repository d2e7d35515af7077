// The modal dialog the kit shows, as a window system would host it: a dialog
// template, a dialog procedure that receives window messages, and the handful
// of window, drawing and message-box calls the frame makes. Two hosts exist:
// a real window (FLTK) and a text console.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Window messages (their device numbers).
inline constexpr uint32_t WM_DESTROY = 0x0002;
inline constexpr uint32_t WM_PAINT = 0x000F;
inline constexpr uint32_t WM_ERASEBKGND = 0x0014;
inline constexpr uint32_t WM_INITDIALOG = 0x0110;
inline constexpr uint32_t WM_COMMAND = 0x0111;

// System metrics.
inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;
inline constexpr int SM_CYHSCROLL = 3;

// Message box styles and answers.
inline constexpr uint32_t MB_OK = 0x0;
inline constexpr uint32_t MB_YESNO = 0x4;
inline constexpr uint32_t MB_ICONQUESTION = 0x20;
inline constexpr uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr uint32_t MB_DEFBUTTON2 = 0x100;
inline constexpr uint32_t MB_TOPMOST = 0x40000;
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// DrawText formats and background modes.
inline constexpr uint32_t DT_CENTER = 0x1;
inline constexpr uint32_t DT_NOPREFIX = 0x800;
inline constexpr int TRANSPARENT = 1;
inline constexpr int OPAQUE = 2;

// System colour of static controls (COLOR_STATIC with the system-colour flag).
inline constexpr uint32_t COLOR_STATIC = 0x40000019;

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Size {
  int cx = 0, cy = 0;
  friend bool operator==(const Size&, const Size&) = default;
};

enum class ControlKind { PushButton, DefaultPushButton, GroupBox, Static, Progress };

// Static styles that matter to the hosts.
enum ControlStyle : uint32_t {
  StyleLeft = 0x0,
  StyleCenter = 0x1,
  StyleVCenter = 0x200,
  StyleBorder = 0x800000,
  StyleSmooth = 0x1,  // progress bar
  StyleStaticEdge = 0x20000,
  StyleTabStop = 0x10000,
};

// Positions in dialog units, as in the resource.
struct ControlTemplate {
  int id = 0;
  ControlKind kind = ControlKind::Static;
  std::u16string text;
  uint32_t style = 0;
  int x = 0, y = 0, cx = 0, cy = 0;
};

struct DialogTemplate {
  int cx = 0, cy = 0;  // dialog units
  bool visible = true;
  std::u16string fontFace = u"System";
  int fontPoints = 10;
  std::vector<ControlTemplate> controls;
  // The status line (the console host reports its changes as "status: ...").
  int statusId = 0;
};

// The subset of LOGFONT the frame reads and changes.
struct LogFont {
  int height = 0;  // cell height in pixels
  int weight = 400;
  std::u16string face;
};

using FontHandle = uintptr_t;  // 0: no font

// A device context: the dialog's own (for painting) or a control's.
class Painter {
 public:
  virtual ~Painter() = default;
  virtual uint32_t SetTextColor(uint32_t colorref) = 0;  // returns the old colour
  virtual FontHandle SelectFont(FontHandle font) = 0;    // returns the old font
  virtual int SetBkMode(int mode) = 0;                   // returns the old mode
  virtual Size MeasureText(std::u16string_view text) = 0;
  virtual void DrawText(std::u16string_view text, const Rect& rect, uint32_t format) = 0;
  virtual void FillRect(const Rect& rect, uint32_t colorref) = 0;
};

class Dialog;
// The dialog procedure: receives every message, returns the message's result.
using DialogProc = intptr_t (*)(Dialog& dialog, uint32_t message, uintptr_t wParam,
                                intptr_t lParam);

// Threads: a dialog, its painters and its host are used from the thread that
// runs the dialog only, as a window is; work on other threads reports to that
// thread, which pumps the messages.
class Dialog {
 public:
  virtual ~Dialog() = default;

  virtual void SetWindowText(std::u16string_view text) = 0;
  virtual void SetItemText(int id, std::u16string_view text) = 0;
  virtual std::u16string GetItemText(int id) = 0;
  virtual void EnableItem(int id, bool enabled) = 0;
  // Screen coordinates; id 0 is the dialog window itself.
  virtual Rect GetWindowRect(int id) = 0;
  // Client rectangle (origin 0,0); id 0 is the dialog window itself.
  virtual Rect GetClientRect(int id) = 0;
  // Moves a control to client coordinates, keeping its size, without repainting.
  virtual void MoveItem(int id, int x, int y) = 0;
  virtual void SetProgressRange(int id, uint16_t low, uint16_t high) = 0;
  virtual void SetProgressPos(int id, int position) = 0;

  virtual LogFont GetSystemFont() = 0;  // the stock SYSTEM_FONT
  virtual FontHandle CreateFont(const LogFont& font) = 0;
  virtual void DeleteFont(FontHandle font) = 0;
  virtual void SetItemFont(int id, FontHandle font) = 0;  // WM_SETFONT, no redraw
  // The device context of a control (id 0: the dialog), released by the caller.
  // It starts with the system font selected, as a fresh context does.
  virtual Painter* GetDC(int id) = 0;
  virtual void ReleaseDC(Painter* painter) = 0;
  // Only inside WM_PAINT.
  virtual Painter* BeginPaint() = 0;
  virtual void EndPaint(Painter* painter) = 0;
  virtual uint32_t GetSysColor(uint32_t index) = 0;

  // SetWindowPos(HWND_TOPMOST, 0, 0, screen width, screen height, SWP_FRAMECHANGED).
  virtual void MakeFullScreenTopmost() = 0;
  virtual void Show() = 0;
  virtual void PostCommand(int id) = 0;  // PostMessage(WM_COMMAND, id, 0)
  virtual void EndDialog(int result) = 0;
  // Modal message box owned by the dialog; returns IDOK, IDYES or IDNO.
  virtual int MessageBox(std::u16string_view text, std::u16string_view caption, uint32_t style) = 0;
  // Removes at most one pending message and dispatches it; never waits.
  virtual bool PumpOneMessage() = 0;

  // The value the dialog procedure keeps with its window (DWLP_USER): how
  // the procedure finds the state of the run the dialog belongs to.
  void SetUserData(intptr_t value) { userData_ = value; }
  intptr_t UserData() const { return userData_; }

 private:
  intptr_t userData_ = 0;
};

class DialogHost {
 public:
  virtual ~DialogHost() = default;
  virtual int GetSystemMetrics(int index) = 0;
  // Dialog units to pixels for the template's font.
  virtual Rect MapDialogRect(const DialogTemplate& dialog, const Rect& units) = 0;
  // Creates the dialog from the template and runs it modally until EndDialog;
  // returns the EndDialog result. `initParam` is WM_INITDIALOG's lParam.
  virtual int RunModal(const DialogTemplate& dialog, DialogProc proc, intptr_t initParam) = 0;
};

}  // namespace platform
