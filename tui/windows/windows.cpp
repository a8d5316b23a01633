#include "tui/windows/windows.h"

namespace tui {

Windows::Windows(Console& console, const session::Session& session, platform::System& system,
                 const session::Environment& environment)
    : console_(console), session_(session), system_(system), environment_(environment) {}

std::string Windows::StackPath() const { return session_.TempDir + std::string(kWindowStackFileName); }

bool Windows::WinOpen(int top, int left, int bottom, int right) {
  const WindowRect rect{top, left, bottom, right};
  const int rows = console_.ScreenRows();
  const int cols = console_.ScreenCols();
  const bool onScreen = top >= 1 && bottom >= 1 && top <= rows && bottom <= rows && left >= 1 && right >= 1 &&
                        left <= cols && right <= cols;
  if (!onScreen || !IsStorableRect(rect)) {
    open_.push_back(OpenWindow{});
    return false;
  }

  WindowRecord record;
  record.cursorRow = console_.CursorRow();
  record.cursorCol = console_.CursorColumn();
  record.outer = console_.WindowDepth() > 0 ? console_.CurrentWindow() : WindowRect{};
  // A current window that cannot be stored would make the record unreadable; a window this
  // object did not open is the only way to get one, and "none" is the best that can be kept.
  if (!IsNoWindow(record.outer) && !IsStorableRect(record.outer)) record.outer = WindowRect{};
  record.rect = rect;
  record.cells.reserve(static_cast<std::size_t>(RectCells(rect)) * 2);
  for (int row = top; row <= bottom; ++row) {
    for (int col = left; col <= right; ++col) {
      record.cells += static_cast<char>(console_.ReadCell(row, col));
      record.cells += static_cast<char>(console_.ReadAttribute(row, col));
    }
  }

  OpenWindow opened;
  WindowStackFile file(StackPath());
  if (file.Push(record, &opened.start) == StackStatus::kOk) {
    opened.kind = OpenWindow::Kind::kInFile;
    record.cells.clear();
  } else {
    opened.kind = OpenWindow::Kind::kInMemory;
  }
  opened.saved = std::move(record);
  open_.push_back(std::move(opened));
  console_.SetWindowState(console_.WindowDepth() + 1, rect);
  return true;
}

void Windows::WinClose() {
  if (open_.empty()) return;
  OpenWindow closing = std::move(open_.back());
  open_.pop_back();
  switch (closing.kind) {
    case OpenWindow::Kind::kRefused:
      return;
    case OpenWindow::Kind::kInMemory:
      Restore(closing.saved, true);
      return;
    case OpenWindow::Kind::kInFile:
      break;
  }
  WindowStackFile file(StackPath());
  WindowRecord record;
  std::int64_t start = 0;
  StackStatus status = file.Pop(&record, &start);
  if (status == StackStatus::kOk && start == closing.start && record.rect == closing.saved.rect) {
    Restore(record, true);
    return;
  }
  // The record is not the one this window wrote: the file was damaged, removed or rewritten
  // behind our back. Cut the stack back to where our record began (so the windows below stay
  // reachable) and restore what is known without the cells.
  file.ResetHeader(closing.start);
  Restore(closing.saved, false);
}

void Windows::Restore(const WindowRecord& record, bool withCells) {
  console_.SetWindowState(console_.WindowDepth() - 1, record.outer);
  if (withCells) {
    // Cells of a screen that has since become smaller are skipped: positioning there would
    // leave the cursor where it was and print over a wrong cell.
    const int rows = console_.ScreenRows();
    const int cols = console_.ScreenCols();
    std::size_t i = 0;
    for (int row = record.rect.top; row <= record.rect.bottom; ++row) {
      for (int col = record.rect.left; col <= record.rect.right; ++col, i += 2) {
        if (row > rows || col > cols || i + 1 >= record.cells.size()) continue;
        const auto attribute = static_cast<unsigned char>(record.cells[i + 1]);
        console_.SetColour(attribute % 16, attribute / 16);
        console_.Locate(row, col);
        console_.Print(std::string_view(&record.cells[i], 1));
      }
    }
  }
  console_.Locate(record.cursorRow, record.cursorCol);
}

}  // namespace tui
