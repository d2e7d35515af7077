// The START sequence of imagefit: the revision check, the update run with its
// prompts, and the status line and progress bar during the transfer.
#pragma once

#include <cstdint>

#include "imagefit/held_image_files.h"
#include "imagefit/image_set.h"
#include "imagefit/update_report.h"
#include "platform/dialog.h"

namespace imagefit {

// START for the run's `set`, every step noted in its `report`: the
// signatures, the board revision, the set's check, the update, the restart.
void RunStart(platform::Dialog& dialog, const ImageSet& set, UpdateReport& report);

// -1: stopped (no external power, or No to an error prompt); 0: finished
// after an error passed over with Yes; 1: finished without error. The images
// are read from `held` where it serves them. `wholeSet`, when given, says
// whether every image went into the flash (a passed-over memory division
// step leaves the set whole).
int RunImageUpdate(platform::Dialog& dialog, const ImageSet& set, UpdateReport& report,
                   HeldImageFiles* held = nullptr, bool* wholeSet = nullptr);

// "Downloading...  <file name>", or "Programming...  Please wait..." for a
// null or empty path; pumps one message only when the text changes.
void ShowTransferStatus(platform::Dialog& dialog, const char16_t* path);

// The ProgressCallback of UpdateKernel; `context` is the dialog.
void OnImageProgress(const char16_t* path, uint32_t sent, uint32_t total, void* context);

// The divisor that fits the progress range of an image into 16 bits.
uint32_t ProgressDivisor(uint32_t total);

}  // namespace imagefit
