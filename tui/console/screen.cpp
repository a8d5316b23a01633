#include "tui/console/screen.h"

#include <algorithm>

namespace tui {

ScreenBuffer::ScreenBuffer(ScreenSize size, Cell fill) { Resize(size, fill); }

Cell ScreenBuffer::At(int row, int column) const {
  if (!Contains(row, column)) return Cell{0, 0};
  return cells_[Index(row, column)];
}

void ScreenBuffer::Set(int row, int column, Cell cell) {
  if (!Contains(row, column)) return;
  cells_[Index(row, column)] = cell;
  std::size_t r = static_cast<std::size_t>(row - 1);
  damage_first_[r] = std::min(damage_first_[r], column);
  damage_last_[r] = std::max(damage_last_[r], column);
}

std::span<const Cell> ScreenBuffer::RowCells(int row) const {
  if (row < 1 || row > size_.rows) return {};
  return std::span<const Cell>(cells_).subspan(Index(row, 1), static_cast<std::size_t>(size_.columns));
}

void ScreenBuffer::Resize(ScreenSize size, Cell fill) {
  size.rows = std::max(size.rows, 0);
  size.columns = std::max(size.columns, 0);
  std::vector<Cell> cells(static_cast<std::size_t>(size.rows) * static_cast<std::size_t>(size.columns), fill);
  int keep_rows = std::min(size.rows, size_.rows);
  int keep_columns = std::min(size.columns, size_.columns);
  for (int r = 1; r <= keep_rows; ++r) {
    for (int c = 1; c <= keep_columns; ++c) {
      cells[static_cast<std::size_t>(r - 1) * static_cast<std::size_t>(size.columns) +
            static_cast<std::size_t>(c - 1)] = cells_[Index(r, c)];
    }
  }
  size_ = size;
  cells_ = std::move(cells);
  DamageAll();
}

void ScreenBuffer::DamageAll() {
  damage_first_.assign(static_cast<std::size_t>(size_.rows), 1);
  damage_last_.assign(static_cast<std::size_t>(size_.rows), size_.columns);
}

void ScreenBuffer::DamageRows(int first, int last) {
  first = std::max(first, 1);
  last = std::min(last, size_.rows);
  for (int r = first; r <= last; ++r) {
    damage_first_[static_cast<std::size_t>(r - 1)] = 1;
    damage_last_[static_cast<std::size_t>(r - 1)] = size_.columns;
  }
}

std::vector<ScreenBuffer::Damage> ScreenBuffer::TakeDamage() {
  std::vector<Damage> out;
  for (int r = 1; r <= size_.rows; ++r) {
    std::size_t i = static_cast<std::size_t>(r - 1);
    if (damage_first_[i] <= damage_last_[i]) out.push_back({r, damage_first_[i], damage_last_[i]});
    damage_first_[i] = size_.columns + 1;
    damage_last_[i] = 0;
  }
  return out;
}

std::string ScreenBuffer::Text() const {
  std::string out;
  out.reserve(static_cast<std::size_t>(size_.rows) * static_cast<std::size_t>(size_.columns + 1));
  for (int r = 1; r <= size_.rows; ++r) {
    if (r > 1) out += '\n';
    for (const Cell& c : RowCells(r)) out += static_cast<char>(c.character);
  }
  return out;
}

}  // namespace tui
