#include "device/device.h"
#include "shellfit/shellfit_entry.h"

int main(int argc, char** argv) { return platform::RunOnDevice(argc, argv, shellfit::ShellfitMain); }
