// The calculator pop-up: an adding machine with a paper tape, in a 26-column window that the
// operator can slide along the screen.
//
//   std::string text = tui::CalculatorPopup(console, windows, values, session);
//   // after 1 2 . 5 + 3 = F: "1550" (15.50 in hundredths, as amount fields take typed digits)
//
// The window covers rows 1 to 25 and columns column to column + 25. Only its lower part is
// drawn; the screen under the rest shows through until the tape grows over it:
//
//   row tape start - 1   ┌────────────────────────┐   (row 23 while the tape is empty)
//   tape start .. 22     │                  12'5 +│   one tape line per row, newest at 22
//                        │                     3 =│
//                        │                  15'5  │
//   23                   ├────────────────────────┤   (only with a tape)
//   24                   │                  15'5  │   the display
//   25                   └────────────────────────┘
//
// Keys: digits and "." type an amount, Backspace takes back its last digit (then the point),
// "T" changes its sign; "+", "-", "*", "/" and "=" (or Enter while typing) work as on an adding
// machine, "%" takes a percentage of the running total (after "+" or "-") or divides by 100,
// "R" rounds to hundredths, "C" cancels the amount being typed, clears, and a second time in a
// row clears the tape. Left and Right (also with Ctrl) slide the window, wrapping round the
// 80 columns. "F" or Alt+F leave with the result, Escape with "".
//
// The arithmetic is exact decimal: every amount is a whole number of units of its last decimal
// (CalculatorNumber). "+" and "-" are exact; "*" is exact and then normalised, "/" is rounded
// once to what normalising keeps; the running result is normalised after every operator:
// at most 15 digits in all, counting the integer digits and the decimals (so 2 / 3 gives
// 0.666666666666667 and 1 / 3000 gives 0.000333333333333), the last one rounded to nearest
// with ties away from zero, trailing zeros dropped. Whole numbers keep all their digits. An
// amount being typed takes up to 16 digits, as many as the display shows.
//
// The whole state (position, display, running total, pending operator and tape) is kept in
// "ZEDCALC.TMP" in the session's terminal directory, so the next opening carries on where the
// last one ended. File format, one statement per line, lines ended by CR LF, comma-separated
// items, numbers in plain decimal (the shortest exact text, no exponent; flags -1 true and
// 0 false), texts between double quotes:
//
//   line 1       column, tape start, entry, accumulator          1,23,0,0
//   line 2       cleared, typing, has point, decimals            -1,0,0,0
//   line 3       last key, pending operator                      "F","+"
//   lines 4..25  tape lines 1..22: value, has point, decimals, label     12.5,-1,1,"+"
//
// The reader takes the items in this order whatever the line breaks; an item that is missing,
// unreadable or out of range keeps its initial value, so a damaged file never stops the
// calculator from opening. Numbers are read exactly (an exponent is allowed); a running result
// or tape value with more digits than the machine keeps (files written when the machine
// worked in binary fractions: 0.30000000000000004) is normalised as it is read, and so is an
// entry of more than 16 digits.
//
// A result that cannot be shown (a division by zero, a magnitude of 10^22 or more) shows as
// "ERROR" on the display and on the tape; F then returns "" and the next "C" clears everything.
#pragma once

#include <array>
#include <ostream>
#include <string>
#include <string_view>

#include "session/session.h"
#include "tui/console/console.h"
#include "tui/console/keys.h"
#include "tui/windows/windows.h"
#include "values/values.h"

namespace tui {

inline constexpr std::string_view kCalculatorFileName = "ZEDCALC.TMP";

inline constexpr int kCalculatorWidth = 26;          // columns of the window
inline constexpr int kCalculatorLastColumn = 55;     // the window's right edge at column 80
inline constexpr int kCalculatorTapeLines = 22;      // lines kept; rows 2..22 show at most 21
inline constexpr int kCalculatorEmptyTape = 23;      // tape start of an empty tape
inline constexpr int kCalculatorTopTapeStart = 2;    // the highest row a tape line reaches
inline constexpr int kCalculatorDigits = 15;         // digits a result keeps (normalising)
inline constexpr int kCalculatorEntryDigits = 16;    // digits an amount being typed takes
inline constexpr int kCalculatorValueWidth = 22;     // positions of a value on the tape
inline constexpr int kCalculatorLimitDigits = 22;    // a result must stay below 10^22
// What a value that is not a number shows in its 22 positions.
inline constexpr std::string_view kCalculatorErrorMark = "ERROR";

__extension__ typedef __int128 CalculatorUnits;

// An exact decimal amount: units / 10^scale (scale 0..37), or an error. Two numbers are equal
// when they have the same value (12.5 == 12.50) or are both errors.
class CalculatorNumber {
 public:
  CalculatorNumber() = default;
  // A whole number of units of the scale-th decimal: FromUnits(125, 1) is 12.5.
  static CalculatorNumber FromUnits(CalculatorUnits units, int scale);
  static CalculatorNumber Error();
  // Reads a plain decimal text ("-12.5", "0.001", "+3", "1.5e3"): false when the whole text is
  // not one, or when the value is 10^22 or more. Digits past the 37th decimal (or the 37th
  // significant digit) are rounded away.
  static bool Parse(std::string_view text, CalculatorNumber& out);

  // The exact plain decimal text without trailing zeros: "12.5", "-0.001", "0". "0" for an error.
  std::string Text() const;
  bool IsError() const { return error_; }
  bool IsZero() const { return !error_ && units_ == 0; }
  bool IsNegative() const { return !error_ && units_ < 0; }
  CalculatorUnits Units() const { return units_; }
  int Scale() const { return scale_; }
  // Digits of the integer part of the magnitude (0 below 1).
  int IntegerDigits() const;
  CalculatorNumber Negated() const;

