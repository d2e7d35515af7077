#include "imagefit/imagefit_entry.h"
#include "platform/device.h"

int main(int argc, char** argv) { return platform::RunOnDevice(argc, argv, imagefit::ImagefitMain); }
