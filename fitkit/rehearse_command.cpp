// fitkit rehearse: its command line.
#include <cstdio>

#include "fitkit/command_line.h"
#include "fitkit/commands.h"
#include "fitkit/exit_codes.h"
#include "fitkit/headless_dialog.h"
#include "fitkit/rehearsal.h"

namespace fitkit {
namespace {

constexpr char kRehearseUsage[] =
    "Usage: fitkit rehearse --device ROOT UPDATE [OPTION]...\n"
    "Puts the update where the program looks on the device root (a package as\n"
    "\\Storage Card\\<model> SHELL.ZIP, an image set as \\Storage Card\\Update), runs\n"
    "shellfit or imagefit there with nobody at the screen, and ends with one closing\n"
    "line, the last on standard error.\n"
    "  --device ROOT        the device root (fitkit device create makes one)\n"
    "  --yes, --no          the answer to every question the program asks\n"
    "  --revision=yes|no    the answer to imagefit's board revision question\n"
    "  --continue=yes|no    the answer to imagefit's \"CONTINUE?\" after a failed step\n"
    "                       A question without an answer ends the rehearsal as refused.\n"
    "  --progress=json      one JSON line per step on standard output (phase, item,\n"
    "                       entries and bytes done and total)\n"
    "  --json               the run's report (docs/report.md) on standard output\n"
    "  --report FILE        also write the report to FILE\n"
    "Exit status: 0 installed or restarted, 1 refused, 2 usage error, 3 incomplete,\n"
    "4 no update found, 5 no device, 6 already running, 7 other failure,\n"
    "8 another update running on the device.\n";

}  // namespace

int RunRehearse(const Words& words) {
  ParsedArgs args;
  std::string error;
  if (!args.Parse(words,
                  {{"--help"},
                   {"--json"},
                   {"--yes"},
                   {"--no"},
                   {"--device", true},
                   {"--revision", true},
                   {"--continue", true},
                   {"--progress", true},
                   {"--report", true}},
                  &error)) {
    return UsageError("rehearse", error);
  }
  if (args.Has("--help")) {
    std::fputs(kRehearseUsage, stdout);
    return kExitSuccess;
  }
  if (!args.Has("--device"))
    return UsageError("rehearse", "name the device root with --device ROOT");
  if (args.operands().size() != 1) return UsageError("rehearse", "name one UPDATE");
  if (args.Has("--yes") && args.Has("--no"))
    return UsageError("rehearse", "--yes or --no, not both");
  RehearsalRequest request;
  request.device = *args.Value("--device");
  request.update = args.operands().front();
  const Answer all = args.Has("--yes") ? Answer::Yes : args.Has("--no") ? Answer::No : Answer::None;
  request.answers = {all, all};
  if (args.Has("--revision") &&
      !ParseAnswer(*args.Value("--revision"), &request.answers.revision)) {
    return UsageError("rehearse", "--revision is yes or no");
  }
  if (args.Has("--continue") && !ParseAnswer(*args.Value("--continue"), &request.answers.proceed)) {
    return UsageError("rehearse", "--continue is yes or no");
  }
  if (args.Has("--progress") && *args.Value("--progress") != "json") {
    return UsageError("rehearse", "--progress takes json");
  }
  request.progressJson = args.Has("--progress");
  request.json = args.Has("--json");
  if (request.json && request.progressJson) {
    return UsageError("rehearse", "--json and --progress=json both want standard output");
  }
  request.reportFile = args.Value("--report").value_or("");
  return Rehearse(request);
}

}  // namespace fitkit
