// What reading or checking a package came to: fine, or the kind of failure
// and what it carries. This is the one way the package checks fail: the ZIP
// reader throws CZipException, the checks catch it where they call the
// reader and return it as kUnreadable with its code; everything past them
// passes this value on and chooses its message by kind, never by the words.
// [[nodiscard]]: a check whose result is dropped does not compile under
// -Werror.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

namespace shellfit {

class [[nodiscard]] PackageStatus {
 public:
  enum class Kind {
    kOk,
    kUnreadable,   // the reader stopped: zipError() is its code
    kUnsupported,  // it reads, but uses what the device's reader cannot: words() say what
    kUnfit,        // the device cannot take it (names, clashes, room): words() say why
  };

  static PackageStatus Ok() { return PackageStatus(Kind::kOk, 0, {}); }
  static PackageStatus Unreadable(int32_t zipError) {
    return PackageStatus(Kind::kUnreadable, zipError, {});
  }
  static PackageStatus Unsupported(std::u16string words) {
    return PackageStatus(Kind::kUnsupported, 0, std::move(words));
  }
  static PackageStatus Unfit(std::u16string words) {
    return PackageStatus(Kind::kUnfit, 0, std::move(words));
  }

  bool ok() const { return kind_ == Kind::kOk; }
  Kind kind() const { return kind_; }
  // The reader's error code for kUnreadable (ErrBadPassword, ErrBadArchive,
  // ...); 0 for every other kind.
  int32_t zipError() const { return zipError_; }
  // For kUnsupported and kUnfit, a clause that completes "The package cannot
  // be installed: " (see RefusalSentence); empty for the other kinds.
  const std::u16string& words() const { return words_; }

 private:
  PackageStatus(Kind kind, int32_t zipError, std::u16string words)
      : kind_(kind), zipError_(zipError), words_(std::move(words)) {}

  Kind kind_;
  int32_t zipError_;
  std::u16string words_;
};

// The refusal's whole sentence for kUnsupported and kUnfit: "The package
// cannot be installed: <words> Nothing was changed."
std::u16string RefusalSentence(const PackageStatus& status);

}  // namespace shellfit
