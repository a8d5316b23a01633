#include "app/program.h"

#include "app/console_ui.h"
#include "app/data_files.h"
#include "app/record_manager.h"
#include "app/record_card.h"
#include "platform/paths.h"
#include "session/catalogue.h"
#include "session/form.h"
#include "session/ini.h"
#include "session/start.h"
#include "storage/lock_registry.h"
#include "storage/record_layer.h"
#include "tui/console/console.h"
#include "tui/console/keys.h"
#include "tui/widgets/module.h"
#include "tui/widgets/panel_input.h"
#include "tui/popups/popups.h"
#include "tui/windows/windows.h"
#include "values/numbers.h"
#include "values/values.h"

namespace app {
namespace {

constexpr tui::KeyCode kEscape = 0x1B;
constexpr tui::KeyCode kPgUp = 0x4900;
constexpr tui::KeyCode kPgDn = 0x5100;

}  // namespace

struct Program::Parts {
  Parts(tui::Backend backend, const session::Environment& env, platform::System& sys)
      : environment(env),
        system(sys),
        settings(env),
        values(settings, sys),
        console(std::move(backend)),
        windows(console, session, sys, env),
        popups(console, windows, values, session, sys),
        ui(console, windows, sys),
        records(manager, session, sys, ui, [this](int status) { fatalStatus = status; }),
        locks(session, sys, ui),
        catalogue(session, std::string(kModuleName)),
        card(RecordCard::Services{console, windows, form, records, locks, catalogue, values, session, sys}, files),
        widgets(console, windows, form, records, session, sys, card) {}

