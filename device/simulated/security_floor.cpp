// The rollback floor as the simulated device keeps it: <root>/secure/
// "security-versions", a folder no update writes to (the flash drive is
// <root>/fs, the flash memory <root>/flash). One line a release line:
//   shell 3
//   system 2
// A line left out is 0. The file is replaced whole, never rewritten in place,
// so a cut leaves the old floor or the new one.
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <system_error>

#include "device/simulated/simulated_hardware.h"
#include "host/root_files.h"
#include "platform/security_floor.h"
#include "platform/trace.h"

namespace device {
namespace {

using platform::ReleaseLine;

constexpr char kFolder[] = "secure";
constexpr char kFile[] = "security-versions";
constexpr std::size_t kMostBytes = 4096;

const char* WordOf(ReleaseLine line) { return line == ReleaseLine::kShell ? "shell" : "system"; }

using Floors = std::map<std::string, uint32_t>;

// Every line "<word> <whole number>"; none when a line is anything else.
std::optional<Floors> ParseFloors(const std::string& text) {
  Floors floors;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string word;
    uint64_t number = 0;
    std::string rest;
    if (!(fields >> word >> number) || (fields >> rest) || number > UINT32_MAX ||
        line.find('-') != std::string::npos) {
      return std::nullopt;
    }
    floors[word] = uint32_t(number);
  }
  return floors;
}

class SimulatedSecurityFloor : public platform::SecurityFloor {
 public:
  explicit SimulatedSecurityFloor(std::filesystem::path root) : root_(std::move(root)) {}

  std::optional<uint32_t> Lowest(ReleaseLine line) override {
    const auto floors = Read();
    if (!floors) return std::nullopt;
    const auto found = floors->find(WordOf(line));
    return found == floors->end() ? 0 : found->second;
  }

  bool Raise(ReleaseLine line, uint32_t version) override {
    auto floors = Read();
    if (!floors) return false;
    uint32_t& kept = (*floors)[WordOf(line)];
    if (version <= kept) return true;
    kept = version;
    std::string text;
    for (const auto& [word, number] : *floors) text += word + " " + std::to_string(number) + "\n";
    const host::RootDescriptor rootFolder = host::OpenRootFolder(root_);
    const host::RootDescriptor folder = host::OpenOwnFolder(rootFolder.get(), kFolder);
    const bool stored = folder.valid() && host::WriteReplacing(folder.get(), kFile, text) &&
                        host::FlushFolder(rootFolder.get());
    platform::Trace("security floor %s raised to %u: %s", WordOf(line), version,
                    stored ? "kept" : "FAILED");
    return stored;
  }

 private:
  // No file is no floor yet; a link, a folder or a file too long to be one
  // is a record that cannot be read.
  std::optional<Floors> Read() const {
    const std::filesystem::path path = root_ / kFolder / kFile;
    std::error_code error;
    const auto status = std::filesystem::symlink_status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) return Floors{};
    if (status.type() != std::filesystem::file_type::regular ||
        std::filesystem::file_size(path, error) > kMostBytes || error) {
      return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof()) return std::nullopt;
    return ParseFloors(text);
  }

  std::filesystem::path root_;
};

}  // namespace

std::unique_ptr<platform::SecurityFloor> CreateSimulatedSecurityFloor(
    const DeviceContext& context) {
  return std::make_unique<SimulatedSecurityFloor>(context.root);
}

}  // namespace device
