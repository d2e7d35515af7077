#include "imagefit/imagefit_entry.h"
#include "report/program_main.h"

namespace {

constexpr char kUsage[] =
    "Usage: imagefit [IMAGE-FOLDER]\n"
    "Programs the boot loaders and OS images of the image folder (a device path;\n"
    "without one, the program's own folder on the device) into flash memory\n"
    "through the flash update driver, then restarts the device.\n"
    "  --help      this text;  --version  the kit's version\n"
    "Environment: FITKIT_DEVICE=<device root>, FITKIT_UI=gui|console,\n"
    "FITKIT_REPORT=<file> (JSON outcome report), FITKIT_TRACE=1.\n"
    "Exit status: 0 another instance runs, 1 after a run, 2 after Cancel,\n"
    "3 another update runs on the device, 255 when the image set is incomplete.\n"
    "See imagefit(1) and fitkit-device(1).\n";

}  // namespace

int main(int argc, char** argv) {
  return report::ProgramMain({"imagefit", kUsage}, argc, argv, imagefit::ImagefitMain);
}