  const session::Environment& environment;
  platform::System& system;
  session::Session session;
  session::OrbaIniSettings settings;
  values::Values values;
  tui::Console console;
  tui::Windows windows;
  tui::Popups popups;
  ConsoleUi ui;
  ProgramRecordManager manager;  // started once the session is known
  storage::RecordLayer records;
  storage::LockRegistry locks;
  session::Catalogue catalogue;
  session::Form form;
  DataFiles files;
  RecordCard card;
  tui::Widgets widgets;
  int fatalStatus = 0;
  std::string failure;
};

Program::Program(tui::Backend backend, const session::Environment& environment, platform::System& system)
    : parts_(std::make_unique<Parts>(std::move(backend), environment, system)) {}

Program::~Program() = default;

const std::string& Program::FailureMessage() const { return parts_->failure; }

int Program::Run() {
  Parts& p = *parts_;
  p.console.HideCursor();
  session::StartSession(p.environment, p.session);
  p.console.SetColourTable(p.session.ColourTable);
  p.console.SetLanguage(p.session.Language);
  // Alt+C and Alt+X open the calendar and the calculator from any key read.
  p.console.SetHotKeyHooks(p.popups.Hooks());
  if (!p.session.RootDir.empty() && !platform::ChangeDirectory(p.session.RootDir)) {
    p.failure = "modcarta: cannot change to the installation directory " + platform::HostPath(p.session.RootDir);
    return 1;
  }
  // The record files live where the installation's settings say; a server whose module cannot
  // be loaded shows as the first data file that cannot be opened, with this reason.
  std::string engineReason;
  p.manager.Start(p.session, engineReason);
  // One run per workstation at a time; entries that an earlier run of this workstation left in
  // the lock registry (killed outright, a power cut) are its own and are freed now.
  if (!p.locks.ClaimStation()) {
    p.failure = "modcarta: another program is running on the workstation directory " + p.session.TempDir;
    return 1;
  }
  session::FormStatus form = session::LoadForm(p.session.RootDir, kModuleName, p.catalogue, p.form);
  if (!form) {
    p.failure = "modcarta: " + form.message;
    return 1;
  }
  if (!p.form.HasPanel(3) || p.form.Panel(1).FieldCount < 1 || p.form.Panel(2).FieldCount < 1) {
    p.failure = "modcarta: the form " + platform::HostPath(session::FormPath(p.session.RootDir, kModuleName)) +
                " must define panels 1 and 2 with a code field each, and panel 3";
    return 1;
  }
  // The record files are opened once the first screen is out and before the first key is
  // read: the operator sees panel 1 without waiting for them, and no key acts before they are
  // open. A file that cannot be opened leaves panel 1 at once (its message has been shown).
  bool opened = false;
  p.console.SetBeforeFirstKey([&](tui::Console&) -> tui::KeyCode {
    std::string failed = p.files.Open(p.records, p.session.RootDir);
    if (!failed.empty()) {
      p.failure = "modcarta: the data file " + platform::HostPath(failed) + " could not be opened";
      const std::string problem = engineReason.empty() ? p.manager.Problem() : engineReason;
      if (!problem.empty()) p.failure += " (" + problem + ")";
      return kEscape;
    }
    opened = true;
    return 0;
  });
  // While panel 3 waits for a slow operator, its lock-registry entry is renewed so that it is
  // never taken for stale by another workstation.
  p.console.SetIdleHook([&card = p.card](tui::Console&) { card.KeepLockAlive(); });
  MainLoop();
  p.console.SetIdleHook({});
  p.console.SetBeforeFirstKey({});
  p.records.RecResetAll();
  if (!opened) return p.fatalStatus != 0 ? p.fatalStatus : 1;
  return 0;
}

void Program::MainLoop() {
  Parts& p = *parts_;
  tui::Console& con = p.console;
  con.ScreenColour("n");
  for (int row = 1; row <= con.ScreenRows(); ++row) {
    con.Locate(row, 1);
    con.PrintSpaces(con.ScreenCols());
  }
  enum class Step { kProperty, kDispatch, kDetail };
  Step step = Step::kProperty;
  tui::KeyCode key = 0;
  for (;;) {
    switch (step) {
      case Step::kProperty:
        key = tui::PanelInput(p.widgets, 1, false, false);
        if (key == kEscape) return;
        step = Step::kDispatch;
        break;

      case Step::kDispatch: {
        int direction = key == kPgUp ? -1 : key == kPgDn ? 1 : 0;
        if (direction != 0) {
          // A failed move (another workstation took the department away) leaves the area on
          // the department left: panel 2 shows it again.
          const bool moved = p.records.RecSkip(kDepartaV, direction) == 0;
          std::string digits = values::BaseHundredDigits(p.files.DepartmentKey());
          p.form.Field(1, 1).Store(values::NumberText(values::NumberValue(digits.substr(1, 3))));
          p.form.Field(2, 1).Store(values::NumberText(values::NumberValue(digits.substr(5, 3))));
          p.card.ShowPanel(1);
          p.card.ShowPanel(2);
          // The FinquesV area still holds the property paged from: read the one paged to. A
          // property without its record is refused as panel 1 refuses it, and the operator
          // goes back to panel 1; nothing is looked up or created under the old property.
          if (moved && !p.card.FindPagedProperty()) {
            step = Step::kProperty;
            break;
          }
          // The department reached by paging is entered in the lock registry like one typed on
          // panel 2; when another workstation has it and the operator gives up, stay on panel 2.
          if (!moved || !p.card.LockDepartment()) {
            direction = 0;
          } else {
            step = Step::kDetail;
            break;
          }
        }
        key = tui::PanelInput(p.widgets, 2, false, false);
        step = key == kEscape ? Step::kProperty : Step::kDetail;
        break;
      }

      case Step::kDetail:
        if (!p.card.LoadTranLau()) {
          p.card.ReleaseDepartment();
          key = 0;
          step = Step::kDispatch;
          break;
        }
        do {
          key = tui::PanelInput(p.widgets, 3, p.card.HasPrev(), p.card.HasNext());
        } while (!p.card.SaveTranLau(key));
        step = Step::kDispatch;
        break;
    }
  }
}

}  // namespace app