  friend bool operator==(const CalculatorNumber& a, const CalculatorNumber& b);
  friend std::ostream& operator<<(std::ostream& out, const CalculatorNumber& n) {
    return out << (n.error_ ? std::string("ERROR") : n.Text());
  }

 private:
  CalculatorUnits units_ = 0;
  int scale_ = 0;
  bool error_ = false;
};

struct TapeLine {
  CalculatorNumber value;
  bool hasPoint = false;
  int decimals = 0;
  char label = ' ';
  bool operator==(const TapeLine&) const = default;
};

struct CalculatorState {
  int column = 1;                       // left column of the window, 1..55
  int tapeStart = kCalculatorEmptyTape;  // row of the oldest visible tape line, 2..23
  CalculatorNumber entry;               // the number on the display
  CalculatorNumber accumulator;         // the running result
  bool cleared = true;                  // set by a clear; a second clear clears the tape
  bool typing = false;                  // an entry is being typed
  bool hasPoint = false;                // the entry shows a decimal point
  int decimals = 0;                     // decimals shown (and typed) in the entry, 0..16
  std::string lastKey;                  // the key being handled, as text
  std::string pending;                  // "+", "-", "*", "/" or ""
  std::array<TapeLine, kCalculatorTapeLines> tape{};  // [21] is the newest line
  bool operator==(const CalculatorState&) const = default;
};

// ---- ZEDCALC.TMP -------------------------------------------------------------------------

// The file's text for a state (see the format above). An error is written as 0; bytes of the
// texts that cannot stand between quotes (control characters, the double quote) are left out.
std::string WriteCalculatorState(const CalculatorState& state);
// The state a file's text holds; every item that cannot be read keeps its initial value.
CalculatorState ReadCalculatorState(std::string_view text);

// ---- Arithmetic --------------------------------------------------------------------------

// A value cut to at most 15 digits (integer digits and decimals together; a whole number keeps
// all its integer digits), the last one rounded to nearest with ties away from zero, without
// trailing zeros; its scale is then the decimals it shows: 0.1 + 0.2 gives 0.3, 15.50 gives
// 15.5, 2 / 3 gives 0.666666666666667. An error, or a value that rounds to 10^22 or more, gives
// an error.
CalculatorNumber NormaliseCalculatorValue(const CalculatorNumber& value);

// An operator on two amounts, the result normalised: "+", "-", "*" exactly before normalising,
// "/" rounded once to the digits normalising keeps. A division by zero, a result of 10^22 or
// more, or an error operand gives an error.
CalculatorNumber CalculatorOperate(char op, const CalculatorNumber& a, const CalculatorNumber& b);

// "R": rounds to two decimals, ties to the even hundredth (2.125 gives 2.12, 2.375 2.38),
// symmetrically for negative values. The result has scale 2.
CalculatorNumber RoundHundredths(const CalculatorNumber& value);

// The picture a value is shown in: "-" and the last characters of "Z,ZZZ,ZZZ,ZZZ,ZZZ,ZZ9",
// then "." and one "9" per decimal when the value has a point; always 22 characters.
std::string CalculatorPicture(bool hasPoint, int decimals);

// The 22 positions of a value on the tape or the display.
std::string CalculatorValueText(const CalculatorNumber& value, bool hasPoint, int decimals,
                                values::Values& values);

// The result F returns: the value in hundredths, without a sign. d is the decimals, at least
// 2; the digits of the value rounded to d decimals (ties away from zero) are written without
// leading zeros, with a point before the last d - 2 of them when d is above 2 (padded with
// zeros to d - 2 digits): 12.5 gives "1250", 1.234 "123.4", 0 "0", -7 "700", 0.001 ".1",
// 0.0001 ".01". "" for an error.
std::string CalculatorResultText(const CalculatorNumber& value, int decimals);

// ---- Keys --------------------------------------------------------------------------------

// A key as the calculator sees it: an extended key (a code above 255) as its two bytes, low
// byte first; a character in upper case.
std::string CalculatorKeyText(KeyCode key);

// What a key did, for the one who draws.
enum class CalculatorEffect {
  kNothing,      // an unknown key, or "=" while not typing
  kDisplay,      // the display changed
  kTape,         // the tape (and the display) changed
  kTapeCleared,  // the tape was cleared: restore the screen under it and draw again
  kSlid,         // the column changed: move the window
  kFinish,       // F or Alt+F: leave with the result
  kCancel,       // Escape: leave with ""
};

// The adding machine's rules on a state, without a console.
class CalculatorMachine {
 public:
  explicit CalculatorMachine(CalculatorState& state) : s_(state) {}

  CalculatorEffect HandleKey(KeyCode key);
  // The result to return on F (see CalculatorResultText): the entry while typing, otherwise
  // the accumulator.
  std::string Result() const;

 private:
  void Digit(int digit);
  void Point();
  void Backspace();
  CalculatorEffect Operator(char k);
  void ClearAll();
  void AddTapeLine();
  void SetEntry(const CalculatorNumber& value);
  bool DigitFits() const;

  CalculatorState& s_;
};

// The path of ZEDCALC.TMP for a session: its terminal directory + the file name.
std::string CalculatorFilePath(const session::Session& session);

// Opens the calculator, runs it and returns the result or "" (Escape). Reads ZEDCALC.TMP on
// opening (creating it empty when missing) and writes the whole state back on leaving. Saves
// and restores the caller's key set, colour, cursor and the screen under the window.
std::string CalculatorPopup(Console& console, Windows& windows, values::Values& values,
                            const session::Session& session);

}  // namespace tui
