// fitkit device: create (the fitkit-device script beside this program) and
// show.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include <nlohmann/json.hpp>

#include "device/device.h"
#include "device/device_config.h"
#include "fitkit/checked_device.h"
#include "fitkit/command_line.h"
#include "fitkit/commands.h"
#include "fitkit/exit_codes.h"
#include "fitkit/verdict.h"
#include "frame/device_identity.h"
#include "host/command_host.h"
#include "imagefit/image_version.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/text.h"
#include "report/outcome_words.h"
#include "shellfit/install_record.h"
#include "shellfit/version_string.h"

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
    "Every command ends with its verdict, the last line on standard error.\n"
    "Exit status: 0 done, 2 usage error, 5 ROOT is no device root, 7 DIR could not be\n"
    "made or written.\n";

// fitkit-device beside this program (installed, or in the build folder).
int RunDeviceScript(const Words& words, const char* self) {
  const fs::path script = host::ThisProgram(self).parent_path() / "fitkit-device";
  std::vector<std::string> arguments{script.string()};
  arguments.insert(arguments.end(), words.begin(), words.end());
  host::RunInstead(script, std::move(arguments));
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

// The OS version the device runs: what imagefit last programmed (the device
// runs it since the restart that followed), else the registry's.
struct OsVersion {
  std::string registry;  // Ident\Version as it stands
  std::string flashed;   // "V1.0.7" from flash/version, or empty
  uint32_t flashedRevision = 0;
};

OsVersion ReadOsVersion(const fs::path& root) {
  OsVersion version;
  version.registry = Text(u"Ident", u"Version");
  std::string code;
  std::ifstream(root / "flash" / "version") >> code;
  if (code.empty()) return version;
  const uint32_t value = uint32_t(std::strtoul(code.c_str(), nullptr, 16));
  version.flashed = ToUtf8(imagefit::FormatShownVersion(value));
  version.flashedRevision = value >> 24;
  return version;
}

std::string OsVersionWords(const OsVersion& version) {
  const std::string registry =
      version.registry.empty() ? "no version in the registry (Ident\\Version)" : version.registry;
  if (version.flashed.empty()) return registry;
  std::string words = version.flashed + ", programmed for board revision " +
                      std::to_string(version.flashedRevision) + " and run since the restart";
  if (version.registry != version.flashed) words += " (the registry still says " + registry + ")";
  return words;
}

// main.exe on the flash drive: its FileVersion, or why there is none.
std::string MainExeVersion(const std::u16string& flash) {
  std::u16string version;
  if (flash.empty() || !shellfit::GetFileVersionString(flash + u"\\main.exe", &version)) {
    const bool there = !flash.empty() && platform::Files().GetAttributes(flash + u"\\main.exe") !=
                                             platform::kInvalidAttributes;
    return there ? "no version resource" : "none (no main.exe on the flash drive)";
  }
  return version.empty() ? "no FileVersion" : ToUtf8(version);
}

// An install shellfit began and did not end, as the flash drive's install
// record and staging folder say; empty when none is under way. What the next
// start of shellfit does with it is shellfit's recovery.
std::string InterruptedUpdate(const std::u16string& flash) {
  if (flash.empty()) return "";
  const std::optional<shellfit::InstallRecord> record = shellfit::ReadInstallRecord(flash);
  if (record && record->mode == shellfit::InstallRecord::Mode::InPlace) {
    return "the install of " + ToUtf8(record->package) +
           " stopped part-way, in place: the shell is incomplete until it is installed again";
  }
  if (record) {
    return "the staged install of " + ToUtf8(record->package) +
           " was committed but not finished; shellfit's next start finishes it where the "
           "staged files verify, and otherwise puts the old shell back";
  }
  if (platform::Files().GetAttributes(shellfit::StagingFolder(flash)) !=
      platform::kInvalidAttributes) {
    return "an install was being staged and never finished; shellfit's next start removes it "
           "(the old shell is whole)";
  }
  return "";
}

std::string Bytes(uint64_t size) { return report::WithThousands(size) + " bytes"; }

int DescribeDeviceRoot(const fs::path& root, bool json) {
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
  const OsVersion os = ReadOsVersion(root);
  const std::string interrupted = InterruptedUpdate(flash);
  const std::string model = Text(u"Ident", u"Model");
  const Json shown = {{"root", fs::absolute(root).string()},
                      {"model", model},
                      {"os_version", os.registry},
                      {"os_version_running", os.flashed.empty() ? os.registry : os.flashed},
                      {"flash_drive", ToUtf8(flash)},
                      {"main_exe_version", MainExeVersion(flash)},
                      {"interrupted_update", interrupted},
                      {"board_revision", config.BoardRevision()},
                      {"ac_line", config.AcLineStatus()},
                      {"flash_driver", config.DriverKind("SCD1").has_value()},
                      {"power_driver", config.DriverKind("PWR1").has_value()},
                      {"capacity", config.FsCapacity()},
                      {"flashed_version", flashVersion},
                      {"storage_card", CardContents(u"\\Storage Card")}};
  const std::string verdict = "a device root: " + (model.empty() ? "no model" : model) + ", OS " +
                              shown["os_version_running"].get<std::string>() +
                              (interrupted.empty() ? "" : ", an update interrupted");
  if (json) {
    std::cout << shown.dump(2, ' ', false, Json::error_handler_t::replace) << '\n';
    SayVerdict(verdict);
    return kExitSuccess;
  }
  std::cout << "device root " << shown["root"].get<std::string>() << '\n'
            << "  model           "
            << (model.empty() ? "none in the registry (Ident\\Model)" : model) << '\n'
            << "  OS version      " << OsVersionWords(os) << '\n'
            << "  flash drive     " << (flash.empty() ? "none in the registry" : ToUtf8(flash))
            << '\n'
            << "  main.exe        " << shown["main_exe_version"].get<std::string>() << '\n';
  if (!interrupted.empty()) std::cout << "  interrupted     " << interrupted << '\n';
  std::cout << "  board revision  " << config.BoardRevision() << '\n'
            << "  external power  " << (config.AcLineStatus() == 1 ? "yes" : "no") << '\n'
            << "  flash driver    " << (shown["flash_driver"].get<bool>() ? "yes" : "absent")
            << '\n'
            << "  power driver    " << (shown["power_driver"].get<bool>() ? "yes" : "absent")
            << '\n'
            << "  capacity        "
            << (config.FsCapacity() == 0 ? std::string("no limit") : Bytes(config.FsCapacity()))
            << '\n';
  std::cout << "  \\Storage Card:\n";
  for (const Json& item : shown["storage_card"]) {
    std::cout << "    " << item["name"].get<std::string>()
              << (item["folder"].get<bool>() ? "\\" : "  " + Bytes(item["size"].get<uint64_t>()))
              << '\n';
  }
  SayVerdict(verdict);
  return kExitSuccess;
}

}  // namespace

int RunDevice(const Words& words, const char* self) {
  if (words.empty() || words.front() == "--help" || words.front() == "-h") {
    std::fputs(kDeviceUsage, words.empty() ? stderr : stdout);
    return words.empty() ? kExitUsage : kExitSuccess;
  }
  if (words.front() == "create") return RunDeviceScript(words, self);
  if (words.front().size() > 1 && words.front()[0] == '-') {
    return UsageError("device",
                      "unknown option '" + words.front() + "'; name create or show first");
  }
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
  return DescribeDeviceRoot(args.operands().front(), args.Has("--json"));
}

}  // namespace fitkit
