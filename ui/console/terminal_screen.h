// The terminal the console host draws on while a dialog runs: taken with
// ncurses when the dialog opens and given back as it was on every way out
// (normal end, exception, exit(), SIGINT, SIGTERM and the fatal signals).
#pragma once

namespace ui {

// What a key press means to a dialog or a message box.
enum class TerminalKeyKind {
  None,      // nothing waiting (polling only)
  Enter,     // Return or keypad Enter
  Next,      // Tab, right or down arrow
  Previous,  // Shift-Tab, left or up arrow
  Escape,
  Resize,      // the terminal changed size: draw again
  EndOfInput,  // the terminal went away
  Character,   // a printable character, lower-cased, in `character`
};

struct TerminalKey {
  TerminalKeyKind kind = TerminalKeyKind::None;
  char32_t character = 0;
};

// One open terminal at a time. The destructor gives the terminal back.
class TerminalScreen {
 public:
  TerminalScreen() = default;
  ~TerminalScreen();
  TerminalScreen(const TerminalScreen&) = delete;
  TerminalScreen& operator=(const TerminalScreen&) = delete;

  // Takes the terminal on stdin/stdout: the alternate screen, keys unbuffered
  // and unechoed, the cursor hidden. False (and nothing changed) when the
  // terminal type is unknown to terminfo or cannot place the cursor.
  bool Open();
  // Gives the terminal back; does nothing when it is not open.
  void Close();
  bool open() const { return open_; }

  // The next key; without `wait`, None when no key is waiting.
  TerminalKey ReadKey(bool wait);
  // Drops keys typed before now, so a question is not answered ahead.
  void DiscardTypeAhead();

 private:
  bool open_ = false;
};

}  // namespace ui
