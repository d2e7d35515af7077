#include <algorithm>
#include <string>
#include <string_view>

#include "frame/update_dialog.h"
#include "imagefit/image_set.h"
#include "imagefit/image_update.h"

namespace imagefit {

void ShowTransferStatus(platform::Dialog& dialog, const char16_t* path) {
  std::u16string text;
  if (path != nullptr && path[0] != u'\0') {
    const std::u16string_view full(path);
    const std::size_t slash = full.rfind(u'\\');
    text = u"Downloading...  ";
    text += slash == std::u16string_view::npos ? full : full.substr(slash + 1);
  } else {
    text = u"Programming...  Please wait...";
  }
  if (dialog.GetItemText(kStatusLine) == text) return;
  dialog.SetItemText(kStatusLine, text);
  frame::PumpOneMessage(dialog);
}

uint32_t ProgressDivisor(uint32_t total) {
  if (total < 0xFFFF) return 1;
  uint64_t step = 1024;
  while (total / step >= 0xFFFF) step += 1024;
  return uint32_t(total / step);
}

void OnImageProgress(const char16_t* path, uint32_t sent, uint32_t total, void* context) {
  platform::Dialog& dialog = *static_cast<platform::Dialog*>(context);
  ShowTransferStatus(dialog, path);
  const uint32_t divisor = ProgressDivisor(total);
  // Above about 4.2 GB no divisor brings the range under 16 bits; the top is
  // held at the largest range rather than wrapped into a small one.
  const uint32_t top = std::min<uint32_t>(total / divisor, 0xFFFF);
  dialog.SetProgressRange(kProgressBar, 0, uint16_t(top));
  dialog.SetProgressPos(kProgressBar, int(sent / divisor));
}

}  // namespace imagefit
