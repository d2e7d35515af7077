// The device's rules for names, applied to where each entry will be written.
#include "shellfit/device_names.h"

#include "platform/device_names.h"
#include "platform/text.h"

namespace shellfit {
namespace {

bool IsSeparator(char16_t unit) { return unit == u'\\' || unit == u'/'; }

// ".", "..", "..." and the like, with or without blanks: the device reads
// them as steps through the folder tree, never as names.
bool IsDotForm(std::u16string_view part) {
  return part.find_first_not_of(u". ") == std::u16string_view::npos &&
         part.find(u'.') != std::u16string_view::npos;
}

std::u16string PartProblem(std::u16string_view part) {
  if (part.size() >= platform::kMaxPath) {
    return u"a part of the name has 260 characters or more";
  }
  if (IsDotForm(part)) return u"the name steps through \".\" or \"..\"";
  // The device's file system drops them when it creates the name, so the
  // file would be written under one name and looked for under another.
  if (part.back() == u'.' || part.back() == u' ') {
    return u"a part of the name ends with a dot or a blank, which the device's file system "
           u"drops";
  }
  if (!platform::IsValidDeviceName(part)) {
    return u"the name holds a character the device does not allow in names "
           u"(: * ? \" < > | or a control character)";
  }
  return {};
}

}  // namespace

std::u16string EntryDestination(const std::u16string& entryName, std::u16string_view base) {
  if (entryName.starts_with(u'\\')) return entryName;  // an absolute device path
  std::u16string path;
  path.reserve(base.size() + entryName.size());
  return path.append(base).append(entryName);
}

std::u16string NameProblem(std::u16string_view entryName, std::u16string_view destination) {
  if (entryName.empty()) return u"the entry has no name the device can read";
  std::size_t start = 0;
  while (start < entryName.size()) {
    std::size_t end = start;
    while (end < entryName.size() && !IsSeparator(entryName[end])) ++end;
    if (end > start) {
      std::u16string problem = PartProblem(entryName.substr(start, end - start));
      if (!problem.empty()) return problem;
    }
    start = end + 1;
  }
  if (destination.size() >= platform::kMaxPath) {
    return u"its path on the device would be longer than 259 characters";
  }
  return {};
}

}  // namespace shellfit
