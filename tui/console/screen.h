// The screen as a grid of cells that the program owns.
//
// Every cell holds one code page 850 byte and one attribute byte (low four bits foreground,
// high four bits background, PC colour numbers: 0 black, 1 blue, 2 green, 3 cyan, 4 red,
// 5 magenta, 6 brown, 7 light grey, 8..15 their bright forms). The console writes into a
// ScreenBuffer; a display adapter only ever sees the cells that differ from what it showed
// last, so the terminal receives changed cells and nothing else.
//
// Bytes 00..1F and 7F are ordinary cell contents: they are shown as their code page glyphs
// (10 hexadecimal is the right pointer U+25BA, 11 the left pointer U+25C4), never sent to a
// terminal as control characters. See glyphs.h.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace tui {

struct Cell {
  std::uint8_t character = ' ';
  std::uint8_t attribute = 0x07;
  bool operator==(const Cell&) const = default;
};

struct ScreenSize {
  int rows = 0;
  int columns = 0;
  bool operator==(const ScreenSize&) const = default;
};

// A rows x columns grid of cells, 1-based like the console's coordinates, with a damaged
// column range per row that records which cells were written since the last TakeDamage.
class ScreenBuffer {
 public:
  ScreenBuffer() = default;
  explicit ScreenBuffer(ScreenSize size, Cell fill = Cell{});

  ScreenSize Size() const { return size_; }
  int Rows() const { return size_.rows; }
  int Columns() const { return size_.columns; }
  bool Contains(int row, int column) const {
    return row >= 1 && row <= size_.rows && column >= 1 && column <= size_.columns;
  }

  // The cell at (row, column); a position outside the grid reads as a zero cell (byte 0,
  // attribute 0).
  Cell At(int row, int column) const;
  // Writes a cell; outside the grid nothing happens.
  void Set(int row, int column, Cell cell);
  // One row of cells (row 1..Rows()).
  std::span<const Cell> RowCells(int row) const;

  // Changes the size, keeping the cells that lie inside both sizes and filling new ones.
  // Everything counts as damaged afterwards.
  void Resize(ScreenSize size, Cell fill = Cell{});
  // Marks every cell damaged, or every cell of rows first..last.
  void DamageAll();
  void DamageRows(int first, int last);

  struct Damage {
    int row;
    int first_column;  // inclusive
    int last_column;   // inclusive
  };
  // The damaged ranges, top row first, and forgets them.
  std::vector<Damage> TakeDamage();

  // The screen as text, one line per row joined by "\n", code page 850 bytes as they are.
  std::string Text() const;

 private:
  std::size_t Index(int row, int column) const {
    return static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(size_.columns) +
           static_cast<std::size_t>(column - 1);
  }
  ScreenSize size_{};
  std::vector<Cell> cells_;
  std::vector<int> damage_first_;  // per row; Columns() + 1 when undamaged
  std::vector<int> damage_last_;   // per row; 0 when undamaged
};

}  // namespace tui
