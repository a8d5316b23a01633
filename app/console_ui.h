// The console as the record layer and the lock registry see it: message boxes, the beep and
// keys.
#pragma once

#include "platform/system.h"
#include "storage/user_interface.h"
#include "tui/console/console.h"
#include "tui/windows/windows.h"

namespace app {

class ConsoleUi : public storage::UserInterface {
 public:
  ConsoleUi(tui::Console& console, tui::Windows& windows, platform::System& system)
      : console_(console), windows_(windows), system_(system) {}

  // The layers below pause between the tries of a wait without reading keys, so the message
  // is sent to the terminal at once rather than at the next key read.
  void MessageBox(int row, std::string_view text) override {
    windows_.MessageBox(row, text);
    console_.Flush();
  }
  void WinClose() override { windows_.WinClose(); }
  void Beep() override { system_.Beep(); }
  void FlushKeys() override { console_.FlushKeys(); }
  std::int16_t GetKey() override { return static_cast<std::int16_t>(console_.GetKey()); }
  // A pending key for the waiting loops (record and registry locks), read straight from the
  // keyboard: no pop-up opens on its hot key in the middle of a wait. The screen is sent first,
  // so the wait's message is on it.
  std::int16_t ReadKey() override {
    console_.Flush();
    return static_cast<std::int16_t>(console_.PollKeyDirect());
  }

 private:
  tui::Console& console_;
  tui::Windows& windows_;
  platform::System& system_;
};

}  // namespace app
