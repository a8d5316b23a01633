// Damaged ZEDCALC.TMP files: whatever their bytes, the reader must not crash, loop or read out
// of bounds; what it reads must be a state the calculator can work with (every item in range,
// every number finite) and must be written and read back unchanged. The adding machine then
// runs on that state with keys taken from the same bytes, and everything it shows and returns
// must stay within its 22 positions.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/system.h"
#include "tui/popups/calculator.h"
#include "values/values.h"

namespace {

class QuietSystem : public platform::System {
 public:
  platform::LocalTime Now() override { return {2024, 5, 17, 10, 30, 0, 0}; }
  std::int64_t MonotonicMs() override { return 0; }
  void Pause(int) override {}
  std::uint32_t Random(std::uint32_t) override { return 0; }
  void Beep() override {}
  std::string ComputerName() override { return "FUZZ"; }
  int RunAndWait(const std::vector<std::string>&) override { return -1; }
};

class NoSettings : public values::SettingsSource {
 public:
  std::string Read(std::string_view, std::string_view) override { return ""; }
};

void Check(bool condition) {
  if (!condition) std::abort();
}

bool Label(char c) { return std::string_view(" +-*/=%R").find(c) != std::string_view::npos; }

void CheckInRange(const tui::CalculatorState& s) {
  Check(s.column >= 1 && s.column <= tui::kCalculatorLastColumn);
  Check(s.tapeStart >= tui::kCalculatorTopTapeStart && s.tapeStart <= tui::kCalculatorEmptyTape);
  Check(s.decimals >= 0 && s.decimals <= tui::kCalculatorEntryDigits);
  Check(s.pending.empty() || s.pending == "+" || s.pending == "-" || s.pending == "*" || s.pending == "/");
  for (const tui::TapeLine& line : s.tape) {
    Check(line.decimals >= 0 && line.decimals <= tui::kCalculatorEntryDigits);
    Check(Label(line.label));
  }
}

// A byte as a key: most bytes as characters, a few as the extended keys the calculator knows.
tui::KeyCode KeyOf(std::uint8_t b) {
  switch (b) {
    case 0xF0: return tui::key::kLeft;
    case 0xF1: return tui::key::kRight;
    case 0xF2: return tui::key::kCtrlLeft;
    case 0xF3: return tui::key::kCtrlRight;
    case 0xF4: return tui::key::kAltF;
    case 0xF5: return tui::key::kF11;
    default: return static_cast<tui::KeyCode>(b == 0 ? 1 : b);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static QuietSystem system;
  static NoSettings settings;
  static values::Values values(settings, system);

  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  tui::CalculatorState state = tui::ReadCalculatorState(bytes);
  CheckInRange(state);
  Check(!state.entry.IsError() && !state.accumulator.IsError());
  for (const tui::TapeLine& line : state.tape) Check(!line.value.IsError());
  Check(tui::ReadCalculatorState(tui::WriteCalculatorState(state)) == state);

  tui::CalculatorMachine machine(state);
  const std::size_t keys = std::min<std::size_t>(size, 256);
  for (std::size_t i = 0; i < keys; ++i) {
    machine.HandleKey(KeyOf(data[i]));
    CheckInRange(state);
    Check(tui::CalculatorValueText(state.entry, state.hasPoint, state.decimals, values).size() ==
          static_cast<std::size_t>(tui::kCalculatorValueWidth));
  }
  for (const tui::TapeLine& line : state.tape) {
    Check(tui::CalculatorValueText(line.value, line.hasPoint, line.decimals, values).size() ==
          static_cast<std::size_t>(tui::kCalculatorValueWidth));
  }
  const std::string result = machine.Result();
  for (char c : result) Check((c >= '0' && c <= '9') || c == '.');
  CheckInRange(tui::ReadCalculatorState(tui::WriteCalculatorState(state)));
  return 0;
}
