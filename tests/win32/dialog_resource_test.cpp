// The Win32 build shows the dialog resources of ui/win32/*.rc, while the frame
// lays out and the other hosts draw the templates compiled into each
// program. Both must describe the same dialog: every control with its id,
// kind, text, position and the styles the hosts use.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "imagefit/dialog_template.h"
#include "platform/text.h"
#include "shellfit/dialog_template.h"

namespace {

using platform::ControlKind;

struct ResourceDialog {
  int cx = 0, cy = 0;
  bool visible = false;
  std::string font;
  std::map<int, platform::ControlTemplate> controls;
};

std::string Read(const std::string& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

bool Has(const std::string& styles, const char* style) {
  return std::regex_search(styles, std::regex(std::string("\\b") + style + "\\b"));
}

// The few statement forms the two scripts use; anything else inside the
// dialog fails the test rather than being skipped.
ResourceDialog ParseRc(const std::string& file) {
  ResourceDialog dialog;
  const std::string text = Read(file);
  std::smatch m;
  EXPECT_TRUE(std::regex_search(text, m, std::regex(R"(104 DIALOGEX 0, 0, (\d+), (\d+))")));
  if (m.size() == 3) dialog.cx = std::stoi(m[1]), dialog.cy = std::stoi(m[2]);
  EXPECT_TRUE(std::regex_search(text, m, std::regex(R"(\nSTYLE ([^\n]*))")));
  dialog.visible = m.size() == 2 && Has(m[1], "WS_VISIBLE");
  EXPECT_TRUE(std::regex_search(text, m, std::regex(R"rc(\nFONT (\d+), "([^"]*)")rc")));
  if (m.size() == 3) dialog.font = m[2].str() + " " + m[1].str();

  const std::regex plain(
      R"rc(^\s*(DEFPUSHBUTTON|PUSHBUTTON|LTEXT|CTEXT|GROUPBOX) "([^"]*)", (\d+), (\d+), (\d+), (\d+), (\d+)(?:, (.*))?$)rc");
  const std::regex control(
      R"rc(^\s*CONTROL "([^"]*)", (\d+), "msctls_progress32", ([^,]*), (\d+), (\d+), (\d+), (\d+), (.*)$)rc");
  std::istringstream lines(text.substr(text.find("\nBEGIN\n") + 7));
  for (std::string line; std::getline(lines, line) && line != "END";) {
    platform::ControlTemplate c;
    std::string styles;
    if (std::regex_match(line, m, plain)) {
      const std::string kind = m[1];
      c.kind = kind == "DEFPUSHBUTTON" ? ControlKind::DefaultPushButton
               : kind == "PUSHBUTTON"  ? ControlKind::PushButton
               : kind == "GROUPBOX"    ? ControlKind::GroupBox
                                       : ControlKind::Static;
      styles = m[8];
      if (kind == "CTEXT") c.style |= platform::StyleCenter;
      if (Has(styles, "SS_CENTERIMAGE")) c.style |= platform::StyleVCenter;
      if (Has(styles, "WS_BORDER")) c.style |= platform::StyleBorder;
      if (Has(styles, "WS_TABSTOP")) c.style |= platform::StyleTabStop;
    } else if (std::regex_match(line, m, control)) {
      c.kind = ControlKind::Progress;
      if (Has(m[3], "PBS_SMOOTH")) c.style |= platform::StyleSmooth;
      if (Has(m[8], "WS_EX_STATICEDGE")) c.style |= platform::StyleStaticEdge;
      // The progress bar's fields come one later (the class name).
      c.text = platform::FromUtf8(m[1].str());
      c.id = std::stoi(m[2]);
      c.x = std::stoi(m[4]), c.y = std::stoi(m[5]), c.cx = std::stoi(m[6]), c.cy = std::stoi(m[7]);
      dialog.controls[c.id] = c;
      continue;
    } else {
      ADD_FAILURE() << file << ": a line this test cannot read: " << line;
      continue;
    }
    c.text = platform::FromUtf8(m[2].str());
    c.id = std::stoi(m[3]);
    c.x = std::stoi(m[4]), c.y = std::stoi(m[5]), c.cx = std::stoi(m[6]), c.cy = std::stoi(m[7]);
    dialog.controls[c.id] = c;
  }
  return dialog;
}

void ExpectSameDialog(const std::string& rc, const platform::DialogTemplate& program) {
  const ResourceDialog resource = ParseRc(std::string(FITKIT_SOURCE_DIR) + "/ui/win32/" + rc);
  SCOPED_TRACE(rc);
  EXPECT_EQ(resource.cx, program.cx);
  EXPECT_EQ(resource.cy, program.cy);
  EXPECT_EQ(resource.visible, program.visible);
  EXPECT_EQ(resource.font,
            platform::ToUtf8(program.fontFace) + " " + std::to_string(program.fontPoints));
  EXPECT_EQ(resource.controls.size(), program.controls.size());
  // The styles the hosts read; the left alignment is no bit of its own.
  const uint32_t kUsed = platform::StyleCenter | platform::StyleVCenter | platform::StyleBorder |
                         platform::StyleTabStop;
  for (const auto& expected : program.controls) {
    SCOPED_TRACE("control " + std::to_string(expected.id));
    const auto found = resource.controls.find(expected.id);
    ASSERT_NE(found, resource.controls.end());
    const auto& c = found->second;
    EXPECT_EQ(c.kind, expected.kind);
    EXPECT_EQ(platform::ToUtf8(c.text), platform::ToUtf8(expected.text));
    EXPECT_EQ(c.x, expected.x);
    EXPECT_EQ(c.y, expected.y);
    EXPECT_EQ(c.cx, expected.cx);
    EXPECT_EQ(c.cy, expected.cy);
    if (expected.kind == ControlKind::Progress) {
      EXPECT_EQ(c.style, expected.style);  // smooth and static edge
    } else {
      EXPECT_EQ(c.style & kUsed, expected.style & kUsed);
    }
  }
}

TEST(Win32DialogResource, MatchesEachProgramsTemplate) {
  ExpectSameDialog("shellfit.rc", shellfit::UpdateDialogTemplate());
  ExpectSameDialog("imagefit.rc", imagefit::UpdateDialogTemplate());
}

}  // namespace
