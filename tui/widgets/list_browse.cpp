#include "tui/widgets/list_browse.h"

#include <algorithm>
#include <array>
#include <limits>

#include "platform/paths.h"
#include "tui/widgets/panel_input.h"

namespace tui {

namespace {

void PutInt(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint32_t GetInt(const char* in, int bytes) {
  std::uint32_t value = 0;
  for (int i = 0; i < bytes; ++i) value |= static_cast<std::uint32_t>(static_cast<unsigned char>(in[i])) << (8 * i);
  return value;
}

}  // namespace

bool BrowseFile::Open(std::string_view systemPath, bool empty) {
  Close();
  std::string host = platform::HostPath(systemPath);
  if (file_.Open(host, platform::File::Mode::kReadWrite, false) != platform::OpenResult::kOk) return false;
  if (empty && !file_.Truncate(0)) {
    file_.Close();
    return false;
  }
  std::int64_t size = file_.Size();
  if (size < 0) {
    file_.Close();
    return false;
  }
  // Positions are 32-bit; a larger file is read only as far as they reach.
  end_ = static_cast<std::int32_t>(std::min<std::int64_t>(size, std::numeric_limits<std::int32_t>::max() - 1) + 1);
  return true;
}

void BrowseFile::Close() {
  file_.Close();
  end_ = 1;
}

std::int32_t BrowseFile::Append(std::int32_t previous, std::int32_t record, std::string_view text) {
  if (!file_.IsOpen()) return 0;
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
    text = text.substr(0, std::numeric_limits<std::int16_t>::max());
  }
  std::int64_t after = static_cast<std::int64_t>(end_) + kHeaderSize + static_cast<std::int64_t>(text.size());
  if (after > std::numeric_limits<std::int32_t>::max()) return 0;
  std::string bytes;
  bytes.reserve(kHeaderSize + text.size());
  PutInt(bytes, static_cast<std::uint32_t>(previous), 4);
  PutInt(bytes, static_cast<std::uint32_t>(record), 4);
  PutInt(bytes, static_cast<std::uint32_t>(text.size()), 2);
  bytes.append(text);
  if (!file_.WriteAt(end_ - 1, bytes)) return 0;
  std::int32_t position = end_;
  end_ = static_cast<std::int32_t>(after);
  return position;
}

bool BrowseFile::Read(std::int32_t position, BrowseEntry& entry) const {
  if (!file_.IsOpen() || position < 1 || position >= end_) return false;
  std::array<char, kHeaderSize> header{};
  if (file_.ReadAt(position - 1, header) != kHeaderSize) return false;
  auto length = static_cast<std::int16_t>(GetInt(header.data() + 8, 2));
  if (length < 0 || static_cast<std::int64_t>(position) + kHeaderSize + length > end_) return false;
  std::string text(static_cast<std::size_t>(length), '\0');
  if (length > 0 && file_.ReadAt(static_cast<std::int64_t>(position) - 1 + kHeaderSize, text) != length) {
    return false;
  }
  entry.position = position;
  entry.previous = static_cast<std::int32_t>(GetInt(header.data(), 4));
  entry.record = static_cast<std::int32_t>(GetInt(header.data() + 4, 4));
  entry.text = std::move(text);
  return true;
}

// ---- The browser -------------------------------------------------------------------------

namespace {

// Frame and pointer bytes of the top line (code page 850; 10 and 11 are the pointer glyphs).
constexpr char kDoubleTopLeft = '\xC9';
constexpr char kDoubleTopRight = '\xBB';
constexpr char kDoubleHorizontal = '\xCD';
constexpr char kLeftPointer = '\x11';
constexpr char kRightPointer = '\x10';

// Enter, Escape, Up, Down, PgUp, PgDn, Left, Right; F4 is added when a further list exists.
constexpr std::string_view kBrowseKeys = "d,1b,4800,5000,4900,5100,4b00,4d00";
constexpr std::string_view kFurtherListKey = "3e00";
// Sideways scrolling step.
constexpr int kScrollStep = 8;

std::string TrimRight(std::string text) {
  std::size_t last = text.find_last_not_of(' ');
  text.erase(last == std::string::npos ? 0 : last + 1);
  return text;
}

// The message shown when the scratch file cannot be made, in the session's language.
std::string BrowseFileMessage(std::string_view language, std::string_view path) {
  std::string text;
  if (language == "SPA") {
    text = "NO SE PUEDE CREAR EL FICHERO DE LA LISTA ";
  } else if (language == "GLG") {
    text = "NON SE PODE CREAR O FICHEIRO DA LISTA ";
  } else if (language == "OCI") {
    text = "NON SE P\xE3T CREAR ETH FICH\xD4R DERA LISTA ";
  } else {
    text = "NO ES POT CREAR EL FITXER DE LA LLISTA ";
  }
  return text + std::string(path);
}

class BrowseRun {
 public:
  BrowseRun(Widgets& widgets, std::int16_t list)
      : w_(widgets), console_(widgets.console), list_(list), def_(widgets.form.List(list)) {}

