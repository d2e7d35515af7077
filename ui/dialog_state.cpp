#include "ui/dialog_state.h"

#include <algorithm>

#include "platform/text.h"
#include "platform/trace.h"

namespace ui {
namespace {

// A border (WS_BORDER) or static edge takes one pixel on each side of a
// control's window rectangle; its client rectangle is what is left inside.
int FrameThickness(const platform::ControlTemplate& control) {
  if (control.kind == platform::ControlKind::Progress)
    return (control.style & platform::StyleStaticEdge) ? 1 : 0;
  if (control.kind == platform::ControlKind::Static)
    return (control.style & platform::StyleBorder) ? 1 : 0;
  return 0;
}

}  // namespace

platform::Rect DialogUnitsToPixels(const platform::Rect& units) {
  return platform::Rect{units.left * 8 / 4, units.top * 16 / 8, units.right * 8 / 4,
                        units.bottom * 16 / 8};
}

int ScreenMetric(const ScreenMetrics& screen, int index) {
  switch (index) {
    case platform::SM_CXSCREEN:
      return screen.width;
    case platform::SM_CYSCREEN:
      return screen.height;
    case platform::SM_CYHSCROLL:
      return screen.scroll;
    default:
      return 0;
  }
}

platform::LogFont SystemLogFont() { return platform::LogFont{16, 400, u"System"}; }

DialogState::DialogState(const platform::DialogTemplate& dialog, platform::DialogProc proc,
                         const ScreenMetrics& screen)
    : proc_(proc), screen_(screen), statusId_(dialog.statusId) {
  window_ = DialogUnitsToPixels(platform::Rect{0, 0, dialog.cx, dialog.cy});
  fonts_[kSystemFontHandle] = SystemLogFont();
  for (const platform::ControlTemplate& source : dialog.controls) {
    ControlState control;
    control.source = source;
    control.rect = DialogUnitsToPixels(
        platform::Rect{source.x, source.y, source.x + source.cx, source.y + source.cy});
    control.text = source.text;
    controls_.push_back(std::move(control));
  }
}

const ControlState* DialogState::Find(int id) const {
  for (const ControlState& control : controls_) {
    if (control.source.id == id) return &control;
  }
  return nullptr;
}

ControlState* DialogState::FindMutable(int id) {
  return const_cast<ControlState*>(static_cast<const DialogState*>(this)->Find(id));
}

void DialogState::SetWindowText(std::u16string_view text) {
  platform::Trace("SetWindowText(\"%s\")", platform::ToUtf8(text).c_str());
  windowText_ = std::u16string(text);
  OnWindowTextChanged();
}

void DialogState::SetItemText(int id, std::u16string_view text) {
  ControlState* control = FindMutable(id);
  if (control == nullptr) return;
  control->text = std::u16string(text);
  OnTextChanged(*control);
  platform::Trace("SetItemText(%d, \"%s\")", id, platform::ToUtf8(text).c_str());
}

std::u16string DialogState::GetItemText(int id) {
  const ControlState* control = Find(id);
  return control == nullptr ? std::u16string() : control->text;
}

void DialogState::EnableItem(int id, bool enabled) {
  ControlState* control = FindMutable(id);
  if (control == nullptr) return;
  platform::Trace("EnableItem(%d, %s)", id, enabled ? "true" : "false");
  if (control->enabled == enabled) return;
  control->enabled = enabled;
  OnEnabledChanged(*control);
}

platform::Rect DialogState::GetWindowRect(int id) {
  if (id == 0) return window_;
  const ControlState* control = Find(id);
  if (control == nullptr) return platform::Rect{};
  // The dialog has no frame of its own: its client origin is its window origin.
  const platform::Rect& r = control->rect;
  return platform::Rect{r.left + window_.left, r.top + window_.top, r.right + window_.left,
                        r.bottom + window_.top};
}

platform::Rect DialogState::GetClientRect(int id) {
  if (id == 0) return platform::Rect{0, 0, window_.Width(), window_.Height()};
  const ControlState* control = Find(id);
  if (control == nullptr) return platform::Rect{};
  const int frame = FrameThickness(control->source);
  return platform::Rect{0, 0, std::max(0, control->rect.Width() - 2 * frame),
                        std::max(0, control->rect.Height() - 2 * frame)};
}

void DialogState::MoveItem(int id, int x, int y) {
  ControlState* control = FindMutable(id);
  if (control == nullptr) return;
  platform::Trace("MoveItem(%d, %d, %d)", id, x, y);
  const int width = control->rect.Width();
  const int height = control->rect.Height();
  control->rect = platform::Rect{x, y, x + width, y + height};
  OnMoved(*control);
}

void DialogState::SetProgressRange(int id, uint16_t low, uint16_t high) {
  ControlState* control = FindMutable(id);
  if (control == nullptr) return;
  platform::Trace("SetProgressRange(%d, %u, %u)", id, static_cast<unsigned>(low),
                  static_cast<unsigned>(high));
  control->low = low;
  control->high = high;
  control->position = std::clamp(control->position, static_cast<int>(low),
                                 std::max(static_cast<int>(low), static_cast<int>(high)));
  OnProgressChanged(*control);
}

void DialogState::SetProgressPos(int id, int position) {
  ControlState* control = FindMutable(id);
  if (control == nullptr) return;
  // A progress bar keeps its position inside its range.
  const int low = control->low;
  control->position = std::clamp(position, low, std::max(low, static_cast<int>(control->high)));
  OnProgressChanged(*control);
  platform::Trace("SetProgressPos(%d, %d)", id, control->position);
}

platform::LogFont DialogState::GetSystemFont() { return SystemLogFont(); }

platform::FontHandle DialogState::CreateFont(const platform::LogFont& font) {
  const platform::FontHandle handle = nextFont_++;
  fonts_[handle] = font;
  platform::Trace("CreateFont(height %d, weight %d) = %lu", font.height, font.weight,
                  static_cast<unsigned long>(handle));
  return handle;
}

void DialogState::DeleteFont(platform::FontHandle font) {
  if (font == kSystemFontHandle) return;
  platform::Trace("DeleteFont(%lu)", static_cast<unsigned long>(font));
  fonts_.erase(font);
}

platform::LogFont DialogState::FontOf(platform::FontHandle font) const {
  const auto it = fonts_.find(font == 0 ? kSystemFontHandle : font);
  return it == fonts_.end() ? SystemLogFont() : it->second;
}

void DialogState::SetItemFont(int id, platform::FontHandle font) {
  ControlState* control = FindMutable(id);
  if (control == nullptr) return;
  control->font = font;
  OnFontChanged(*control);
}

uint32_t DialogState::GetSysColor(uint32_t index) {
  return index == platform::COLOR_STATIC ? kStaticColorRef : 0x00FFFFFF;
}

void DialogState::MakeFullScreenTopmost() {
  window_ = platform::Rect{0, 0, screen_.width, screen_.height};
  platform::Trace("SetWindowPos(topmost, 0, 0, %d, %d)", screen_.width, screen_.height);
  OnWindowChanged();
}

void DialogState::Show() {
  shown_ = true;
  OnShown();
  platform::Trace("ShowWindow(SW_SHOW)");
}

void DialogState::PostCommand(int id) {
  platform::Trace("PostMessage(WM_COMMAND, %d)", id);
  queue_.push_back(Posted{platform::WM_COMMAND, static_cast<uintptr_t>(id), 0});
}

void DialogState::PressButton(int id) {
  const ControlState* control = Find(id);
  if (control == nullptr || !control->enabled || ended_) return;
  queue_.push_back(Posted{platform::WM_COMMAND, static_cast<uintptr_t>(id), 0, id});
}

void DialogState::EndDialog(int result) {
  platform::Trace("EndDialog(%d)", result);
  if (ended_) return;
  ended_ = true;
  result_ = result;
}

intptr_t DialogState::Send(uint32_t message, uintptr_t wParam, intptr_t lParam) {
  return proc_(*this, message, wParam, lParam);
}

bool DialogState::DispatchQueued() {
  if (queue_.empty()) return false;
  const Posted posted = queue_.front();
  queue_.pop_front();
  if (posted.button != 0) {
    const ControlState* control = Find(posted.button);
    if (control == nullptr || !control->enabled) {
      platform::Trace("click on disabled control %d dropped", posted.button);
      return true;
    }
  }
  platform::Trace("DispatchMessage(0x%04X, %lu)", posted.message,
                  static_cast<unsigned long>(posted.wParam));
  Send(posted.message, posted.wParam, posted.lParam);
  return true;
}

int DialogState::RunModal(intptr_t initParam) {
  Send(platform::WM_INITDIALOG, 0, initParam);
  while (!ended_) {
    if (!DispatchQueued()) WaitForInput();
  }
  Send(platform::WM_DESTROY, 0, 0);
  platform::Trace("DialogBox ended with %d", result_);
  return result_;
}

}  // namespace ui
