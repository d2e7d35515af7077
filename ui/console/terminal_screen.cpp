#include "ui/console/terminal_screen.h"

#include <curses.h>
#include <term.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <cwctype>
#include <iterator>

namespace ui {
namespace {

// Keep Escape quick: a lone ESC is a key of its own after this many ms.
constexpr int kEscapeDelayMs = 40;

// What a signal handler needs to give the terminal back with async-signal-safe
// calls only: the terminal modes from before, and the bytes that leave the
// alternate screen, show the cursor, reset the attributes and the keypad.
struct Restore {
  termios modes{};
  bool haveModes = false;
  char leave[256] = {};
  std::size_t leaveLength = 0;
  volatile sig_atomic_t active = 0;
};
Restore g_restore;

constexpr int kCaughtSignals[] = {SIGINT,  SIGTERM, SIGHUP, SIGQUIT,
                                  SIGABRT, SIGSEGV, SIGBUS, SIGFPE};
struct sigaction g_previous[std::size(kCaughtSignals)];
bool g_handlersInstalled = false;
TerminalScreen* g_openScreen = nullptr;
SCREEN* g_screen = nullptr;

void RestoreNow() {
  if (!g_restore.active) return;
  g_restore.active = 0;
  if (g_restore.leaveLength > 0) {
    ssize_t ignored = ::write(STDOUT_FILENO, g_restore.leave, g_restore.leaveLength);
    (void)ignored;
  }
  if (g_restore.haveModes) ::tcsetattr(STDOUT_FILENO, TCSANOW, &g_restore.modes);
}

// Gives the terminal back, then lets the signal do what it did before (end
// the process, normally), so the exit status still tells which signal it was.
void OnSignal(int signal) {
  RestoreNow();
  for (std::size_t i = 0; i < std::size(kCaughtSignals); ++i) {
    if (kCaughtSignals[i] == signal) ::sigaction(signal, &g_previous[i], nullptr);
  }
  ::raise(signal);
}

void InstallHandlers() {
  if (g_handlersInstalled) return;
  g_handlersInstalled = true;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(kCaughtSignals); ++i) {
    ::sigaction(kCaughtSignals[i], nullptr, &g_previous[i]);
    // A signal the process ignores (nohup) stays ignored.
    if (g_previous[i].sa_handler == SIG_IGN) continue;
    ::sigaction(kCaughtSignals[i], &action, nullptr);
  }
  // exit() while the dialog is up (no destructor runs then).
  std::atexit([] {
    if (g_openScreen != nullptr) g_openScreen->Close();
  });
}

bool Capable(const char* name) {
  const char* value = tigetstr(name);
  return value != nullptr && value != reinterpret_cast<const char*>(-1);
}

void AppendCapability(const char* name) {
  if (!Capable(name)) return;
  const char* value = tigetstr(name);
  const std::size_t length = std::strlen(value);
  if (g_restore.leaveLength + length > sizeof g_restore.leave) return;
  std::memcpy(g_restore.leave + g_restore.leaveLength, value, length);
  g_restore.leaveLength += length;
}

TerminalKey KeyFromCode(int code) {
  switch (code) {
    case KEY_ENTER:
      return {TerminalKeyKind::Enter};
    case KEY_RIGHT:
    case KEY_DOWN:
      return {TerminalKeyKind::Next};
    case KEY_LEFT:
    case KEY_UP:
    case KEY_BTAB:
      return {TerminalKeyKind::Previous};
    case KEY_RESIZE:
      return {TerminalKeyKind::Resize};
    default:
      return {TerminalKeyKind::None};
  }
}

TerminalKey KeyFromCharacter(wint_t c) {
  if (c == L'\n' || c == L'\r') return {TerminalKeyKind::Enter};
  if (c == L'\t') return {TerminalKeyKind::Next};
  if (c == 27) return {TerminalKeyKind::Escape};
  if (!std::iswprint(c)) return {TerminalKeyKind::None};
  return {TerminalKeyKind::Character, static_cast<char32_t>(std::towlower(c))};
}

}  // namespace

TerminalScreen::~TerminalScreen() { Close(); }

bool TerminalScreen::Open() {
  if (open_) return true;
  // The kit's text is UTF-8 whatever the user's locale (platform/text.cpp).
  std::setlocale(LC_CTYPE, "C.UTF-8");
  g_restore.haveModes = ::tcgetattr(STDOUT_FILENO, &g_restore.modes) == 0;
  // Before ncurses starts, so that it keeps these handlers instead of its own.
  InstallHandlers();
  g_screen = newterm(nullptr, stdout, stdin);
  if (g_screen == nullptr) return false;
  // A terminal that cannot place the cursor (TERM=dumb) cannot be drawn on.
  if (!Capable("cup")) {
    endwin();
    delscreen(g_screen);
    g_screen = nullptr;
    return false;
  }
  g_restore.leaveLength = 0;
  AppendCapability("sgr0");
  AppendCapability("cnorm");
  AppendCapability("rmkx");
  AppendCapability("rmcup");
  g_restore.active = 1;
  open_ = true;
  g_openScreen = this;
  cbreak();
  noecho();
  nonl();
  keypad(stdscr, TRUE);
  set_escdelay(kEscapeDelayMs);
  curs_set(0);
  if (has_colors()) {
    start_color();
    use_default_colors();
  }
  return true;
}

void TerminalScreen::Close() {
  if (!open_) return;
  open_ = false;
  g_openScreen = nullptr;
  g_restore.active = 0;
  curs_set(1);
  endwin();
  delscreen(g_screen);
  g_screen = nullptr;
}

TerminalKey TerminalScreen::ReadKey(bool wait) {
  nodelay(stdscr, wait ? FALSE : TRUE);
  for (;;) {
    wint_t c = 0;
    errno = 0;
    const int kind = wget_wch(stdscr, &c);
    if (kind == ERR) {
      if (!wait) return TerminalKey{};
      if (errno == EINTR) continue;
      return TerminalKey{TerminalKeyKind::EndOfInput};
    }
    const TerminalKey key =
        kind == KEY_CODE_YES ? KeyFromCode(static_cast<int>(c)) : KeyFromCharacter(c);
    // Keys that mean nothing here are skipped, not reported.
    if (key.kind != TerminalKeyKind::None) return key;
  }
}

void TerminalScreen::DiscardTypeAhead() { flushinp(); }

}  // namespace ui