  std::int16_t Run();

 private:
  const auto& Attr() const { return def_.Attribute; }
  bool HasSelection() const { return selected_.position != 0; }
  bool IsFirst(const BrowseEntry& e) const { return e.previous == 0; }
  bool IsLast(const BrowseEntry& e) const { return exhausted_ && e.Next() >= file_.End(); }

  bool AboveUpper() const;
  bool FetchOne();
  bool ReadNext(BrowseEntry& entry);
  void PrintLine(int line, std::string_view text);
  void DrawTopLine();
  void DrawPage();
  void BlankLines(int from);
  int WalkBack(BrowseEntry& entry, int count);
  std::int16_t Pick();
  void FailedScratchFile(const std::string& path);

  Widgets& w_;
  Console& console_;
  const std::int16_t list_;
  const session::FormList& def_;

  storage::FileHandle handle_ = 0;
  bool recordFile_ = false;
  int lines_ = 1;
  int width_ = 1;

  BrowseFile file_;
  std::int32_t pos_ = 1;          // where the next entry is read
  BrowseEntry selected_;          // position 0: nothing selected (an empty list)
  std::int32_t pageStart_ = 1;
  std::int32_t afterPage_ = 0;    // 0 when the last entry is on the page
  int highlight_ = 1;
  int column_ = 1;
  int overflow_ = 0;
  bool started_ = false;
  bool exhausted_ = false;
  std::int32_t lastWritten_ = 0;
  std::string lower_;
  std::string upper_;             // in compare form once the reading started
};

std::int16_t BrowseRun::Run() {
  if (Attr()[session::kListPanel] != 0) {
    KeyCode k = PanelInput(w_, Attr()[session::kListPanel], false, false);
    if (k == key::kEscape) return kBrowseNoPick;
  }
  std::int16_t refused = w_.module.ListKeyRange(list_, lower_, upper_);
  if (refused != 0) return refused;

  handle_ = Attr()[session::kListFile];
  recordFile_ = handle_ > 0;
  exhausted_ = !recordFile_;
  lines_ = std::max(1, Attr()[session::kListBottom] - Attr()[session::kListTop] - 1);
  width_ = std::max(1, Attr()[session::kListRight] - Attr()[session::kListLeft] - 1);
  const std::int16_t further = Attr()[session::kListNextList];

  if (recordFile_) w_.records.RecLockMode(handle_, "+d");
  console_.ScreenColour("+n");
  w_.windows.WinOpen(Attr()[session::kListTop], Attr()[session::kListLeft], Attr()[session::kListBottom],
                     Attr()[session::kListRight]);
  console_.DrawFrame(2);
  console_.ScreenColour("h");
  console_.KeySet("+ea", kBrowseKeys);
  if (further != 0) console_.KeySet("a", kFurtherListKey);

  const std::string path = w_.session.TempDir + std::string(kBrowseFileName);
  std::int16_t result = kBrowseNoPick;
  bool toFurther = false;
  if (!file_.Open(path, recordFile_)) {
    FailedScratchFile(path);
    result = kBrowseFileError;
  } else {
    highlight_ = 1;
    column_ = 1;
    overflow_ = 0;
    DrawTopLine();
    pageStart_ = 1;
    selected_.position = 1;
    DrawPage();

    bool done = false;
    while (!done) {
      if (HasSelection()) {
        console_.ScreenColour("u");
        PrintLine(highlight_, selected_.text);
      }
      KeyCode k = console_.GetKey();
      if (HasSelection()) {
        console_.ScreenColour("h");
        PrintLine(highlight_, selected_.text);
      }
      KeyCode mapped = k;
      if (!console_.KeyAccepted(k, &mapped)) continue;  // not one of the list's keys
      switch (mapped) {
        case key::kUp:
          if (HasSelection() && !IsFirst(selected_)) {
            BrowseEntry previous;
            if (!file_.Read(selected_.previous, previous)) break;
            selected_ = previous;
            if (highlight_ > 1) {
              --highlight_;
            } else {
              pageStart_ = selected_.position;
              DrawPage();
            }
          }
          break;
        case key::kDown:
          if (HasSelection() && !IsLast(selected_)) {
            pos_ = selected_.Next();
            BrowseEntry next;
            if (!ReadNext(next)) break;  // the records without text ran out: it was the last
            selected_ = next;
            if (highlight_ < lines_) {
              ++highlight_;
            } else {
              BrowseEntry top;
              if (file_.Read(pageStart_, top)) pageStart_ = top.Next();
              DrawPage();
            }
          }
          break;
        case key::kPgUp: {
          BrowseEntry top;
          if (!HasSelection() || !file_.Read(pageStart_, top) || IsFirst(top)) break;
          int selectedBack = WalkBack(selected_, lines_);
          int pageBack = WalkBack(top, lines_);
          pageStart_ = top.position;
          // The highlight stays on the selected entry's line, also when the page stopped
          // at the first entry before a full page back.
          highlight_ = std::clamp(highlight_ + pageBack - selectedBack, 1, lines_);
          DrawPage();
          break;
        }
        case key::kPgDn: {
          if (!HasSelection() || afterPage_ == 0) break;
          pos_ = afterPage_;
          BrowseEntry probe;
          if (!ReadNext(probe)) {  // nothing follows after all
            afterPage_ = 0;
            break;
          }
          for (int i = 0; i < lines_ && !IsLast(selected_); ++i) {
            pos_ = selected_.Next();
            BrowseEntry next;
            if (!ReadNext(next)) break;
            selected_ = next;
          }
          pageStart_ = afterPage_;
          DrawPage();
          break;
        }
        case key::kLeft:
          if (column_ > 1) {
            column_ -= kScrollStep;
            DrawTopLine();
            DrawPage();
          }
          break;
        case key::kRight:
          if (column_ <= overflow_) {
            column_ += kScrollStep;
            DrawTopLine();
            DrawPage();
          }
          break;
        case key::kEnter:
          result = Pick();
          done = true;
          break;
        case key::kF4:
          toFurther = true;
          done = true;
          break;
        default:  // Escape
          done = true;
          break;
      }
    }
    file_.Close();
    platform::RemoveFile(path);
  }

  if (toFurther) {
    result = ListBrowse(w_, further);
    if (result == kBrowsePicked) {
      std::int16_t pickedList = further;
      std::int16_t field = 0;
      w_.module.ListPick(pickedList, 0, field);
    }
  }
  console_.KeySet("-");
  w_.windows.WinClose();
  console_.ScreenColour("-");
  if (recordFile_) w_.records.RecLockMode(handle_, "-");
  return result;
}

void BrowseRun::FailedScratchFile(const std::string& path) {
  w_.windows.MessageBox(12, BrowseFileMessage(w_.session.Language, platform::HostPath(path)));
  w_.system.Beep();
  console_.FlushKeys();
  console_.GetKey();
  w_.windows.WinClose();
}

bool BrowseRun::AboveUpper() const {
  std::string current = w_.records.CurrentKeyCompareForm(handle_);
  if (current.size() > upper_.size()) current.resize(upper_.size());
  return current > upper_;
}

// Reads records until one gives a line (appended to the scratch file) or the records within
// the limits end; true when a line was appended.
bool BrowseRun::FetchOne() {
  if (exhausted_) return false;
  if (!started_) {
    started_ = true;
    storage::Status status = w_.records.RecFind(handle_, Attr()[session::kListKey], lower_, 1);
    upper_ = w_.records.KeyCompareForm(upper_, handle_);
    if (status != 0 || AboveUpper()) {
      exhausted_ = true;
      return false;
    }
  }
  while (true) {
    std::string text = TrimRight(w_.module.ListLineText(list_));
    bool appended = false;
    if (!text.empty()) {
      std::int32_t record = w_.records.RecPosition(handle_, 0);
      std::int32_t at = file_.Append(lastWritten_, record, text);
      if (at == 0) {  // the scratch file cannot take more: the list ends here
        exhausted_ = true;
        return false;
      }
      lastWritten_ = at;
      appended = true;
    }
    storage::Status status = w_.records.RecSkip(handle_, 1);
    if (status != 0 || AboveUpper()) {
      exhausted_ = true;
    } else if (!appended) {
      // Skipping records without a line can take long: Escape stops the reading. Other keys
      // read here are dropped; while lines are found the keyboard is left alone, so keys
      // typed ahead reach the list.
      KeyEvent event;
      console_.ReadKey(event);
      if (event.key == key::kEscape) exhausted_ = true;
    }
    if (appended) return true;
    if (exhausted_) return false;
  }
}

bool BrowseRun::ReadNext(BrowseEntry& entry) {
  if (pos_ >= file_.End() && !FetchOne()) return false;
  if (!file_.Read(pos_, entry)) return false;
  pos_ = entry.Next();
  return true;
}

void BrowseRun::PrintLine(int line, std::string_view text) {
  std::string shown;
  if (static_cast<std::size_t>(column_ - 1) < text.size()) shown = std::string(text.substr(static_cast<std::size_t>(column_ - 1)));
  shown.resize(static_cast<std::size_t>(width_), ' ');
  console_.WinLocate(line, 1);
  console_.Print(shown);
}

void BrowseRun::BlankLines(int from) {
  for (int line = from; line <= lines_; ++line) {
    console_.WinLocate(line, 1);
    console_.PrintSpaces(width_);
  }
}

void BrowseRun::DrawTopLine() {
  const std::string& title = def_.Title;
  std::string top;
  top.push_back(column_ == 1 ? kDoubleTopLeft : kLeftPointer);
  for (int c = 1; c <= width_; ++c) {
    std::size_t index = static_cast<std::size_t>(column_ + c - 2);
    if (index >= title.size()) {
      top.push_back(kDoubleHorizontal);
    } else if (title[index] == ' ') {
      top.push_back(kDoubleHorizontal);
    } else if (title[index] == '_') {
      top.push_back(' ');
    } else {
      top.push_back(title[index]);
    }
  }
  const bool more = column_ <= overflow_ || static_cast<int>(title.size()) > column_ + width_ - 1;
  top.push_back(more ? kRightPointer : kDoubleTopRight);
  console_.ScreenColour("n");
  console_.WinLocate(0, 0);
  console_.Print(top);
  console_.ScreenColour("h");
}

void BrowseRun::DrawPage() {
  const std::int32_t remembered = selected_.position;
  pos_ = pageStart_;
  bool lastOnPage = false;
  int drawn = 0;
  for (int line = 1; line <= lines_; ++line) {
    BrowseEntry entry;
    if (!ReadNext(entry)) {
      // No entry here: the one drawn before (if any) was the last.
      if (highlight_ > drawn) highlight_ = std::max(drawn, 1);
      BlankLines(line);
      lastOnPage = true;
      break;
    }
    PrintLine(line, entry.text);
    overflow_ = std::max(overflow_, static_cast<int>(entry.text.size()) - width_);
    drawn = line;
    if (IsLast(entry)) {
      if (highlight_ > line) highlight_ = line;
      BlankLines(line + 1);
      lastOnPage = true;
      break;
    }
  }
  afterPage_ = lastOnPage ? 0 : pos_;
  selected_ = BrowseEntry{};
  if (remembered != 0 && remembered < file_.End()) {
    pos_ = remembered;
    BrowseEntry entry;
    if (ReadNext(entry)) selected_ = entry;
  }
}

int BrowseRun::WalkBack(BrowseEntry& entry, int count) {
  int walked = 0;
  while (walked < count && !IsFirst(entry)) {
    BrowseEntry previous;
    if (!file_.Read(entry.previous, previous)) break;
    entry = previous;
    ++walked;
  }
  return walked;
}

std::int16_t BrowseRun::Pick() {
  if (!HasSelection()) return kBrowseNoPick;
  if (recordFile_) {
    if (selected_.record == 0) return kBrowseNoPick;
    return static_cast<std::int16_t>(w_.records.RecPosition(handle_, selected_.record));
  }
  w_.pickedValue = selected_.record;
  w_.pickedText = selected_.text;
  return kBrowsePicked;
}

}  // namespace

std::int16_t ListBrowse(Widgets& widgets, std::int16_t list) {
  if (!widgets.form.HasList(list)) return kBrowseNoPick;
  BrowseRun run(widgets, list);
  return run.Run();
}

}  // namespace tui
