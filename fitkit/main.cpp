// fitkit: the kit for people who prepare updates and for their scripts.
// Checks and inspects packages and image sets, rehearses them on a device
// root and makes device roots; see fitkit(1).
#include <cstdio>
#include <cstring>

#include "fitkit/commands.h"
#include "fitkit/exit_codes.h"
#include "host/command_host.h"
#include "report/program_main.h"

namespace {

constexpr char kUsage[] =
    "Usage: fitkit COMMAND [OPTION]... [ARGUMENT]...\n"
    "Checks, inspects and rehearses updates for the device, on Linux.\n"
    "\n"
    "  check UPDATE [--device ROOT | --model M]...  what the programs would check, touching\n"
    "                                   nothing, and what would happen\n"
    "  inspect UPDATE                   what a package or an image set holds\n"
    "  manifest UPDATE [--security-version N]  write its release manifest, to be signed\n"
    "  rehearse --device ROOT UPDATE    run the update on a device root, headless\n"
    "  device create DIR [OPTION]...    make a device root (fitkit-device)\n"
    "  device show ROOT                 what a device root holds\n"
    "\n"
    "UPDATE is a shell package (a ZIP file) or an image set (a folder). Every command\n"
    "takes --help and --json, and ends with its verdict, the last line on standard\n"
    "error. Exit status: 0 success, 1 refused, 2 usage error, 3 incomplete,\n"
    "4 no update found, 5 no device, 6 already running, 7 other failure,\n"
    "8 another update running on the device.\n"
    "  --help      this text;  --version  the kit's version\n"
    "See fitkit(1).\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs(kUsage, stderr);
    return fitkit::kExitUsage;
  }
  const std::string command = argv[1];
  const fitkit::Words words(argv + 2, argv + argc);
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return fitkit::kExitSuccess;
  }
  if (command == "--version") {
    std::printf("fitkit (fitkit) %s\n", report::KitVersion());
    return fitkit::kExitSuccess;
  }
  // The programs' dialogs are never shown here: the checks show none, and a
  // rehearsal brings its own.
  host::SetVariable("FITKIT_UI", "console");
  host::SetVariable("FITKIT_CONSOLE", "lines");
  if (command == "check") return fitkit::RunCheck(words);
  if (command == "inspect") return fitkit::RunInspect(words);
  if (command == "manifest") return fitkit::RunManifest(words);
  if (command == "rehearse") return fitkit::RunRehearse(words);
  if (command == "device") return fitkit::RunDevice(words, argv[0]);
  if (command.size() > 1 && command[0] == '-') {
    std::fprintf(stderr,
                 "fitkit: unknown option '%s'; before a command only --help and --version "
                 "(see fitkit --help)\n",
                 command.c_str());
    return fitkit::kExitUsage;
  }
  std::fprintf(stderr,
               "fitkit: unknown command '%s' (the commands are check, inspect, manifest, "
               "rehearse and device; see fitkit --help)\n",
               command.c_str());
  return fitkit::kExitUsage;
}
