#include "imagefit/imagefit_entry.h"
#include "device/device.h"

int main(int argc, char** argv) { return platform::RunOnDevice(argc, argv, imagefit::ImagefitMain); }
