// The START sequence of imagefit: the revision check, the update run with its
// prompts, and the status line and progress bar during the transfer.
#pragma once

#include <cstdint>

#include "platform/dialog.h"

namespace imagefit {

// The WM_COMMAND handler of START.
void OnStartPressed(platform::Dialog& dialog);

// -1: stopped (no external power, or No to an error prompt); 0: finished
// after an error passed over with Yes; 1: finished without error.
// `wholeSet`, when given, says whether every image went into the flash (a
// passed-over memory division step leaves the set whole).
int RunImageUpdate(platform::Dialog& dialog, bool* wholeSet = nullptr);

// "Downloading...  <file name>", or "Programming...  Please wait..." for a
// null or empty path; pumps one message only when the text changes.
void ShowTransferStatus(platform::Dialog& dialog, const char16_t* path);

// The ProgressCallback of UpdateKernel; `context` is the dialog.
void OnImageProgress(const char16_t* path, uint32_t sent, uint32_t total, void* context);

// The divisor that fits the progress range of an image into 16 bits.
uint32_t ProgressDivisor(uint32_t total);

}  // namespace imagefit
