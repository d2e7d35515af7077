// Fakes of the platform services the frame reads: an in-memory registry, a
// file system that knows attributes only, the process services, and a dialog
// that records what the dialog procedure draws.
#pragma once

#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/dialog_state.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "platform/system.h"

namespace frame_test {

class FakeRegistry : public platform::Registry {
 public:
  void AddKey(const std::u16string& key) { keys_[Lower(key)]; }
  void SetString(const std::u16string& key, const std::u16string& name, const std::u16string& value);
  void SetRaw(const std::u16string& key, const std::u16string& name, uint32_t type,
              std::vector<uint8_t> data);
  bool KeyExists(std::u16string_view key) override;
  std::optional<platform::RegistryValue> QueryValue(std::u16string_view key,
                                                    std::u16string_view name) override;

 private:
  static std::u16string Lower(std::u16string_view text);
  std::map<std::u16string, std::map<std::u16string, platform::RegistryValue>> keys_;
};

class FakeFileSystem : public platform::FileSystem {
 public:
  std::map<std::u16string, uint32_t> attributes;  // by exact path
  std::vector<std::string> calls;

  std::unique_ptr<platform::File> Open(std::u16string_view, uint32_t, platform::Disposition) override {
    return nullptr;
  }
  uint32_t GetAttributes(std::u16string_view path) override;
  bool SetAttributes(std::u16string_view path, uint32_t value) override;
  bool DeleteFile(std::u16string_view path) override;
  bool CreateDirectory(std::u16string_view) override { return false; }
  bool RemoveDirectory(std::u16string_view) override { return false; }
  std::vector<platform::FindData> Find(std::u16string_view) override { return {}; }
  platform::SystemTime Now() override { return {}; }
  bool GetFreeBytes(std::u16string_view, uint64_t*) override { return false; }
};

class FakeSystem : public platform::SystemServices {
 public:
  platform::MutexResult mutexResult = platform::MutexResult::Created;
  std::optional<std::u16string> module;
  std::vector<std::u16string> mutexNames;

  platform::MutexResult CreateNamedMutex(std::u16string_view name) override {
    mutexNames.emplace_back(name);
    return mutexResult;
  }
  std::optional<std::u16string> ModuleFileName() override { return module; }
};

// What a painter was asked to draw.
struct DrawnText {
  std::u16string text;
  platform::Rect rect;
  uint32_t format = 0;
  uint32_t color = 0;
  platform::LogFont font;
  int bkMode = 0;
};

// A dialog over the shared dialog state whose painters measure like the
// console (8 pixels per unit, the font's height) and record what they draw.
// Its modal loop answers "no more input" with Cancel.
class RecordingDialog : public platform::DialogState {
 public:
  RecordingDialog(const platform::DialogTemplate& dialog, platform::DialogProc proc,
                  const platform::ScreenMetrics& screen)
      : DialogState(dialog, proc, screen) {}

  std::vector<DrawnText> drawn;
  std::vector<std::pair<platform::Rect, uint32_t>> filled;
  int openPainters = 0;
  int messageBoxes = 0;
  std::u16string lastCaption;
  uint32_t lastStyle = 0;

  platform::Painter* GetDC(int id) override;
  void ReleaseDC(platform::Painter* painter) override;
  platform::Painter* BeginPaint() override;
  void EndPaint(platform::Painter* painter) override;
  int MessageBox(std::u16string_view text, std::u16string_view caption, uint32_t style) override;
  bool PumpOneMessage() override { return DispatchQueued(); }

  intptr_t SendMessage(uint32_t message, uintptr_t wParam = 0) { return Send(message, wParam, 0); }
  // A user's click on a button, queued as the window system queues it.
  void Click(int id) { PressButton(id); }

 protected:
  void WaitForInput() override { PostCommand(2); }
};

std::vector<uint8_t> Utf16Bytes(std::u16string_view text, bool terminator = true);

}  // namespace frame_test
