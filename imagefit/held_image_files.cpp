#include "imagefit/held_image_files.h"

#include "imagefit/image_set_check.h"
#include "platform/environment.h"
#include "signature/update_signature.h"

namespace imagefit {

// One reader of a held file with a position of its own; the held handle is
// moved there only when another reader moved it since.
class HeldFileView : public platform::File {
 public:
  explicit HeldFileView(HeldImageFiles::Held& held) : held_(held) {}

  bool Read(void* buffer, uint32_t count, uint32_t* got) override {
    *got = 0;
    if (held_.position != position_) {
      uint64_t moved = 0;
      if (!held_.file->Seek(int64_t(position_), platform::SeekOrigin::Begin, &moved)) return false;
      held_.position = moved;
    }
    const bool ok = held_.file->Read(buffer, count, got);
    position_ += *got;
    held_.position = ok ? position_ : UINT64_MAX;  // unknown after a failed read
    return ok;
  }
  bool Write(const void*, uint32_t) override { return false; }
  bool Seek(int64_t offset, platform::SeekOrigin origin, uint64_t* newPosition) override {
    int64_t base = 0;
    if (origin == platform::SeekOrigin::Current) base = int64_t(position_);
    if (origin == platform::SeekOrigin::End) {
      uint64_t size = 0;
      if (!held_.file->GetSize(&size)) return false;
      base = int64_t(size);
    }
    if (base + offset < 0) return false;
    position_ = uint64_t(base + offset);
    if (newPosition != nullptr) *newPosition = position_;
    return true;
  }
  bool GetSize(uint64_t* size) override { return held_.file->GetSize(size); }
  bool SetEnd() override { return false; }
  bool Flush() override { return true; }
  bool GetTimes(platform::FileTime* creation, platform::FileTime* access,
                platform::FileTime* write) override {
    return held_.file->GetTimes(creation, access, write);
  }
  bool SetTimes(const platform::FileTime*, const platform::FileTime*,
                const platform::FileTime*) override {
    return false;
  }
  bool GetIdentity(platform::FileIdentity* identity) override {
    return held_.file->GetIdentity(identity);
  }

 private:
  HeldImageFiles::Held& held_;
  uint64_t position_ = 0;
};

platform::File* HeldImageFiles::Open(int index, std::u16string_view path) {
  Held& held = files_[index];
  // Held already (its signature was checked): every later check reads the
  // same handle, from its start.
  uint64_t start = 0;
  if (held.file && held.path == path && held.file->Seek(0, platform::SeekOrigin::Begin, &start)) {
    return held.file.get();
  }
  held.path = std::u16string(path);
  held.checked.reset();
  held.file =
      platform::Files().Open(path, platform::AccessRead, platform::Disposition::OpenExisting);
  // Where writers cannot be kept away, the transfer still reads this handle:
  // a file replaced under its name is not what gets sent.
  if (held.file && !held.file->DenyWriters()) signature::NoteWritersNotKeptAway(path);
  return held.file.get();
}

bool HeldImageFiles::TreeAndCheck(int index, signature::BlockTree* tree) {
  Held& held = files_[index];
  if (!held.file) return false;
  std::string problem;
  const bool read = signature::TreeOfOpenFileWith(
      *held.file, tree, [&](platform::File& hashed) { problem = CheckImageFile(index, hashed); });
  if (read) held.checked = std::move(problem);
  return read;
}

const std::string* HeldImageFiles::Checked(int index) const {
  const Held& held = files_[index];
  // Only a verified file is sure to serve the very bytes that were checked.
  return held.checked && held.verified ? &*held.checked : nullptr;
}

void HeldImageFiles::Verify(int index, std::shared_ptr<signature::VerifiedTree> verified) {
  Held& held = files_[index];
  held.verified = verified;
  held.file = std::make_unique<signature::VerifiedFile>(std::move(held.file), std::move(verified));
  held.position = UINT64_MAX;
}

bool HeldImageFiles::Changed() const {
  for (const Held& held : files_) {
    if (held.verified && held.verified->changed) return true;
  }
  return false;
}

void HeldImageFiles::Serve() {
  // The check read the files directly: the first view moves them back.
  for (Held& held : files_) held.position = UINT64_MAX;
  serving_ = true;
}

std::unique_ptr<platform::File> HeldImageFiles::View(std::u16string_view path) {
  if (!serving_) return nullptr;
  for (Held& held : files_) {
    if (held.file && held.path == path) return std::make_unique<HeldFileView>(held);
  }
  return nullptr;
}

std::unique_ptr<platform::File> OpenImageFile(std::u16string_view path, HeldImageFiles* held) {
  if (held != nullptr) {
    if (auto view = held->View(path)) return view;
  }
  return platform::Files().Open(path, platform::AccessRead, platform::Disposition::OpenExisting);
}

}  // namespace imagefit
