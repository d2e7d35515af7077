// Painting of the update dialog: the background and the bracketed title.
#pragma once

#include <cstdint>

#include "platform/dialog.h"

namespace frame {

// The dark blue of the painted title (COLORREF: blue 128).
inline constexpr uint32_t kTitleColor = 0x800000;

// The frame's margin unit: the height of a horizontal scroll bar.
int MarginUnit();

// WM_PAINT: "[ <the run's title> ]" centred across the client width, its top at
// half the margin (shellfit) or the full margin (imagefit). Returns 0.
intptr_t PaintTitle(platform::Dialog& dialog);

// WM_ERASEBKGND: fills the client area with the static colour through the
// device context in wParam; FALSE without one.
intptr_t EraseBackground(platform::Dialog& dialog, uintptr_t wParam);

}  // namespace frame
