// The dialog of a rehearsal: nobody at the screen. START is pressed once,
// Cancel when the dialog waits again; Yes/No questions are answered as the
// command line said, and a question without an answer is answered No and
// noted, so that the rehearsal ends as refused rather than passing over a
// failure nobody chose to pass over. Each change of the status line and the
// bar is handed to an observer.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/dialog.h"
#include "ui/dialog_state.h"

namespace fitkit {

enum class Answer { None, Yes, No };

struct Answers {
  Answer revision = Answer::None;  // "Are you sure you want to update the REV-..."
  Answer proceed = Answer::None;   // "...failed!\r\nCONTINUE?"
};

// "yes" or "no", as --revision and --continue take them; false for any other.
bool ParseAnswer(const std::string& text, Answer* answer);

// What the screen shows now: the status line and the bar.
struct ScreenState {
  std::u16string status;
  int position = 0;
  int high = 0;
};

// A question as the rehearsal and the check quote it: UTF-8, on one line.
std::string QuestionLine(std::u16string_view text);

class HeadlessDialogHost : public platform::DialogHost {
 public:
  HeadlessDialogHost(const ui::ScreenMetrics& screen, Answers answers,
                     std::function<void(const ScreenState&)> observer);
  int GetSystemMetrics(int index) override;
  platform::Rect MapDialogRect(const platform::DialogTemplate& dialog,
                               const platform::Rect& units) override;
  int RunModal(const platform::DialogTemplate& dialog, platform::DialogProc proc,
               intptr_t initParam) override;

  // The question no answer was given for (UTF-8, one line); empty when every
  // question had one.
  const std::string& unanswered() const { return unanswered_; }

  // Internal: the dialog asks its host.
  int Respond(std::u16string_view text, uint32_t style);
  void Changed(const ScreenState& state) { observer_(state); }

 private:
  ui::ScreenMetrics screen_;
  Answers answers_;
  std::function<void(const ScreenState&)> observer_;
  std::string unanswered_;
};

}  // namespace fitkit
