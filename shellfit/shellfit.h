// The shell updater: replaces the shell software on the device's flash drive
// with the contents of one password-protected ZIP package.
//
// This header holds what every part of the updater shares: the constants.
// It also includes
// the header of each of the updater's operations, so that the program's entry
// and the tests reach the whole updater through one include.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/dialog.h"
#include "platform/dialog_controls.h"
#include "shellfit/device_names.h"
#include "shellfit/file_crc.h"
#include "shellfit/folder_path.h"
#include "shellfit/old_file_removal.h"
#include "shellfit/package_errors.h"
#include "shellfit/package_extraction.h"
#include "shellfit/package_features.h"
#include "shellfit/package_search.h"
#include "shellfit/package_verification.h"
#include "shellfit/process_termination.h"
#include "shellfit/removal_plan.h"
#include "shellfit/run_sequence.h"
#include "shellfit/update_site.h"
#include "shellfit/version_check.h"
#include "shellfit/version_string.h"

namespace shellfit {

inline constexpr std::u16string_view kPackagePassword = u".TORVA.";
inline constexpr std::u16string_view kPreservedNames[] = {
    u"boot.hv",      u"default.hv",   u"system.hv",    u"user.hv",
    u"gpspara0.bin", u"gpspara1.bin", u"gpspara2.bin", u"gpspara3.bin",
};

// Dialog controls the updater writes to.
inline constexpr int kSourceControl = platform::controls::kShellSource;
inline constexpr int kTargetControl = platform::controls::kShellTarget;
inline constexpr int kStatusControl = platform::controls::kStatus;
inline constexpr int kProgressControl = platform::controls::kShellProgress;

// OK button, information icon, top-most: every message box of the updater.
inline constexpr uint32_t kNoticeStyle =
    platform::MB_OK | platform::MB_ICONINFORMATION | platform::MB_TOPMOST;

// The text of the message box that ends a run; every one of the updater's
// own refusals ends so.
inline constexpr std::u16string_view kNothingChanged = u" Nothing was changed.";

}  // namespace shellfit
