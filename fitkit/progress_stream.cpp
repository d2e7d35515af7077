#include "fitkit/progress_stream.h"

#include <algorithm>
#include <ostream>

#include "platform/text.h"
#include "report/outcome_table.h"

namespace fitkit {
namespace {

using Json = nlohmann::ordered_json;

// "Copying...  Maps\area.map" -> ("copy", "Maps\area.map").
std::pair<std::string, std::string> PhaseAndItem(const std::u16string& status) {
  const std::string text = platform::ToUtf8(status);
  struct Known {
    const char* prefix;
    const char* phase;
  };
  static const Known kKnown[] = {{"Checking...", "check"},      {"Deleting...", "delete"},
                                 {"Copying...", "copy"},        {"Downloading...", "program"},
                                 {"Programming...", "program"}, {"Ready...", "ready"}};
  for (const Known& known : kKnown) {
    const std::string prefix = known.prefix;
    if (text.rfind(prefix, 0) != 0) continue;
    std::string item = text.substr(prefix.size());
    item.erase(0, item.find_first_not_of(' '));
    return {known.phase, item};
  }
  return {"status", text};
}

}  // namespace

ProgressStream::ProgressStream(std::ostream& out, UpdateSizes sizes)
    : out_(out), sizes_(std::move(sizes)) {
  for (std::size_t i = 0; i < sizes_.sizes.size(); ++i) {
    totalBytes_ += sizes_.sizes[i];
    if (sizes_.images || !sizes_.items[i].ends_with('\\')) fileSizes_.push_back(sizes_.sizes[i]);
  }
  for (const auto& [name, size] : sizes_.deleted) {
    ++deletedTotal_;
    deletedBytesTotal_ += size;
  }
}

void ProgressStream::Emit(const std::string& phase, const std::string& item, uint64_t entriesDone,
                          uint64_t entriesTotal, uint64_t bytesDone, uint64_t bytesTotal) {
  Json line;
  line["phase"] = phase;
  line["item"] = item;
  line["entries"] = {{"done", entriesDone}, {"total", entriesTotal}};
  line["bytes"] = {{"done", bytesDone}, {"total", bytesTotal}};
  std::string text = line.dump(-1, ' ', false, Json::error_handler_t::replace);
  if (text == lastLine_) return;
  lastLine_ = text;
  out_ << text << '\n';
  out_.flush();
}

void ProgressStream::OnScreen(const ScreenState& state) {
  const auto [phase, item] = PhaseAndItem(state.status);
  if (phase == "ready") return;
  // Staging copies before it deletes: the copy's end shows on no status line.
  if (lastPhase_ == "copy" && phase != "copy") EmitCopied();
  if (!sizes_.images) lastPhase_ = phase;
  if (sizes_.images) {
    OnImageStep(item, state);
  } else {
    OnPackageStep(phase, item, state);
  }
  lastStatus_ = state.status;
}

void ProgressStream::OnPackageStep(const std::string& phase, const std::string& item,
                                   const ScreenState& state) {
  if (phase == "delete") {
    if (state.status != lastStatus_) {
      ++deletedDone_;
      // The status line may shorten a long name; such a file counts no bytes.
      const auto found = sizes_.deleted.find(item);
      if (found != sizes_.deleted.end()) {
        deletedBytes_ += found->second;
        sizes_.deleted.erase(found);
      }
    }
    Emit(phase, item, deletedDone_, std::max(deletedTotal_, deletedDone_),
         std::min(deletedBytes_, deletedBytesTotal_), deletedBytesTotal_);
    return;
  }
  if (phase == "check") {
    // The bar counts the files read through.
    const std::size_t done =
        std::min<std::size_t>(std::size_t(std::max(state.position, 0)), fileSizes_.size());
    uint64_t bytes = 0;
    for (std::size_t i = 0; i < done; ++i) bytes += fileSizes_[i];
    Emit(phase, item, done, fileSizes_.size(), bytes, totalBytes_);
    return;
  }
  // Entries are copied in the package's order, each named on the status line
  // (a long name shortened); a retry names the same entry again.
  if (state.status != lastStatus_) copying_ = NextEntry(item);
  uint64_t bytes = 0;
  for (std::size_t i = 0; i < copying_ && i < sizes_.sizes.size(); ++i) bytes += sizes_.sizes[i];
  Emit(phase, item, copying_, sizes_.sizes.size(), bytes, totalBytes_);
}

void ProgressStream::EmitCopied() {
  Emit("copy", sizes_.items.empty() ? "" : sizes_.items.back(), sizes_.sizes.size(),
       sizes_.sizes.size(), totalBytes_, totalBytes_);
}

std::size_t ProgressStream::NextEntry(const std::string& item) const {
  for (std::size_t i = copying_; i < sizes_.items.size(); ++i) {
    if (sizes_.items[i] == item) return i;
  }
  return std::min(copying_ + 1, sizes_.items.size());
}

void ProgressStream::OnImageStep(const std::string& item, const ScreenState& state) {
  // Kernel images are sent one after another; the bar is the current one's.
  const auto at = std::find(sizes_.items.begin(), sizes_.items.end(), item);
  if (at == sizes_.items.end()) {
    Emit("program", item, 0, sizes_.items.size(), 0, totalBytes_);
    return;
  }
  const std::size_t index = std::size_t(at - sizes_.items.begin());
  uint64_t before = 0;
  for (std::size_t i = 0; i < index; ++i) before += sizes_.sizes[i];
  uint64_t current = 0;
  if (state.high > 0 && lastStatus_ == state.status) {
    current = sizes_.sizes[index] * uint64_t(std::clamp(state.position, 0, state.high)) /
              uint64_t(state.high);
  }
  Emit("program", item, index, sizes_.items.size(), before + current, totalBytes_);
}

void ProgressStream::End(const Json& report, const std::string& closingLine) {
  // The last entry's end shows on no status line.
  if (lastPhase_ == "copy" && report::OutcomeOf(report) == platform::RunOutcome::kInstalled)
    EmitCopied();
  Json line;
  line["phase"] = "end";
  line["outcome"] = report.value("outcome", "");
  line["success"] = report.value("success", false);
  line["reason"] = report.value("reason", "");
  line["line"] = closingLine;
  out_ << line.dump(-1, ' ', false, Json::error_handler_t::replace) << '\n';
  out_.flush();
}

}  // namespace fitkit
