// The console as the record layer and the lock registry see it: message boxes, the beep and
// keys.
#pragma once

#include "platform/system.h"
#include "storage/user_interface.h"
#include "tui/console.h"
#include "tui/windows.h"

namespace app {

class ConsoleUi : public storage::UserInterface {
 public:
  ConsoleUi(tui::Console& console, tui::Windows& windows, platform::System& system)
      : console_(console), windows_(windows), system_(system) {}

  void MessageBox(int row, std::string_view text) override { windows_.MessageBox(row, text); }
  void WinClose() override { windows_.WinClose(); }
  void Beep() override { system_.Beep(); }
  void FlushKeys() override { console_.FlushKeys(); }
  std::int16_t GetKey() override { return static_cast<std::int16_t>(console_.GetKey()); }
  std::int16_t ReadKey() override {
    tui::KeyEvent event;
    console_.ReadKey(event);
    return static_cast<std::int16_t>(event.key);
  }

 private:
  tui::Console& console_;
  tui::Windows& windows_;
  platform::System& system_;
};

}  // namespace app
