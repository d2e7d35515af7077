// Package files of the shell updater's tests: ZIP archives made by Info-ZIP
// and the PE fixtures; the shared helpers they are used with.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/device_root.h"
#include "tests/support/host_files.h"
#include "tests/support/program_runner.h"
#include "tests/support/temp_folder.h"

namespace shellfit_test {

namespace fs = std::filesystem;
using test_support::BackgroundRun;
using test_support::ChildProcess;
using test_support::MakeStockDevice;
using test_support::ReadText;
using test_support::RunProgram;
using test_support::RunResult;
using test_support::SetModTime;
using test_support::SnapshotTree;
using test_support::TempFolder;
using test_support::WriteText;

// Packs `names` (relative to `from`, folders recursively) into `archive` with
// Info-ZIP's zip and the traditional encryption; times are taken as UTC.
void Zip(const fs::path& archive, const fs::path& from, const std::vector<std::string>& names,
         const std::string& password = ".TORVA.");

// As Zip, but with the encryption headers fixed (Info-ZIP draws them at
// random): whether a wrong password passes their one-byte check is then the
// same on every run, not a chance of one in 256 per entry.
void ZipFixedHeaders(const fs::path& archive, const fs::path& from,
                     const std::vector<std::string>& names, const std::string& password);

// Offset of the first entry's data inside a ZIP file (after its local header).
std::size_t FirstEntryDataOffset(const fs::path& archive);

// Copy of a PE fixture made from the version reader's .rc files.
fs::path PeFixture(const std::string& name);

}  // namespace shellfit_test
