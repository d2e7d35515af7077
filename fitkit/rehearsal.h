// fitkit rehearse: the update put where the program looks on a device root,
// the program run there with nobody at the screen, one closing line and an
// exit code a script can gate on.
#pragma once

#include <filesystem>
#include <string>

#include <nlohmann/json.hpp>

#include "fitkit/headless_dialog.h"

namespace fitkit {

struct RehearsalRequest {
  std::filesystem::path device;
  std::filesystem::path update;  // a package file or an image set folder
  Answers answers;
  bool progressJson = false;
  bool json = false;       // the whole report on standard output
  std::string reportFile;  // also write the report here
};

int Rehearse(const RehearsalRequest& request);

// The exit code for a report's outcome (and, for "stopped", its steps).
int ExitCodeFor(const nlohmann::ordered_json& report);

}  // namespace fitkit
