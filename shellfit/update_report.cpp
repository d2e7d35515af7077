#include "shellfit/update_report.h"

#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/file_system.h"
#include "platform/outcome_report.h"
#include "shellfit/shellfit.h"

namespace shellfit {
namespace {

using platform::Outcome;
using platform::ReportNumber;
using platform::ReportText;

constexpr std::string_view kInstalledField = "main_exe.installed";
constexpr std::string_view kPackagedField = "main_exe.packaged";

void ReadAndNote(MainExe which, std::u16string_view path) {
  std::u16string version;
  const bool found = GetFileVersionString(path, &version);
  NoteMainExeVersion(which, found, version);
}

}  // namespace

void NotePackage(std::u16string_view package, int entries) {
  if (!Outcome().Active()) return;
  Outcome().Set("package.path", ReportText(package));
  const std::vector<platform::FindData> found = platform::Files().Find(package);
  if (!found.empty()) Outcome().Set("package.size", ReportNumber(int64_t(found.front().size)));
  Outcome().Set("package.entries", ReportNumber(entries));
}

void NotePackageFiles(std::size_t files) {
  Outcome().Set("package.files", ReportNumber(int64_t(files)));
}

void NoteMainExeVersion(MainExe which, bool found, std::u16string_view version) {
  if (!Outcome().Active()) return;
  // One type for the field: no version resource (or no file) is "".
  Outcome().Set(which == MainExe::kInstalled ? kInstalledField : kPackagedField,
                ReportText(found ? version : std::u16string_view()));
}

void NoteInstalledVersion(std::u16string_view target) {
  // A later reading does not replace the one the /upgrade check compared.
  if (!Outcome().Active() || Outcome().Has(kInstalledField)) return;
  ReadAndNote(MainExe::kInstalled, WithBackslash(target) + u"main.exe");
}

void NoteUnpackedVersion(std::u16string_view target) {
  if (!Outcome().Active() || Outcome().Has(kPackagedField)) return;
  ReadAndNote(MainExe::kPackaged, WithBackslash(target) + u"main.exe");
}

void NoteRefused(int32_t zipError) {
  Outcome().Set("refused_zip_error", ReportNumber(zipError));
  platform::SetOutcome(platform::RunOutcome::kRefused);
}

void NoteRefusedFit(std::u16string_view problem) {
  Outcome().Set("refused_reason", ReportText(problem));
  platform::SetOutcome(platform::RunOutcome::kRefused);
}

void NoteProgramEnded(std::u16string_view path) {
  Outcome().Append("programs.ended_paths", {{"path", ReportText(path)}});
}

void NoteRemovalBegins(int programsEnded) {
  Outcome().Set("programs.ended", ReportNumber(programsEnded));
  Outcome().Add("deleted.files", 0);
  Outcome().Add("deleted.folders", 0);
}

void NoteFileDeletion(std::u16string_view path, bool deleted) {
  if (deleted) {
    Outcome().Add("deleted.files", 1);
  } else {
    Outcome().Append("deleted.failed_files", {{"path", ReportText(path)}});
  }
}

void NoteFolderRemoval(std::u16string_view path, bool removed) {
  if (removed) {
    Outcome().Add("deleted.folders", 1);
  } else {
    // Usually a folder that holds a kept file (a registry hive).
    Outcome().Append("deleted.kept_folders", {{"path", ReportText(path)}});
  }
}

void NoteEntryFailed(std::u16string_view name, std::string_view reason, int attempts) {
  Outcome().Append("entries.failed", {{"name", ReportText(name)},
                                      {"reason", ReportText(reason)},
                                      {"attempts", ReportNumber(attempts)}});
}

void NoteExtraction(int entries, int written, int verified, int32_t zipError) {
  Outcome().Set("entries.total", ReportNumber(entries));
  Outcome().Set("entries.written", ReportNumber(written));
  Outcome().Set("entries.verified", ReportNumber(verified));
  if (zipError != 0) Outcome().Set("entries.zip_error", ReportNumber(zipError));
  const bool complete = entries > 0 && verified == entries && zipError == 0;
  platform::SetOutcome(complete ? platform::RunOutcome::kInstalled
                                : platform::RunOutcome::kIncomplete);
}

}  // namespace shellfit
