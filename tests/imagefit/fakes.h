// Fakes for imagefit's unit tests: an in-memory file system, a scripted flash
// and power driver, a scripted kernel and a dialog that records what it is told.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/dialog.h"
#include "platform/drivers.h"
#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/kernel.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace imagefit_test {

using Bytes = std::vector<uint8_t>;

class MemoryFileSystem : public platform::FileSystem {
 public:
  void Put(const std::u16string& path, Bytes content);
  void Put(const std::u16string& path, const std::string& text);
  std::unique_ptr<platform::File> Open(std::u16string_view path, uint32_t access,
                                       platform::Disposition disposition) override;
  uint32_t GetAttributes(std::u16string_view path) override;
  bool SetAttributes(std::u16string_view, uint32_t) override { return false; }
  bool DeleteFile(std::u16string_view path) override;
  bool CreateDirectory(std::u16string_view) override { return true; }
  bool RemoveDirectory(std::u16string_view) override { return true; }
  std::vector<platform::FindData> Find(std::u16string_view pattern) override;
  platform::SystemTime Now() override { return {}; }
  bool GetFreeBytes(std::u16string_view, uint64_t*) override { return false; }

  // Largest single read asked for, to see that streaming stays bounded.
  uint64_t largestRead = 0;

 private:
  std::map<std::u16string, std::shared_ptr<Bytes>> files_;  // keys lower-cased
  friend class MemoryFile;
};

class MemoryRegistry : public platform::Registry {
 public:
  void PutString(const std::u16string& key, const std::u16string& name, const std::u16string& value);
  bool KeyExists(std::u16string_view key) override;
  std::optional<platform::RegistryValue> QueryValue(std::u16string_view key,
                                                    std::u16string_view name) override;

 private:
  std::map<std::u16string, platform::RegistryValue> values_;  // "key\nname", lower-cased
};

struct DriverCall {
  std::string device;  // "SCD1" or "PWR1"
  uint32_t code = 0;
  Bytes input;
};

// Both drivers in one: records every call and answers from a script.
class ScriptedDrivers : public platform::DriverHost {
 public:
  std::unique_ptr<platform::DriverHandle> Open(std::u16string_view name) override;
  std::vector<uint32_t> CodesSent(const std::string& device) const;

  std::vector<DriverCall> calls;
  std::set<std::string> absent;        // device names without ":" that do not open
  std::multiset<uint32_t> failOnce;    // each entry fails one call of that code
  std::set<uint32_t> failAlways;
  uint32_t boardRevision = 3;
  int opened = 0, closed = 0;
};

class ScriptedKernel : public platform::Kernel {
 public:
  uint32_t GetSystemPowerStatusEx2(platform::PowerStatusRecord* record, uint32_t length,
                                   bool refresh) override;
  std::optional<bool> GetSystemMemoryDivision(platform::MemoryDivision* division) override;
  std::optional<uint32_t> SetSystemMemoryDivision(uint32_t storePages) override;
  std::optional<bool> KernelIoControl(uint32_t code, const void* input, uint32_t inputLength,
                                      void* output, uint32_t outputLength) override;

  std::deque<uint8_t> acLine;    // answers in turn; the last one repeats
  bool coreDll = true;
  bool getDivisionWorks = true;
  uint32_t setResult = 0;
  platform::MemoryDivision division{2048, 6144, 4096};
  std::vector<std::string> calls;        // function names in order
  std::vector<uint32_t> setPages;        // every SetSystemMemoryDivision argument
  int powerChecks = 0;
};

struct MessageBoxCall {
  std::u16string text, caption;
  uint32_t style = 0;
};

class RecordingDialog : public platform::Dialog {
 public:
  void SetWindowText(std::u16string_view text) override { title = text; }
  void SetItemText(int id, std::u16string_view text) override;
  std::u16string GetItemText(int id) override { return texts[id]; }
  void EnableItem(int id, bool enabled) override {
    this->enabled[id] = enabled;
    ++enableCalls;
  }
  platform::Rect GetWindowRect(int) override { return {}; }
  platform::Rect GetClientRect(int) override { return {}; }
  void MoveItem(int, int, int) override {}
  void SetProgressRange(int id, uint16_t low, uint16_t high) override;
  void SetProgressPos(int id, int position) override;
  platform::LogFont GetSystemFont() override { return {}; }
  platform::FontHandle CreateFont(const platform::LogFont&) override { return 0; }
  void DeleteFont(platform::FontHandle) override {}
  void SetItemFont(int, platform::FontHandle) override {}
  platform::Painter* GetDC(int) override { return nullptr; }
  void ReleaseDC(platform::Painter*) override {}
  platform::Painter* BeginPaint() override { return nullptr; }
  void EndPaint(platform::Painter*) override {}
  uint32_t GetSysColor(uint32_t) override { return 0; }
  void MakeFullScreenTopmost() override {}
  void Show() override {}
  void PostCommand(int) override {}
  void EndDialog(int result) override { endResult = result; }
  int MessageBox(std::u16string_view text, std::u16string_view caption, uint32_t style) override;
  bool PumpOneMessage() override;

  std::u16string title;
  std::map<int, std::u16string> texts;
  std::vector<std::u16string> statusHistory;  // every text set on 1005
  std::map<int, bool> enabled = {{1, true}, {2, true}};  // START and CANCEL start enabled
  int enableCalls = 0;
  std::vector<std::pair<uint16_t, uint16_t>> ranges;
  std::vector<int> positions;
  std::vector<MessageBoxCall> boxes;
  std::deque<int> answers;  // IDYES/IDNO/IDOK in turn; empty = the default button
  int pumps = 0;
  std::optional<int> endResult;
  std::function<void()> onPump;
};

class FixedSystem : public platform::SystemServices {
 public:
  platform::MutexResult CreateNamedMutex(std::u16string_view) override {
    return platform::MutexResult::Created;
  }
  std::optional<std::u16string> ModuleFileName() override { return modulePath; }
  std::optional<std::u16string> modulePath;
};

// Installs the fakes as the environment for one test.
struct FakeDevice {
  MemoryFileSystem files;
  MemoryRegistry registry;
  ScriptedDrivers drivers;
  ScriptedKernel kernel;
  FixedSystem system;
  platform::ScopedEnvironment scope{MakeEnvironment()};

 private:
  platform::Environment MakeEnvironment();
};

}  // namespace imagefit_test
