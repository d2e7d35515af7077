// Splitting device paths: both separators, and no empty components from
// leading, doubled or trailing ones.
#include <gtest/gtest.h>

#include "platform/text.h"

namespace platform {
namespace {

using Parts = std::vector<std::u16string>;

TEST(SplitPathComponents, BothSeparatorsAndNoEmptyComponents) {
  EXPECT_EQ(SplitPathComponents(u"\\Flash Disk\\app\\main.exe"),
            (Parts{u"Flash Disk", u"app", u"main.exe"}));
  EXPECT_EQ(SplitPathComponents(u"//a\\\\b/c\\"), (Parts{u"a", u"b", u"c"}));
  EXPECT_EQ(SplitPathComponents(u"name"), (Parts{u"name"}));
  EXPECT_TRUE(SplitPathComponents(u"\\").empty());
  EXPECT_TRUE(SplitPathComponents(u"").empty());
}

}  // namespace
}  // namespace platform
