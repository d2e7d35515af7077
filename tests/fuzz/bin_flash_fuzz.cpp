// Fuzz target: the input is nk.bin of an image set whose other three images
// are sound. The set is streamed into the simulated flash update driver of a
// scratch device root, as imagefit's kernel update sends it; whatever the
// check before START accepts must go through whole.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

#include "device/device.h"
#include "device/device_config.h"
#include "device/simulated/simulated_hardware.h"
#include "host/linux/file_system.h"
#include "imagefit/flash_driver.h"
#include "imagefit/image_set_check.h"
#include "imagefit/update_report.h"
#include "platform/drivers.h"
#include "platform/environment.h"
#include "tests/fuzz/scratch_root.h"

namespace {

void Put32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out += char(value >> (8 * i));
}

// A BIN image of one record holding `size` bytes of a pattern at `start`.
std::string SoundImage(uint32_t start, uint32_t size) {
  std::string data;
  uint32_t sum = 0;
  for (uint32_t i = 0; i < size; ++i) {
    data += char(i * 7 + 1);
    sum += uint8_t(data.back());
  }
  std::string image = "B000FF\n";
  Put32(image, start);
  Put32(image, size);
  Put32(image, start);
  Put32(image, size);
  Put32(image, sum);
  image += data;
  Put32(image, 0);
  Put32(image, start);
  Put32(image, 0);
  return image;
}

void Write(const std::filesystem::path& file, const void* data, size_t size) {
  std::ofstream(file, std::ios::binary | std::ios::trunc)
      .write(static_cast<const char*>(data), std::streamsize(size));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto& scratch = fuzz_support::ScratchRoot::Get();
  const auto folder = scratch.fs() / "Storage Card";
  static const bool written = [&] {
    const std::string images[] = {SoundImage(0x80000000, 300), SoundImage(0x80100000, 40),
                                  SoundImage(0x82200000, 7)};
    const char* names[] = {"drivers.bin", "tinynk.bin", "chain.bin"};
    for (int i = 0; i < 3; ++i) Write(folder / names[i], images[i].data(), images[i].size());
    return true;
  }();
  (void)written;
  Write(folder / "nk.bin", data, size);

  const device::DeviceConfig config;
  host::LinuxFileSystem files(scratch.root(), 0);
  device::DeviceContext context;
  context.root = scratch.root();
  context.config = &config;
  context.files = &files;
  {
    const auto drivers = device::CreateSimulatedDrivers(context);
    platform::Environment env;
    env.files = &files;
    env.drivers = drivers.get();
    platform::ScopedEnvironment installed(env);
    // What the check before START accepts, the driver must take whole.
    const auto nk = files.Open(u"\\Storage Card\\nk.bin", platform::AccessRead,
                               platform::Disposition::OpenExisting);
    const bool sound = nk && imagefit::CheckBinImage(*nk).empty();
    imagefit::ImageSet set;
    for (int i = 0; i < imagefit::kImageCount; ++i) {
      set.paths[i] = u"\\Storage Card\\" + std::u16string(imagefit::kImageFileNames[i]);
    }
    set.version = 0x03010007;
    imagefit::UpdateReport report;
    const bool sent = imagefit::UpdateKernel(set, report, nullptr, nullptr);
    if (sound && !sent) std::abort();
  }
  scratch.CheckOutside();
  std::filesystem::remove_all(scratch.root() / "flash");
  std::filesystem::remove(scratch.root() / "journal.log");
  return 0;
}
