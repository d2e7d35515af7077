#include "report/program_main.h"
#include "shellfit/shellfit_entry.h"

namespace {

constexpr char kUsage[] =
    "Usage: shellfit [/force | /upgrade | SOURCE-FOLDER]\n"
    "Replaces the shell software on the device's flash drive with the contents of\n"
    "the package \"<model> SHELL.ZIP\" found in the source folder (a device path;\n"
    "without one, the program's own folder on the device).\n"
    "  /force      press START at once\n"
    "  /upgrade    go on only when the package's main.exe is newer\n"
    "  --help      this text;  --version  the kit's version\n"
    "Environment: FITKIT_DEVICE=<device root>, FITKIT_UI=gui|console,\n"
    "FITKIT_REPORT=<file> (JSON outcome report), FITKIT_TRACE=1.\n"
    "Exit status: 0 nothing started, 1 after START, 2 after Cancel,\n"
    "3 another update runs on the device.\n"
    "See shellfit(1) and fitkit-device(1).\n";

}  // namespace

int main(int argc, char** argv) {
  return report::ProgramMain({"shellfit", kUsage}, argc, argv, shellfit::ShellfitMain);
}
