#include "app/record_card.h"

#include <cmath>
#include <limits>

#include "tui/console/keys.h"
#include "values/numbers.h"
#include "values/pictures.h"

namespace app {
namespace {

constexpr std::string_view kNumberPicture = "Z,ZZZ,ZZZ,ZZ9";
constexpr std::string_view kDecimalPicture = "Z,ZZ9.999";
constexpr std::int16_t kEscape = 0x1B;
// The registry entry is renewed well before it could be taken for stale (30 minutes).
constexpr std::int64_t kLockRenewMs = 5 * 60 * 1000;

// Field types of the form.
constexpr int kTypeCode = 1;
constexpr int kTypeDate = 3;
constexpr int kTypeNumber = 4;
constexpr int kTypeCents = 5;
constexpr int kTypeDecimal = 6;

bool IsBlank(std::string_view text) { return text.find_first_not_of(' ') == std::string_view::npos; }

// The last n characters of a text (all of it when shorter).
std::string_view LastChars(std::string_view text, std::size_t n) {
  return n >= text.size() ? text : text.substr(text.size() - n);
}

// The value rounded to the nearest integer (halves to even), when it is finite and lies
// within [lo, hi].
bool RoundsWithin(double value, double lo, double hi) {
  if (!std::isfinite(value)) return false;
  double r = std::nearbyint(value);
  return r >= lo && r <= hi;
}

// The value rounded to the nearest integer (halves to even) and clamped to the type.
template <typename Int>
Int RoundClamped(double value) {
  constexpr double lo = static_cast<double>(std::numeric_limits<Int>::min());
  constexpr double hi = static_cast<double>(std::numeric_limits<Int>::max());
  if (!std::isfinite(value)) return 0;
  double r = std::nearbyint(value);
  if (r < lo) return std::numeric_limits<Int>::min();
  if (r > hi) return std::numeric_limits<Int>::max();
  return static_cast<Int>(r);
}

}  // namespace

std::string ThousandthsText(std::int32_t value) {
  std::int64_t v = value;
  std::string sign;
  if (v < 0) {
    sign = "-";
    v = -v;
  }
  std::string text = values::NumberText(static_cast<double>(v / 1000));
  std::int64_t fraction = v % 1000;
  if (fraction != 0) {
    std::string digits = values::ZeroPaddedDigits(static_cast<double>(fraction), 3);
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    text += "." + digits;
  }
  return text.empty() ? text : sign + text;
}

std::optional<std::string> ChoiceText(std::string_view choices, std::string_view value) {
  std::size_t bar = choices.find('|');
  while (bar != std::string_view::npos) {
    std::size_t next = choices.find('|', bar + 1);
    std::string_view entry = choices.substr(bar + 1, next == std::string_view::npos ? std::string_view::npos : next - bar - 1);
    std::size_t comma = entry.find(',');
    if (comma != std::string_view::npos && entry.substr(0, comma) == value) {
      return std::string(entry.substr(comma + 1));
    }
    bar = next;
  }
  return std::nullopt;
}

RecordCard::RecordCard(Services services, DataFiles& files) : s_(services), files_(files) {}

// ---- Drawing ------------------------------------------------------------------------------

void RecordCard::ShowPanel(std::int16_t panel) {
  if (!s_.form.HasPanel(panel)) return;
  tui::Console& con = s_.console;
  con.ScreenColour("rh");
  if (panel == 1) {
    const std::string& title = s_.session.MenuTitle;
    int column = 41 - static_cast<int>(std::nearbyint(static_cast<double>(title.size()) / 2.0));
    con.Locate(1, column < 1 ? 1 : column);
    con.Print(title);
  } else if (panel == 3) {
    con.WinLocate(0, 1);
    con.Print(" " + std::string(Bytes(files_.departa, kDepartaName, 30)) + " ");
  }
  con.ScreenColour("n");
  const session::FormPanel& p = s_.form.Panel(panel);
  for (int k = 1; k <= p.FieldCount; ++k) {
    const session::FormField& f = s_.form.Field(panel, k);
    con.WinLocate(f.Attribute[session::kFieldRow], f.Attribute[session::kFieldColumn]);
    con.Print(f.Label);
  }
  con.ScreenColour("h");
  for (int k = 1; k <= p.FieldCount; ++k) ShowFieldValue(panel, static_cast<std::int16_t>(k));
}

void RecordCard::ShowFieldValue(std::int16_t panel, std::int16_t field) {
  if (!s_.form.HasField(panel, field)) return;
  tui::Console& con = s_.console;
  const session::FormField& f = s_.form.Field(panel, field);
  const int row = f.Attribute[session::kFieldRow];
  const int column = f.Attribute[session::kFieldColumn] + static_cast<int>(f.Label.size());
  con.WinLocate(row, column);
  if (f.Attribute[session::kFieldFlags] & 2) return;
  const int width = f.Attribute[session::kFieldWidth];
  const int extra = f.Attribute[session::kFieldExtra];
  const std::size_t shown = static_cast<std::size_t>(width + extra > 0 ? width + extra : 0);
  switch (f.Attribute[session::kFieldType]) {
    case kTypeDate:
      con.Print(s_.values.DateText(s_.values.ParseDate(f.Value), values::kDateNumeric, "dma", s_.session.Language));
      return;
    case kTypeNumber:
      con.Print(s_.values.FormatPicture(LastChars(kNumberPicture, shown), values::NumberValue(f.Value)));
      return;
    case kTypeCents:
      con.Print(s_.values.FormatAmount(LastChars(kNumberPicture, shown), values::NumberValue(f.Value)));
      return;
    case kTypeDecimal:
      con.Print(s_.values.FormatPicture(kDecimalPicture, values::NumberValue(f.Value)));
      return;
    default:
      break;
  }
  if (!f.Choices.empty()) {
    std::optional<std::string> text = ChoiceText(f.Choices, f.Value);
    if (!text) return;  // nothing matches: what was there stays visible
    text->resize(shown, ' ');
    con.Print(*text);
    return;
  }
  const int slice = f.Attribute[session::kFieldLineLength];
  if (slice > 0) {
    int k = 0;
    for (std::size_t start = 0; start < f.Value.size(); start += static_cast<std::size_t>(slice), ++k) {
      con.WinLocate(row + k, column);
      con.Print(std::string_view(f.Value).substr(start, static_cast<std::size_t>(slice)));
    }
    return;
  }
  con.Print(f.Value);
}

// ---- Typed values -------------------------------------------------------------------------

bool RecordCard::FitsRecord(int field, std::string_view text) const {
  const RecordField* rf = TranLauFieldOf(field);
  if (rf == nullptr) return true;
  double value = values::NumberValue(text);
  switch (rf->encoding) {
    case Encoding::kInt16: return RoundsWithin(value, -32768.0, 32767.0);
    case Encoding::kInt32: return RoundsWithin(value, -2147483648.0, 2147483647.0);
    case Encoding::kThousandths: return RoundsWithin(value * 1000.0, -2147483648.0, 2147483647.0);
    default: return true;
  }
}

std::int16_t RecordCard::AcceptFieldValue(std::int16_t panel, const std::string& text, std::int16_t field,
                                          std::int16_t /*key*/) {
  if (!s_.form.HasField(panel, field)) return -1;
  session::FormField& f = Field(panel, field);
  if (text != f.Value) recordChanged_ = true;
  // A text as it was loaded is taken back without its check, so a stored value that the
  // checks would refuse (a negative number, say) never traps the operator in its field.
  const bool asLoaded = panel == 3 && field >= 5 && field <= 24 && text == loaded_[static_cast<std::size_t>(field)];
  bool refused = false;
  if (!asLoaded) {
    switch (f.Attribute[session::kFieldType]) {
      case kTypeCode: refused = values::CheckNumberRange(text, 1, 9999, 0); break;
      case kTypeDate: refused = !IsBlank(text) && s_.values.CheckDate(text); break;
      case kTypeNumber:
      case kTypeCents: refused = values::CheckNumberText(text, ""); break;
      case kTypeDecimal: refused = values::CheckNumberRange(text, 0, 10000, 3); break;
      default: break;
    }
    // A number that its record field cannot hold is refused here, never wrapped on saving.
    if (!refused && panel == 3) refused = !FitsRecord(field, text);
  }
  if (refused) return -1;
  f.Store(text);
  ShowFieldValue(panel, field);
  return 0;
}

// ---- Look-ups ------------------------------------------------------------------------------

void RecordCard::Refuse(std::string_view message, std::string_view detail) {
  std::string text = s_.translator.Translate(message);
  if (!detail.empty()) text += std::string(" (") + std::string(detail) + ")";
  s_.windows.MessageBox(12, text);
  s_.system.Beep();
  s_.console.FlushKeys();
  s_.console.GetKey();
  s_.windows.WinClose();
}

std::string RecordCard::PackedCode(int panel) const {
  return values::BaseHundredPack("0" + s_.form.Field(panel, 1).Value);
}

bool RecordCard::LockDepartment() {
  s_.locks.SetWaitMode('P');
  std::string key(files_.DepartmentKey());
  bool ok = s_.locks.LockKey(kLockName, key) == 0;
  s_.locks.SetWaitMode(' ');
  if (ok) {
    lockedKey_ = key;
    lastRenewMs_ = s_.system.MonotonicMs();
  }
  return ok;
}

std::int16_t RecordCard::CheckPanel(std::int16_t panel, std::int16_t key) {
  if (key == kEscape) return 0;
  std::int16_t result = 0;
  s_.locks.SetWaitMode('P');
  if (panel == 1) {
    std::string code = PackedCode(1);
    WriteBytes(files_.finques, kFinquesKey, code);
    if (s_.records.RecFind(kFinquesV, 0, code, 0) != 0) {
      Refuse(kMsgNoProperty);
      result = -1;
    }
  } else if (panel == 2) {
    std::string dkey = std::string(files_.PropertyKey()) + PackedCode(2);
    WriteBytes(files_.departa, kDepartaKey, dkey);
    if (s_.records.RecFind(kDepartaV, 0, dkey, 0) != 0) {
      Refuse(kMsgNoDepartment);
      result = -1;
    } else if (!LockDepartment()) {
      // Another workstation has this record card and the operator gave up waiting: stay on
      // panel 2 rather than edit the same record twice.
      result = -1;
    }
  }
  s_.locks.SetWaitMode(' ');
  return result;
}

bool RecordCard::FindPagedProperty() {
  const std::string code(files_.DepartmentKey().substr(0, kPropertyKeyLength));
  WriteBytes(files_.finques, kFinquesKey, code);
  const bool found = s_.records.RecFind(kFinquesV, 0, code, 0) == 0;
  // Whatever the read left there, the area names the property shown on panel 1.
  WriteBytes(files_.finques, kFinquesKey, code);
  if (!found) Refuse(kMsgNoProperty);
  return found;
}

// ---- Lists ---------------------------------------------------------------------------------

std::string RecordCard::ListLineText(std::int16_t list) {
  if (list == 1) {
    std::string digits = values::BaseHundredDigits(files_.PropertyKey());
    return std::string(LastChars(digits, 3)) + "  " + std::string(Bytes(files_.finques, kFinquesName, 30));
  }
  if (list == 2) {
    std::string digits = values::BaseHundredDigits(files_.DepartmentKey());
    return std::string(LastChars(digits, 3)) + "  " + std::string(Bytes(files_.departa, kDepartaName, 30)) + "  " +
           std::string(Bytes(files_.departa, kDepartaListExtra, 10));
  }
  return "";
}

void RecordCard::ListPick(std::int16_t& list, std::int16_t panel, std::int16_t& field) {
  // A pick in a list opened from another list names no field: nothing to take over.
  if (panel == 0 || (list != 1 && list != 2)) return;
  std::string digits =
      values::BaseHundredDigits(list == 1 ? files_.PropertyKey() : files_.DepartmentKey());
  if (s_.form.HasField(panel, field)) {
    std::string text(LastChars(digits, 3));
    text.resize(s_.form.Field(panel, field).Value.size(), ' ');
    AcceptFieldValue(panel, text, field, 0);
  }
  ++field;
}

std::int16_t RecordCard::ListKeyRange(std::int16_t list, std::string& lower, std::string& upper) {
  if (list == 2) {
    // The same packing as the look-up of panel 1, so the list shows the property it finds.
    lower = PackedCode(1);
    upper = lower;
  } else {
    lower.clear();
    upper.clear();
  }
  return 0;
}

// ---- Panel 3 and its record ----------------------------------------------------------------

std::string RecordCard::TextFromRecord(const RecordField& rf) const {
  std::span<const char> area = files_.tranlau;
  switch (rf.encoding) {
    case Encoding::kPackedDate: return s_.values.PackedDateText(Bytes(area, rf.offset, 4));
    case Encoding::kCharacter: return std::string(Bytes(area, rf.offset, 1));
    case Encoding::kInt16: return values::NumberText(ReadInt16(area, rf.offset));
    case Encoding::kInt32: return values::NumberText(ReadInt32(area, rf.offset));
    case Encoding::kThousandths: return ThousandthsText(ReadInt32(area, rf.offset));
  }
  return "";
}

void RecordCard::StoreIntoRecord(const RecordField& rf, std::string_view text) {
  std::span<char> area = files_.tranlau;
  switch (rf.encoding) {
    case Encoding::kPackedDate: {
      values::PackedDate d = s_.values.ParseDate(text);
      WriteBytes(area, rf.offset, std::string_view(reinterpret_cast<const char*>(d.data()), d.size()));
      return;
    }
    case Encoding::kCharacter:
      WriteBytes(area, rf.offset, text.empty() ? std::string_view(" ") : text.substr(0, 1));
      return;
    case Encoding::kInt16:
      WriteInt16(area, rf.offset, RoundClamped<std::int16_t>(values::NumberValue(text)));
      return;
    case Encoding::kInt32:
      WriteInt32(area, rf.offset, RoundClamped<std::int32_t>(values::NumberValue(text)));
      return;
    case Encoding::kThousandths:
      WriteInt32(area, rf.offset, RoundClamped<std::int32_t>(1000.0 * values::NumberValue(text)));
      return;
  }
}

bool RecordCard::LoadTranLau() {
  recordChanged_ = false;
  newRecord_ = false;
  const session::FormPanel& p = s_.form.Panel(3);
  for (int k = 1; k <= p.FieldCount; ++k) Field(3, k).Store("");
  std::span<const char> dep = files_.departa;
  if (p.FieldCount >= 4) {
    Field(3, 1).Store(s_.values.PackedDateText(Bytes(dep, kDepartaDate, 4)));
    Field(3, 2).Store(values::NumberText(ReadInt16(dep, kDepartaInt193)));
    Field(3, 3).Store(values::NumberText(ReadInt16(dep, kDepartaInt225)));
    Field(3, 4).Store(Bytes(dep, kDepartaChar210, 1));
  }
  for (int k : {7, 12, 13, 14, 16, 17}) {
    if (s_.form.HasField(3, k)) Field(3, k).Store("N");
  }
  if (s_.form.HasField(3, 8)) Field(3, 8).Store("S");

  const std::string key(files_.DepartmentKey());
  WriteBytes(files_.tranlau, 0, key);
  storage::Status st = s_.records.RecFind(kTranLauV, 0, key, 0);
  if (st == storage::kStatusKeyNotFound) {
    // A new record card, stored at once with what the screen shows: blanks and defaults.
    files_.tranlau.fill('\0');
    WriteBytes(files_.tranlau, 0, key);
    for (const RecordField& rf : kTranLauFields) {
      if (s_.form.HasField(3, rf.field)) StoreIntoRecord(rf, Field(3, rf.field).Value);
    }
    st = s_.records.RecInsert(kTranLauV);
    if (st != 0) {
      Refuse(kMsgCreateFailed, values::NumberText(st));
      return false;
    }
    st = s_.records.RecFind(kTranLauV, 0, key, 0);
    newRecord_ = true;
    if (st != 0) {
      // Created but not read back: take it away again rather than leave it behind unseen.
      if (s_.records.RecDelete(kTranLauV) != 0) Refuse(kMsgDeleteFailed);
      Refuse(kMsgReadFailed, values::NumberText(st));
      newRecord_ = false;
      return false;
    }
  } else if (st != 0) {
    // The record may well exist (locked, unreadable): never create or delete it then.
    Refuse(kMsgReadFailed, values::NumberText(st));
    return false;
  } else {
    for (const RecordField& rf : kTranLauFields) {
      if (s_.form.HasField(3, rf.field)) Field(3, rf.field).Store(TextFromRecord(rf));
    }
  }
  for (int k = 5; k <= 24; ++k) {
    loaded_[static_cast<std::size_t>(k)] = s_.form.HasField(3, k) ? Field(3, k).Value : std::string();
  }
  loadedRecord_ = files_.tranlau;
  hasPrev_ = s_.records.RecProbe(kDepartaV, -1, "");
  hasNext_ = s_.records.RecProbe(kDepartaV, 1, "");
  panel3Open_ = true;
  return true;
}

bool RecordCard::SaveTranLau(std::int16_t key) {
  if (newRecord_ && (key == kEscape || !recordChanged_)) {
    if (s_.records.RecDelete(kTranLauV) != 0) Refuse(kMsgDeleteFailed);
  } else if (key != kEscape && recordChanged_) {
    // Only the fields whose text changed are written; the others keep their bytes, so a value
    // that lost something on its way to the screen is never damaged.
    std::array<char, 60> before = files_.tranlau;
    for (const RecordField& rf : kTranLauFields) {
      if (!s_.form.HasField(3, rf.field)) continue;
      const std::string& value = Field(3, rf.field).Value;
      if (value != loaded_[static_cast<std::size_t>(rf.field)]) StoreIntoRecord(rf, value);
    }
    storage::Status st = s_.records.RecUpdate(kTranLauV);
    if (st != 0 && st != storage::kStatusBufferTooShort) {
      Refuse(kMsgSaveFailed, values::NumberText(st));
      RebaseAfterRefusedSave(before);
      return false;
    }
  }
  ReleaseDepartment();
  return true;
}

void RecordCard::RebaseAfterRefusedSave(const std::array<char, 60>& before) {
  // Another client may have written the card (80), holds it (84), or the write failed. The
  // next save must start from the card as it now stands on disk, never from the area as this
  // load read it: that would put back whatever the other client wrote.
  const std::string key(files_.DepartmentKey());
  WriteBytes(files_.tranlau, 0, key);
  if (s_.records.RecFind(kTranLauV, 0, key, 0) != 0) {
    // Unreadable now (deleted elsewhere, a failing file): keep the area as loaded. Without a
    // fresh read of the card the record manager refuses the next update as well.
    files_.tranlau = before;
    return;
  }
  // A card that no longer holds what this load stored was written by someone else: it is no
  // longer this load's untouched card, and Escape must leave it.
  if (newRecord_ && files_.tranlau != loadedRecord_) newRecord_ = false;
  loadedRecord_ = files_.tranlau;
  // Fields the operator left alone show the stored text; typed ones keep what was typed and
  // are applied over the stored card on the next save.
  for (const RecordField& rf : kTranLauFields) {
    if (!s_.form.HasField(3, rf.field)) continue;
    std::string& loaded = loaded_[static_cast<std::size_t>(rf.field)];
    const std::string stored = TextFromRecord(rf);
    if (Field(3, rf.field).Value == loaded) Field(3, rf.field).Store(stored);
    loaded = stored;
  }
}

void RecordCard::ReleaseDepartment() {
  s_.locks.LockRelease(kLockName);
  lockedKey_.clear();
  panel3Open_ = false;
}

void RecordCard::KeepLockAlive() {
  if (!panel3Open_ || lockedKey_.empty()) return;
  std::int64_t now = s_.system.MonotonicMs();
  if (now - lastRenewMs_ < kLockRenewMs) return;
  lastRenewMs_ = now;
  // Taking the same key again in mode "S" rewrites this station's own record with a new stamp.
  char mode = s_.locks.WaitMode();
  s_.locks.SetWaitMode('S');
  s_.locks.LockKey(kLockName, lockedKey_);
  s_.locks.SetWaitMode(mode);
}

}  // namespace app
