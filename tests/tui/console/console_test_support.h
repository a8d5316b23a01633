// A headless console for tests: a fresh Console with its script and flushed screen.
#pragma once

#include <memory>

#include "tui/console/console.h"
#include "tui/console/headless_backend.h"

namespace tui::testing {

struct HeadlessConsole {
  explicit HeadlessConsole(ScreenSize size = {25, 80}) {
    HeadlessBackend made = MakeHeadlessBackend(size);
    control = made.control;
    console = std::make_unique<Console>(std::move(made.backend));
  }
  Console& operator*() { return *console; }
  Console* operator->() { return console.get(); }

  std::unique_ptr<Console> console;
  HeadlessControl* control = nullptr;
};

}  // namespace tui::testing
