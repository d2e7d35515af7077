#include "fakes.h"

#include <utility>

#include "ui/console/console_host.h"
#include "platform/text.h"

namespace frame_test {

std::vector<uint8_t> Utf16Bytes(std::u16string_view text, bool terminator) {
  std::vector<uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<uint8_t>(c >> 8));
  }
  if (terminator) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

std::u16string FakeRegistry::Lower(std::u16string_view text) { return platform::ToLower(text); }

void FakeRegistry::SetString(const std::u16string& key, const std::u16string& name,
                             const std::u16string& value) {
  SetRaw(key, name, platform::REG_SZ, Utf16Bytes(value));
}

void FakeRegistry::SetRaw(const std::u16string& key, const std::u16string& name, uint32_t type,
                          std::vector<uint8_t> data) {
  keys_[Lower(key)][Lower(name)] = platform::RegistryValue{type, std::move(data)};
}

bool FakeRegistry::KeyExists(std::u16string_view key) { return keys_.count(Lower(key)) != 0; }

std::optional<platform::RegistryValue> FakeRegistry::QueryValue(std::u16string_view key,
                                                                std::u16string_view name) {
  const auto k = keys_.find(Lower(key));
  if (k == keys_.end()) return std::nullopt;
  const auto v = k->second.find(Lower(name));
  if (v == k->second.end()) return std::nullopt;
  return v->second;
}

uint32_t FakeFileSystem::GetAttributes(std::u16string_view path) {
  const auto it = attributes.find(std::u16string(path));
  return it == attributes.end() ? platform::kInvalidAttributes : it->second;
}

bool FakeFileSystem::SetAttributes(std::u16string_view path, uint32_t value) {
  calls.push_back("SetAttributes " + platform::ToUtf8(path) + " " + std::to_string(value));
  const auto it = attributes.find(std::u16string(path));
  if (it == attributes.end()) return false;
  it->second = value;
  return true;
}

bool FakeFileSystem::DeleteFile(std::u16string_view path) {
  calls.push_back("DeleteFile " + platform::ToUtf8(path));
  const auto it = attributes.find(std::u16string(path));
  if (it == attributes.end() || (it->second & platform::FILE_ATTRIBUTE_READONLY)) return false;
  attributes.erase(it);
  return true;
}

namespace {

class RecordingPainter : public platform::Painter {
 public:
  RecordingPainter(RecordingDialog& dialog, platform::FontHandle font)
      : dialog_(dialog), font_(font) {}
  uint32_t SetTextColor(uint32_t c) override { return std::exchange(color_, c); }
  platform::FontHandle SelectFont(platform::FontHandle f) override { return std::exchange(font_, f); }
  int SetBkMode(int mode) override { return std::exchange(mode_, mode); }
  platform::Size MeasureText(std::u16string_view text) override {
    return platform::ConsoleTextExtent(text, dialog_.FontOf(font_));
  }
  void DrawText(std::u16string_view text, const platform::Rect& rect, uint32_t format) override {
    dialog_.drawn.push_back(
        DrawnText{std::u16string(text), rect, format, color_, dialog_.FontOf(font_), mode_});
  }
  void FillRect(const platform::Rect& rect, uint32_t color) override {
    dialog_.filled.emplace_back(rect, color);
  }
  platform::FontHandle font() const { return font_; }
  uint32_t color() const { return color_; }
  int mode() const { return mode_; }

 private:
  RecordingDialog& dialog_;
  platform::FontHandle font_;
  uint32_t color_ = 0;
  int mode_ = platform::OPAQUE;
};

}  // namespace

platform::Painter* RecordingDialog::GetDC(int) {
  ++openPainters;
  return new RecordingPainter(*this, platform::kSystemFontHandle);
}

void RecordingDialog::ReleaseDC(platform::Painter* painter) {
  --openPainters;
  delete painter;
}

platform::Painter* RecordingDialog::BeginPaint() {
  ++openPainters;
  auto* painter = new RecordingPainter(*this, platform::kSystemFontHandle);
  Send(platform::WM_ERASEBKGND, reinterpret_cast<uintptr_t>(painter), 0);
  return painter;
}

void RecordingDialog::EndPaint(platform::Painter* painter) {
  // Painting must hand the context back as it found it.
  auto* recording = static_cast<RecordingPainter*>(painter);
  if (recording->font() != platform::kSystemFontHandle || recording->color() != 0 ||
      recording->mode() != platform::OPAQUE) {
    drawn.push_back(DrawnText{u"<context not restored>", {}, 0, 0, {}, 0});
  }
  --openPainters;
  delete painter;
}

int RecordingDialog::MessageBox(std::u16string_view, std::u16string_view caption, uint32_t style) {
  ++messageBoxes;
  lastCaption = std::u16string(caption);
  lastStyle = style;
  return platform::IDOK;
}

}  // namespace frame_test
