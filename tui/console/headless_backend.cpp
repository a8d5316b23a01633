#include "tui/console/headless_backend.h"

#include <cstdio>
#include <cstdlib>

namespace tui {

void HeadlessControl::PushText(std::string_view cp850) {
  for (char ch : cp850) {
    if (ch != 0) Push(InputEvent::Char(static_cast<std::uint8_t>(ch)));
  }
}

void HeadlessControl::PushClick(int column, int row, int button) {
  Push(InputEvent::Mouse(button, column, row));
  Push(InputEvent::Mouse(mouse::kNone, column, row));
}

void HeadlessControl::PushAltKeypad(std::string_view digits) {
  for (char d : digits) {
    if (d >= '0' && d <= '9') PushKey(KeypadKeyOfDigit(d - '0'), modifier::kLeftAlt);
  }
  Push(InputEvent::ModifierChange(0));
}

std::string HeadlessControl::Row(int row) const {
  std::string out;
  for (const Cell& c : shown_.RowCells(row)) out += static_cast<char>(c.character);
  return out;
}

std::optional<InputEvent> HeadlessControl::Next() {
  if (events_.empty()) return std::nullopt;
  InputEvent e = events_.front();
  events_.pop_front();
  starved_in_a_row_ = 0;
  return e;
}

void HeadlessControl::Starve() {
  if (!events_.empty()) return;
  if (on_starved_) {
    on_starved_(*this);
    return;
  }
  ++starved_count_;
  if (++starved_in_a_row_ > 1000) {
    std::fprintf(stderr, "headless console: a reader kept waiting on an empty input script\n");
    std::abort();
  }
  PushKey(key::kEscape);
}

class HeadlessDisplay : public DisplayAdapter {
 public:
  explicit HeadlessDisplay(HeadlessControl& control) : control_(control) {
    control_.shown_ = ScreenBuffer(control_.size_, Cell{0, 0});
  }
  ScreenSize Size() override {
    if (control_.shown_.Size() != control_.size_) control_.shown_.Resize(control_.size_, Cell{0, 0});
    return control_.size_;
  }
  bool TakeLost() override {
    bool lost = control_.lost_;
    control_.lost_ = false;
    return lost;
  }
  void WriteCells(int row, int column, std::span<const Cell> cells) override {
    for (std::size_t i = 0; i < cells.size(); ++i) control_.shown_.Set(row, column + static_cast<int>(i), cells[i]);
    control_.cells_written_ += static_cast<long>(cells.size());
  }
  bool ScrollRows(int top, int bottom, int lines) override {
    if (!control_.scroll_rows_) return false;
    ScreenBuffer& shown = control_.shown_;
    ScreenBuffer before = shown;
    for (int r = top; r <= bottom; ++r) {
      for (int c = 1; c <= shown.Columns(); ++c) {
        int from = r + lines;
        // Rows uncovered show something the console does not know: zero cells here.
        shown.Set(r, c, from >= top && from <= bottom ? before.At(from, c) : Cell{0, 0});
      }
    }
    ++control_.row_scrolls_;
    return true;
  }
  void Flush(const CursorState& cursor) override {
    control_.cursor_ = cursor;
    ++control_.flushes_;
  }
  void Suspend() override { control_.suspended_ = true; }
  void Resume() override { control_.suspended_ = false; }
  void SetLanguage(std::string_view language) override { control_.language_ = std::string(language); }

 private:
  HeadlessControl& control_;
};

class HeadlessInput : public InputAdapter {
 public:
  explicit HeadlessInput(HeadlessControl& control) : control_(control) {}
  std::optional<InputEvent> Poll() override {
    std::optional<InputEvent> e = control_.Next();
    // Mouse reports are only seen while mouse input is on, as on a real console.
    while (e && e->type == InputEvent::Type::kMouse && !control_.mouse_enabled_) e = control_.Next();
    return e;
  }
  void Wait(int) override { control_.Starve(); }
  void Flush() override { control_.events_.clear(); }
  int MouseButtons() override { return control_.mouse_buttons_; }
  void EnableMouse(bool on) override {
    if (on && !control_.mouse_enabled_) ++control_.mouse_enable_count_;
    control_.mouse_enabled_ = on;
  }

 private:
  HeadlessControl& control_;
};

class HeadlessClipboard : public ClipboardAdapter {
 public:
  explicit HeadlessClipboard(HeadlessControl& control) : control_(control) {}
  void Put(std::string_view text) override {
    if (control_.system_clipboard_) control_.system_clipboard_ = std::string(text);
  }
  std::optional<std::string> Get() override { return control_.system_clipboard_; }

 private:
  HeadlessControl& control_;
};

namespace {

// Keeps the control alive exactly as long as the display that the console owns.
class OwningHeadlessDisplay : public HeadlessDisplay {
 public:
  explicit OwningHeadlessDisplay(std::unique_ptr<HeadlessControl> control)
      : HeadlessDisplay(*control), control_(std::move(control)) {}

 private:
  std::unique_ptr<HeadlessControl> control_;
};

}  // namespace

HeadlessBackend MakeHeadlessBackend(ScreenSize size) {
  auto control = std::make_unique<HeadlessControl>();
  control->Resize(size);
  HeadlessControl* raw = control.get();
  HeadlessBackend out;
  out.control = raw;
  out.backend.input = std::make_unique<HeadlessInput>(*raw);
  out.backend.clipboard = std::make_unique<HeadlessClipboard>(*raw);
  out.backend.display = std::make_unique<OwningHeadlessDisplay>(std::move(control));
  return out;
}

}  // namespace tui
