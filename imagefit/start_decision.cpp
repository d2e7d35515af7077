#include "imagefit/start_decision.h"

#include "imagefit/flash_driver.h"
#include "imagefit/image_set.h"

namespace imagefit {

std::u16string_view RevisionQuestion(uint32_t board, uint32_t image) {
  if (board == image) return {};
  return board < image ? u"Are you sure you want to update the REV-D image to the REV-C device?\r\n"
                         u"It cause to halt the system!"
                       : u"Are you sure you want to update the REV-C image to the REV-D device?";
}

StartDecision DecideStart(const ImageSet& set, HeldImageFiles* held) {
  StartDecision decision;
  GetBoardRevision(&decision.board);
  decision.image = set.version >> 24;
  decision.revisionQuestion = RevisionQuestion(decision.board, decision.image);
  decision.problem = CheckImageSet(set, held);
  return decision;
}

}  // namespace imagefit
