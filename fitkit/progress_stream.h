// --progress=json: one JSON line on standard output per step a rehearsal
// shows, with the phase, the item and how far it is in entries and bytes:
//   {"phase":"copy","item":"Maps\\area.map","entries":{"done":3,"total":6},
//    "bytes":{"done":70000,"total":70836}}
// The bytes come from what the update holds (the package's entry sizes, the
// images' sizes), matched against what the dialog shows.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "fitkit/headless_dialog.h"

namespace fitkit {

struct UpdateSizes {
  bool images = false;                           // an image set: `items` are its six images
  std::vector<std::string> items;                // entry or image names, in the order handled
  std::vector<uint64_t> sizes;                   // their sizes
  std::multimap<std::string, uint64_t> deleted;  // file name -> size, of the old files
};

class ProgressStream {
 public:
  ProgressStream(std::ostream& out, UpdateSizes sizes);
  void OnScreen(const ScreenState& state);
  // The last line: the outcome, success and the closing line.
  void End(const nlohmann::ordered_json& report, const std::string& closingLine);

 private:
  void Emit(const std::string& phase, const std::string& item, uint64_t entriesDone,
            uint64_t entriesTotal, uint64_t bytesDone, uint64_t bytesTotal);
  void OnPackageStep(const std::string& phase, const std::string& item, const ScreenState& state);
  void OnImageStep(const std::string& item, const ScreenState& state);
  // The entry the status line names, at or after the one being copied.
  void EmitCopied();
  std::size_t NextEntry(const std::string& item) const;

  std::ostream& out_;
  UpdateSizes sizes_;
  std::vector<uint64_t> fileSizes_;  // the files alone, for the check
  uint64_t totalBytes_ = 0;
  std::size_t copying_ = 0;
  std::string lastPhase_;
  uint64_t deletedTotal_ = 0;
  uint64_t deletedBytesTotal_ = 0;
  uint64_t deletedDone_ = 0;
  uint64_t deletedBytes_ = 0;
  std::u16string lastStatus_;
  std::string lastLine_;
};

}  // namespace fitkit
