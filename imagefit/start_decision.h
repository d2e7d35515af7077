// What START decides before it sends anything to the flash, as one call
// that changes nothing: the board revision question and the image set's
// check, in START's order. START asks and refuses by the same functions;
// fitkit check shows their result.
#pragma once

#include <cstdint>
#include <string_view>

#include "imagefit/held_image_files.h"
#include "imagefit/image_set_check.h"

namespace imagefit {

// The question START asks, before anything is changed, when the board's
// revision is not the image's; empty when they agree.
std::u16string_view RevisionQuestion(uint32_t board, uint32_t image);

struct StartDecision {
  uint32_t board = 0;                    // as the flash driver gives it (3 without one)
  uint32_t image = 0;                    // the set's, from its version file
  std::u16string_view revisionQuestion;  // empty when they agree
  ImageSetProblem problem;               // the first file START would refuse
};

// For the set LocateImageSet found; the checked images stay open in `held`.
StartDecision DecideStart(const ImageSet& set, HeldImageFiles* held);

}  // namespace imagefit
