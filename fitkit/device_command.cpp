// fitkit device: create (the fitkit-device script beside this program) and
// show.
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>

#include <nlohmann/json.hpp>

#include "device/device.h"
#include "device/device_config.h"
#include "fitkit/checked_device.h"
#include "fitkit/command_line.h"
#include "fitkit/commands.h"
#include "fitkit/exit_codes.h"
#include "frame/device_identity.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"

namespace fitkit {
namespace fs = std::filesystem;
namespace {

using Json = nlohmann::ordered_json;
using platform::ToUtf8;

constexpr char kDeviceUsage[] =
    "Usage: fitkit device create DIR [OPTION]...   (options: fitkit device create --help)\n"
    "       fitkit device show ROOT [--json]\n"
    "create makes DIR a device root, as fitkit-device does; show says what a device\n"
    "root is: its model, versions, flash drive, hardware and what lies on its storage card.\n"
    "Exit status: 0 done, 2 usage error, 5 ROOT is no device root.\n";

// fitkit-device beside this program (installed, or in the build folder).
int RunDeviceScript(const Words& words, const char* self) {
  std::error_code error;
  fs::path program = fs::read_symlink("/proc/self/exe", error);
  if (error) program = self;
  const fs::path script = program.parent_path() / "fitkit-device";
  std::vector<std::string> arguments{script.string()};
  arguments.insert(arguments.end(), words.begin(), words.end());
  std::vector<char*> argv;
  for (std::string& word : arguments) argv.push_back(word.data());
  argv.push_back(nullptr);
  ::execv(script.c_str(), argv.data());
  std::fprintf(stderr, "fitkit device: cannot run %s\n", script.c_str());
  return kExitOther;
}

std::string Text(std::u16string_view subkey, std::u16string_view name) {
  std::u16string value;
  frame::ReadRegistryString(subkey, name, &value);
  return ToUtf8(value);
}

// What lies on the storage card: files and folders of the top level.
Json CardContents(const std::u16string& card) {
  Json listed = Json::array();
  for (const platform::FindData& found : platform::Files().Find(card + u"\\*")) {
    const bool folder = (found.attributes & platform::FILE_ATTRIBUTE_DIRECTORY) != 0;
    listed.push_back({{"name", ToUtf8(found.name)}, {"folder", folder}, {"size", found.size}});
  }
  return listed;
}

int Show(const fs::path& root, bool json) {
  if (!IsDeviceRoot(root)) {
    std::fprintf(stderr, "fitkit device show: %s is no device root (it holds no device.ini)\n",
                 root.string().c_str());
    return kExitNoDevice;
  }
  const auto device = device::Device::Open(fs::absolute(root));
  platform::ScopedEnvironment installed(device->environment());
  const device::DeviceConfig& config = *device->context().config;
  std::u16string flash;
  frame::GetFlashDriveFolder(&flash);
  std::string flashVersion;
  std::ifstream(root / "flash" / "version") >> flashVersion;
  const Json shown = {{"root", fs::absolute(root).string()},
                      {"model", Text(u"Ident", u"Model")},
                      {"os_version", Text(u"Ident", u"Version")},
                      {"flash_drive", ToUtf8(flash)},
                      {"board_revision", config.BoardRevision()},
                      {"ac_line", config.AcLineStatus()},
                      {"flash_driver", config.DriverKind("SCD1").has_value()},
                      {"power_driver", config.DriverKind("PWR1").has_value()},
                      {"capacity", config.FsCapacity()},
                      {"flashed_version", flashVersion},
                      {"storage_card", CardContents(u"\\Storage Card")}};
  if (json) {
    std::cout << shown.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
    return kExitSuccess;
  }
  std::cout << "device root " << shown["root"].get<std::string>() << '\n'
            << "  model           " << shown["model"].get<std::string>() << '\n'
            << "  OS version      " << shown["os_version"].get<std::string>() << '\n'
            << "  flash drive     " << shown["flash_drive"].get<std::string>() << '\n'
            << "  board revision  " << config.BoardRevision() << '\n'
            << "  external power  " << (config.AcLineStatus() == 1 ? "yes" : "no") << '\n'
            << "  flash driver    " << (shown["flash_driver"].get<bool>() ? "yes" : "absent")
            << '\n'
            << "  capacity        "
            << (config.FsCapacity() == 0 ? std::string("no limit")
                                         : std::to_string(config.FsCapacity()) + " bytes")
            << '\n';
  if (!flashVersion.empty()) std::cout << "  flashed         " << flashVersion << '\n';
  std::cout << "  \\Storage Card:\n";
  for (const Json& item : shown["storage_card"]) {
    std::cout << "    " << item["name"].get<std::string>()
              << (item["folder"].get<bool>()
                      ? "\\"
                      : "  " + std::to_string(item["size"].get<uint64_t>()) + " bytes")
              << '\n';
  }
  return kExitSuccess;
}

}  // namespace

int RunDevice(const Words& words, const char* self) {
  if (words.empty() || words.front() == "--help" || words.front() == "-h") {
    std::fputs(kDeviceUsage, words.empty() ? stderr : stdout);
    return words.empty() ? kExitUsage : kExitSuccess;
  }
  if (words.front() == "create") return RunDeviceScript(words, self);
  if (words.front() != "show") {
    return UsageError("device", "unknown subcommand '" + words.front() + "' (create or show)");
  }
  ParsedArgs args;
  std::string error;
  if (!args.Parse(Words(words.begin() + 1, words.end()), {{"--help"}, {"--json"}}, &error)) {
    return UsageError("device", error);
  }
  if (args.Has("--help")) {
    std::fputs(kDeviceUsage, stdout);
    return kExitSuccess;
  }
  if (args.operands().size() != 1) return UsageError("device", "show needs one ROOT");
  return Show(args.operands().front(), args.Has("--json"));
}

}  // namespace fitkit
