// The record card: the module's own operations that panel input and the selection lists call
// back, the two look-ups with their messages, and the loading and saving of the TranLauV
// record shown on panel 3.
//
// Panels of the form: 1 the property code, 2 the department code, 3 the department's TranLauV
// record with 24 fields (1 to 4 shown from DepartaV, 5 to 24 kept in TranLauV). Lists: 1 the
// properties, 2 the departments of the current property.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "app/data_files.h"
#include "platform/system.h"
#include "session/catalogue.h"
#include "session/form.h"
#include "session/session.h"
#include "storage/lock_registry.h"
#include "storage/record_layer.h"
#include "tui/console/console.h"
#include "tui/widgets/module.h"
#include "tui/windows/windows.h"
#include "values/values.h"

namespace app {

inline constexpr std::string_view kModuleName = "MODCARTA";
inline constexpr std::string_view kLockName = "TranLauV";

// Messages of the module, in Catalan; shown through the module's catalogue.
inline constexpr std::string_view kMsgNoProperty = "FINCA INEXISTENT";
inline constexpr std::string_view kMsgNoDepartment = "DEPARTAMENT INEXISTENT";
inline constexpr std::string_view kMsgReadFailed = "NO S'HA POGUT LLEGIR LA FITXA";
inline constexpr std::string_view kMsgCreateFailed = "NO S'HA POGUT CREAR LA FITXA";
inline constexpr std::string_view kMsgSaveFailed = "NO S'HAN POGUT DESAR ELS CANVIS";
inline constexpr std::string_view kMsgDeleteFailed = "NO S'HA POGUT ESBORRAR LA FITXA NOVA";

// Decimal text of a thousandths field: 12500 gives "12.5", 500 ".5", 3000 "3", 10000 "10",
// 0 "", -1500 "-1.5".
std::string ThousandthsText(std::int32_t value);

// Fields of a choice list ("|S,Sí|N,No"): the text shown for a stored value, nullopt when no
// entry's value equals it.
std::optional<std::string> ChoiceText(std::string_view choices, std::string_view value);

class RecordCard : public tui::Module {
 public:
  struct Services {
    tui::Console& console;
    tui::Windows& windows;
    session::Form& form;
    storage::RecordLayer& records;
    storage::LockRegistry& locks;
    session::Translator& translator;
    values::Values& values;
    const session::Session& session;
    platform::System& system;
  };

  RecordCard(Services services, DataFiles& files);

  // ---- Module operations ----
  void ShowPanel(std::int16_t panel) override;
  void ShowFieldValue(std::int16_t panel, std::int16_t field) override;
  std::int16_t AcceptFieldValue(std::int16_t panel, const std::string& text, std::int16_t field,
                                std::int16_t key) override;
  std::int16_t CheckPanel(std::int16_t panel, std::int16_t key) override;
  std::string ListLineText(std::int16_t list) override;
  void ListPick(std::int16_t& list, std::int16_t panel, std::int16_t& field) override;
  std::int16_t ListKeyRange(std::int16_t list, std::string& lower, std::string& upper) override;

  // ---- The record of panel 3 ----

  // Fills panel 3 from the department in the DepartaV area and its TranLauV record. A missing
  // record is created at once with the values shown (blanks and defaults). Returns false, after
  // telling the operator, when the record can be neither read nor created: panel 3 must not be
  // shown then, and nothing was created.
  bool LoadTranLau();
  // Ends the use of panel 3 with the key that left it: deletes a record this load created when
  // the operator leaves with Escape or without a change, otherwise writes back the fields that
  // changed. Returns false, after telling the operator, when the changes could not be written:
  // the typed values are still in the fields and the registry entry is still held, so the
  // caller shows panel 3 again. On true the registry entry has been released.
  bool SaveTranLau(std::int16_t key);

  // After paging: reads the property of the department in the DepartaV area into the FinquesV
  // area. False, after telling the operator, when the property has no record; the area then
  // holds the new property's code all the same.
  bool FindPagedProperty();

  // Takes the registry entry of the department in the DepartaV area (waiting, Escape gives up),
  // and gives it back.
  bool LockDepartment();
  void ReleaseDepartment();

  bool RecordChanged() const { return recordChanged_; }
  bool NewRecord() const { return newRecord_; }
  bool HasPrev() const { return hasPrev_; }
  bool HasNext() const { return hasNext_; }

  // Renews the registry entry of the record on panel 3, so that a slow operator's entry is
  // never taken for stale. Called while waiting for keys; does something only every few
  // minutes and only while panel 3 is open.
  void KeepLockAlive();

 private:
  session::FormField& Field(int panel, int field) { return s_.form.Field(panel, field); }
  // Shows a refusal: the translated message in a box at row 12, a beep, one key.
  void Refuse(std::string_view message, std::string_view detail = {});
  // Writes the text of a panel 3 field into the TranLauV area.
  void StoreIntoRecord(const RecordField& rf, std::string_view text);
  std::string TextFromRecord(const RecordField& rf) const;
  // True when the typed number fits the record field that keeps it.
  bool FitsRecord(int field, std::string_view text) const;
  std::string PackedCode(int panel) const;
  // After a save that the file refused: the card as stored becomes the base of the next save.
  void RebaseAfterRefusedSave(const std::array<char, 60>& before);

  Services s_;
  DataFiles& files_;
  bool recordChanged_ = false;
  bool newRecord_ = false;
  bool hasPrev_ = false;
  bool hasNext_ = false;
  bool panel3Open_ = false;
  std::int64_t lastRenewMs_ = 0;
  std::string lockedKey_;
  // The texts of fields 5 to 24 as loaded: only fields whose text differs are written back.
  std::array<std::string, 25> loaded_{};
  // The record area as loaded (or as last read back after a refused save).
  std::array<char, 60> loadedRecord_{};
};

}  // namespace app
