#include "host/stop_signals.h"

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <mutex>
#include <thread>

#include "platform/held_stops.h"

namespace host {
namespace {

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// Holds and the decision to end are taken under one lock: once the watcher
// decides to end the program, no change of the device begins.
std::mutex g_lock;
int g_holds = 0;
std::atomic<int> g_held{0};
const char* g_program = "";
std::function<void(int, bool)> g_interrupted;

[[noreturn]] void EndBy(int signal);

void Hold() {
  std::lock_guard<std::mutex> lock(g_lock);
  ++g_holds;
}

// The change is done: a signal held meanwhile ends the program now.
void Release() {
  std::lock_guard<std::mutex> lock(g_lock);
  if (g_holds > 0) --g_holds;
  const int held = g_held.load();
  if (g_holds > 0 || held == 0) return;
  std::fprintf(stderr, "%s: the update is done; %s, which came during it, ends the program now.\n",
               g_program, StopSignalName(held));
  if (g_interrupted) g_interrupted(held, true);
  EndBy(held);
}

// Ends the program by the signal itself: the handler the dialog installed
// (the terminal view's) runs on this thread, then the default action.
[[noreturn]] void EndBy(int signal) {
  sigset_t one;
  sigemptyset(&one);
  sigaddset(&one, signal);
  pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
  ::raise(signal);
  std::signal(signal, SIG_DFL);
  ::raise(signal);
  _exit(128 + signal);
}

void Watch(sigset_t set) {
  for (;;) {
    int signal = 0;
    if (sigwait(&set, &signal) != 0) continue;
    std::unique_lock<std::mutex> lock(g_lock);
    if (g_holds > 0) {
      if (g_held.exchange(signal) == 0) {
        std::fprintf(stderr,
                     "%s: %s came while the device is being changed; the update goes on to "
                     "its end, then the program ends.\n",
                     g_program, StopSignalName(signal));
      }
      continue;
    }
    if (g_interrupted) g_interrupted(signal, false);
    EndBy(signal);  // with the lock held: nothing begins to change now
  }
}

}  // namespace

void WatchStopSignals(const char* program, std::function<void(int, bool)> interrupted) {
  std::signal(SIGPIPE, SIG_IGN);
  g_program = program;
  g_interrupted = std::move(interrupted);
  sigset_t set;
  sigemptyset(&set);
  for (int signal : kStopSignals) {
    // A signal the process was started ignoring (nohup) stays ignored.
    struct sigaction previous {};
    if (sigaction(signal, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    sigaddset(&set, signal);
  }
  // Every thread started later inherits the mask: only the watcher takes them.
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread(Watch, set).detach();
  platform::InstallStopHolding({Hold, Release});
}

const char* StopSignalName(int signal) {
  switch (signal) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    case SIGHUP:
      return "SIGHUP";
    default:
      return "a signal";
  }
}

const bool kClosingLineOnStderr = true;

}  // namespace host
