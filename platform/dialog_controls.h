// The controls of the two update dialogs (dialog resource 104 of each
// program), by the ids the resources give them. START and Cancel are the
// dialog's IDOK and IDCANCEL; 1005 is the status line in both dialogs.
#pragma once

namespace platform::controls {

inline constexpr int kStart = 1;
inline constexpr int kCancel = 2;
inline constexpr int kStatus = 1005;

// shellfit's dialog.
inline constexpr int kShellSource = 1001;
inline constexpr int kShellTarget = 1002;
inline constexpr int kShellSourceLabel = 1003;
inline constexpr int kShellTargetLabel = 1004;
inline constexpr int kShellProgress = 1006;

// imagefit's dialog.
inline constexpr int kImageInstalledVersion = 1002;
inline constexpr int kImageNewVersion = 1003;
inline constexpr int kImageProgress = 1004;
inline constexpr int kImageGroup = 1006;
inline constexpr int kImageInstalledLabel = 1007;
inline constexpr int kImageNewLabel = 1008;

}  // namespace platform::controls
