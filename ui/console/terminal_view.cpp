#include "ui/console/terminal_view.h"

#include <curses.h>

#include <algorithm>
#include <cctype>
#include <cwchar>

namespace ui {
namespace {

constexpr int kCellWidth = 8;  // the console's cell, as text is measured
constexpr int kCellHeight = 16;
constexpr int kBoxMaxTextWidth = 48;
constexpr short kCaptionPair = 1;

// Where on the terminal the dialog's client area starts.
struct Origin {
  int row = 0, col = 0;
};

std::wstring Wide(std::u16string_view text) {
  std::wstring out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t unit = text[i];
    if (unit >= 0xD800 && unit < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] < 0xE000) {
      unit = 0x10000 + ((unit - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    out += static_cast<wchar_t>(unit);
  }
  return out;
}

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

// Terminal cells a text takes: two for a wide (East Asian) character.
int CellsOf(std::wstring_view text) {
  int cells = 0;
  for (wchar_t c : text) cells += std::max(0, ::wcwidth(c));
  return cells;
}

// The longest start of the text that fits in `cells`.
std::wstring_view FitTo(std::wstring_view text, int cells) {
  int used = 0;
  std::size_t count = 0;
  for (; count < text.size(); ++count) {
    const int width = std::max(0, ::wcwidth(text[count]));
    if (used + width > cells) break;
    used += width;
  }
  return text.substr(0, count);
}

// Writes text from row, col, cut at the terminal's right edge (ncurses would
// wrap it onto the next row).
void Put(int row, int col, std::wstring_view text, attr_t attributes = A_NORMAL) {
  if (row < 0 || row >= LINES || col < 0 || col >= COLS) return;
  text = FitTo(text, COLS - col);
  attron(attributes);
  mvaddnwstr(row, col, text.data(), static_cast<int>(text.size()));
  attroff(attributes);
}

void PutCorner(int row, int col, chtype symbol) {
  if (row >= 0 && row < LINES && col >= 0 && col < COLS) mvaddch(row, col, symbol);
}

// A frame of lines around rows top..bottom and columns left..right.
void Frame(int top, int left, int bottom, int right) {
  for (int col = left + 1; col < right; ++col) {
    PutCorner(top, col, ACS_HLINE);
    PutCorner(bottom, col, ACS_HLINE);
  }
  for (int row = top + 1; row < bottom; ++row) {
    PutCorner(row, left, ACS_VLINE);
    PutCorner(row, right, ACS_VLINE);
  }
  PutCorner(top, left, ACS_ULCORNER);
  PutCorner(top, right, ACS_URCORNER);
  PutCorner(bottom, left, ACS_LLCORNER);
  PutCorner(bottom, right, ACS_LRCORNER);
}

void Blank(int top, int left, int bottom, int right) {
  for (int row = top; row <= bottom; ++row) {
    Put(row, left, std::wstring(static_cast<std::size_t>(std::max(0, right - left + 1)), L' '));
  }
}

std::wstring Centred(std::wstring_view text, int width) {
  if (width <= 0) return L"";
  text = FitTo(text, width);
  const int spare = width - CellsOf(text);
  const std::size_t before = static_cast<std::size_t>(spare / 2);
  const std::size_t after = static_cast<std::size_t>(spare) - before;
  return std::wstring(before, L' ') + std::wstring(text) + std::wstring(after, L' ');
}

int ColumnOf(int x) { return (x + kCellWidth / 2) / kCellWidth; }
// Both edges rounded alike, so that controls a cell apart stay apart.
int WidthOf(const platform::Rect& r) { return std::max(1, ColumnOf(r.right) - ColumnOf(r.left)); }
// A one-row control sits on the row that holds its middle.
int RowOf(const platform::Rect& r) { return (r.top + r.bottom) / 2 / kCellHeight; }

bool IsButton(const ControlState& control) {
  return control.source.kind == platform::ControlKind::PushButton ||
         control.source.kind == platform::ControlKind::DefaultPushButton;
}

std::wstring ButtonText(const std::wstring& label, int width, bool enabled, bool focused) {
  const wchar_t open = !enabled ? L'(' : focused ? L'<' : L'[';
  const wchar_t close = !enabled ? L')' : focused ? L'>' : L']';
  return open + Centred(label, std::max(0, width - 2)) + close;
}

void DrawControl(const TerminalDialogPicture& picture, const ControlState& control, Origin at) {
  const platform::Rect& r = control.rect;
  const int col = at.col + ColumnOf(r.left);
  const int width = WidthOf(r);
  const int row = at.row + RowOf(r);
  const std::wstring text = Wide(control.text);
  const bool bold = picture.state->FontOf(control.font).weight >= 700;
  switch (control.source.kind) {
    case platform::ControlKind::GroupBox: {
      const int top = at.row + (r.top + kCellHeight / 2) / kCellHeight;
      const int bottom = std::max(top + 1, at.row + (r.bottom + kCellHeight / 2) / kCellHeight - 1);
      Frame(top, col, bottom, col + width - 1);
      if (!text.empty()) Put(top, col + 2, L" " + text + L" ");
      break;
    }
    case platform::ControlKind::Progress: {
      Put(row, col, Wide(TerminalProgressBar(control, width)), A_BOLD);
      const int span = std::max(1, control.high - control.low);
      const int percent = std::clamp((control.position - control.low) * 100 / span, 0, 100);
      Put(row, col + width + 1, Wide(std::to_string(percent) + "%"));
      break;
    }
    case platform::ControlKind::PushButton:
    case platform::ControlKind::DefaultPushButton: {
      const bool focused = control.source.id == picture.focusId;
      const attr_t look = !control.enabled ? A_DIM : focused ? (A_REVERSE | A_BOLD) : A_NORMAL;
      Put(row, col, ButtonText(text, width, control.enabled, focused), look);
      break;
    }
    case platform::ControlKind::Static: {
      const attr_t look = bold ? A_BOLD : A_NORMAL;
      if (control.source.style & platform::StyleBorder) {
        Put(row, col, L"[" + Centred(text, width - 2) + L"]", look);
      } else if (control.source.style & platform::StyleCenter) {
        Put(row, col, Centred(text, width), look);
      } else {
        Put(row, col, FitTo(text, width), look);
      }
      break;
    }
  }
}

// The text's lines ("\r\n" or "\n" apart), each wrapped at spaces to `width`.
std::vector<std::wstring> WrappedLines(const std::wstring& text, int width) {
  std::vector<std::wstring> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(L'\n', start);
    if (end == std::wstring::npos) end = text.size();
    std::wstring line = text.substr(start, end - start);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    while (static_cast<int>(line.size()) > width) {
      std::size_t cut = line.rfind(L' ', static_cast<std::size_t>(width));
      if (cut == std::wstring::npos || cut == 0) cut = static_cast<std::size_t>(width);
      lines.push_back(line.substr(0, cut));
      line.erase(0, line[cut] == L' ' ? cut + 1 : cut);
    }
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::wstring BoxButtons(const TerminalBoxPicture& box) {
  std::size_t widest = 0;
  for (const std::string& label : box.labels) widest = std::max(widest, label.size());
  std::wstring row;
  for (std::size_t i = 0; i < box.labels.size(); ++i) {
    if (!row.empty()) row += L"   ";
    row += ButtonText(Wide(box.labels[i]), static_cast<int>(widest) + 4, true, i == box.focus);
  }
  return row;
}

void DrawBox(const TerminalBoxPicture& box) {
  const int maxText = std::max(10, std::min(kBoxMaxTextWidth, COLS - 6));
  const std::vector<std::wstring> lines = WrappedLines(Wide(box.text), maxText);
  const std::wstring buttons = BoxButtons(box);
  int inner = std::max(CellsOf(buttons), CellsOf(Wide(box.caption)));
  for (const std::wstring& line : lines) inner = std::max(inner, CellsOf(line));
  inner += 2;
  const int height = static_cast<int>(lines.size()) + 6;
  const int top = std::max(0, (LINES - height) / 2);
  const int left = std::max(0, (COLS - inner - 2) / 2);
  const int bottom = top + height - 1;
  const int right = left + inner + 1;
  Blank(top, left, bottom, right);
  Frame(top, left, bottom, right);
  const attr_t caption = has_colors() ? (COLOR_PAIR(kCaptionPair) | A_BOLD) : A_REVERSE;
  Put(top + 1, left + 1, L" " + Centred(Wide(box.caption), inner - 2) + L" ", caption);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    Put(top + 3 + static_cast<int>(i), left + 2, lines[i]);
  }
  // The focused button is drawn again in reverse, over the row.
  const int buttonRow = bottom - 1;
  const int buttonCol = left + 1 + (inner - static_cast<int>(buttons.size())) / 2;
  Put(buttonRow, buttonCol, buttons);
  const std::size_t mark = buttons.find(L'<');
  const std::size_t markEnd = buttons.find(L'>', mark);
  if (mark != std::wstring::npos && markEnd != std::wstring::npos) {
    Put(buttonRow, buttonCol + static_cast<int>(mark), buttons.substr(mark, markEnd - mark + 1),
        A_REVERSE | A_BOLD);
  }
}

// What the keys do now: nothing is offered that would do nothing.
std::wstring Hint(const TerminalDialogPicture& dialog, const TerminalBoxPicture* box) {
  if (!dialog.keys) return L"";
  if (box == nullptr) {
    if (dialog.focusId == 0) return L"";
    std::wstring hint = L"Enter: press <marked>";
    if (dialog.buttonsEnabled > 1) hint += L"   Tab/arrows: move";
    return dialog.cancelEnabled ? hint + L"   Esc: Cancel" : hint;
  }
  std::wstring letters;
  for (const std::string& label : box->labels) {
    if (!letters.empty()) letters += L'/';
    letters += static_cast<wchar_t>(std::tolower(static_cast<unsigned char>(label[0])));
  }
  const std::wstring move = box->labels.size() > 1 ? L"   Tab/arrows: move" : L"";
  return L"Enter: press <marked>" + move + L"   " + letters + L": answer";
}

}  // namespace

std::string TerminalProgressBar(const ControlState& control, int width) {
  const int slots = std::max(0, width - 2);
  const int span = std::max(1, control.high - control.low);
  const int filled = std::clamp((control.position - control.low) * slots / span, 0, slots);
  return std::string("[")
             .append(static_cast<std::size_t>(filled), '#')
             .append(static_cast<std::size_t>(slots - filled), '.') +
         "]";
}

void DrawTerminal(const TerminalDialogPicture& dialog, const TerminalBoxPicture* box) {
  if (has_colors()) init_pair(kCaptionPair, COLOR_WHITE, COLOR_BLUE);
  erase();
  if (!dialog.state->shown()) {
    // A message box before the dialog is shown stands alone.
    if (box != nullptr) DrawBox(*box);
    refresh();
    return;
  }
  const int rows = (dialog.window.Height() + kCellHeight - 1) / kCellHeight;
  const int cols = (dialog.window.Width() + kCellWidth - 1) / kCellWidth;
  const Origin frame{std::max(0, (LINES - rows - 3) / 2), std::max(0, (COLS - cols - 2) / 2)};
  Frame(frame.row, frame.col, frame.row + rows + 1, frame.col + cols + 1);
  const Origin client{frame.row + 1, frame.col + 1};
  if (!dialog.title.empty()) {
    const platform::Rect& r = dialog.titleRect;
    Put(client.row + RowOf(r), client.col + ColumnOf(r.left),
        Centred(Wide(dialog.title), WidthOf(r)), A_BOLD);
  }
  for (const ControlState& control : dialog.state->controls()) {
    // Buttons last: nothing may cover them.
    if (!IsButton(control)) DrawControl(dialog, control, client);
  }
  for (const ControlState& control : dialog.state->controls()) {
    if (IsButton(control)) DrawControl(dialog, control, client);
  }
  Put(frame.row + rows + 2, frame.col + 1, Hint(dialog, box), A_DIM);
  if (box != nullptr) DrawBox(*box);
  refresh();
}

}  // namespace ui
