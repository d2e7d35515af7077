// The console dialog host: the dialog drawn as text on a terminal, each
// change of the status line and progress bar printed as one line, START and
// Cancel pressed by typed lines, message boxes answered by typed words.
#pragma once

#include <iosfwd>
#include <memory>

#include "ui/dialog_state.h"

namespace ui {

// Text is measured in a fixed cell: 8 pixels per UTF-16 unit, as high as the
// selected font's cell height.
inline constexpr int kConsoleCellWidth = 8;
platform::Size ConsoleTextExtent(std::u16string_view text, const platform::LogFont& font);

class ConsoleDialogHost : public platform::DialogHost {
 public:
  ConsoleDialogHost(const ScreenMetrics& screen, std::istream& in, std::ostream& out);
  int GetSystemMetrics(int index) override;
  platform::Rect MapDialogRect(const platform::DialogTemplate& dialog,
                               const platform::Rect& units) override;
  int RunModal(const platform::DialogTemplate& dialog, platform::DialogProc proc,
               intptr_t initParam) override;

 private:
  ScreenMetrics screen_;
  std::istream& in_;
  std::ostream& out_;
};

// A console dialog that can be driven without a modal loop (tests).
std::unique_ptr<DialogState> CreateConsoleDialog(const platform::DialogTemplate& dialog,
                                                 platform::DialogProc proc,
                                                 const ScreenMetrics& screen, std::istream& in,
                                                 std::ostream& out);

}  // namespace ui
