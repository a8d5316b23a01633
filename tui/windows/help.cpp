// The help services of Windows: the document launcher on the windowed platform and the
// built-in viewer of help text files.
#include <algorithm>

#include "platform/files.h"
#include "tui/windows/help_text.h"
#include "tui/windows/windows.h"

namespace tui {
namespace {

constexpr std::size_t kMaxTopicLength = 64;
// A help file larger than this is shown up to here (a help text is a few pages; anything this
// big is not one).
constexpr std::int64_t kMaxHelpFileBytes = 16 * 1024 * 1024;

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return Upper(x) == Upper(y);
         });
}

std::string_view TrimTrailingBlanks(std::string_view text) {
  std::size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

// The last component of a path written with "\" or "/".
std::string_view BaseName(std::string_view path) {
  std::size_t slash = path.find_last_of("\\/");
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

bool IsWindowsCommandInterpreter(std::string_view path) {
  std::string_view name = BaseName(TrimTrailingBlanks(path));
  for (std::string_view known : {"cmd.exe", "cmd", "command.com", "command"}) {
    if (EqualsIgnoringCase(name, known)) return true;
  }
  return false;
}

// The whole help file, or "" when it cannot be opened. A missing file is created empty; when
// that fails too (no AJUDA directory, a read-only medium) it is opened for reading only.
std::string ReadHelpFile(const std::string& systemPath) {
  platform::File file;
  if (file.Open(systemPath, platform::File::Mode::kReadWrite, false) != platform::OpenResult::kOk &&
      file.Open(systemPath, platform::File::Mode::kRead, false) != platform::OpenResult::kOk) {
    return {};
  }
  std::int64_t size = std::min(file.Size(), kMaxHelpFileBytes);
  if (size <= 0) return {};
  std::string bytes(static_cast<std::size_t>(size), '\0');
  std::int64_t got = file.ReadAt(0, bytes);
  bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  return bytes;
}

// The colour mode that selects an entry of the colour table.
std::string_view ModeOfEntry(int entry) {
  switch (entry) {
    case 0:
      return "h";
    case 2:
      return "r";
    case 3:
      return "rn";
    case 4:
      return "u";
    default:
      return "n";
  }
}

}  // namespace

bool IsPlainHelpTopic(std::string_view topic) {
  if (topic.empty() || topic.size() > kMaxTopicLength) return false;
  return std::all_of(topic.begin(), topic.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           std::string_view("_-$#@~").find(c) != std::string_view::npos;
  });
}

std::vector<std::string> LauncherArguments(std::string_view topic, const std::optional<std::string>& comspec) {
  std::string document = "AJUDA\\" + std::string(topic) + ".HTM";
  if (comspec && IsWindowsCommandInterpreter(*comspec)) {
    return {std::string(TrimTrailingBlanks(*comspec)), "/C", std::string(kDocumentLauncher), document};
  }
  return {std::string(kDocumentLauncher), document};
}

void Windows::ShowHelp(std::string_view topicText) {
  std::string topic(TrimTrailingBlanks(topicText));
  const bool plain = IsPlainHelpTopic(topic);
  if (plain && session_.PlatformMode == "WIN" && RunLauncher(topic)) return;
  ShowViewer(topic, plain);
}

bool Windows::RunLauncher(const std::string& topic) {
  std::vector<std::string> argv = LauncherArguments(topic, environment_.Get("COMSPEC"));
  // The launcher may use the terminal while it runs; the screen is taken back afterwards.
  console_.Flush();
  console_.Suspend();
  int status = system_.RunAndWait(argv);
  console_.Resume();
  // The launcher's own result is not examined; only a launcher that could not be started at
  // all falls back to the built-in viewer, so F1 never does nothing.
  return status != -1;
}

void Windows::ShowViewer(const std::string& topic, bool plainTopic) {
  const int rows = console_.ScreenRows();
  const int cols = console_.ScreenCols();
  const int visible = rows - 8;  // text rows inside the frame
  const int innerWidth = cols - 2;
  // Lines start at window column 2 and may not pass the frame on a narrow screen.
  const int maxChars = std::min(kHelpVisibleChars, innerWidth - 1);
  if (visible < 1 || maxChars < 1) return;

  HelpText text;
  if (plainTopic) text = HelpText(ReadHelpFile("AJUDA\\" + topic + ".HLP"), cols);
  const int count = text.LineCount();

  // The cursor would only blink somewhere in the text; it comes back as it was.
  const CursorState cursor = console_.Cursor();
  auto restoreCursor = [&] {
    if (cursor.visible) {
      console_.ShowCursor(cursor.height);
    } else {
      console_.HideCursor();
    }
  };
  console_.HideCursor();
  console_.ScreenColour("+h");
  if (!WinOpen(4, 1, rows - 3, cols)) {
    // The area cannot be saved (a screen wider than 99 columns): there is nothing to draw on.
    WinClose();
    console_.ScreenColour("-");
    restoreCursor();
    return;
  }
  console_.DrawFrame(2);
  console_.ScreenColour("n");

  auto showLine = [&](int windowRow, int lineNumber) {
    console_.ScreenColour("n");
    console_.WinLocate(windowRow, 1);
    console_.PrintSpaces(innerWidth);
    console_.WinLocate(windowRow, 2);
    for (const HelpSpan& span : HelpLineSpans(text.Line(lineNumber), maxChars)) {
      console_.ScreenColour(ModeOfEntry(span.colourEntry));
      console_.Print(span.text);
    }
    console_.ScreenColour("n");
  };
  int first = 1;  // the line at the top of the page
  auto showPage = [&] {
    for (int r = 1; r <= visible; ++r) showLine(r, first + r - 1);
  };
  auto lastShown = [&] { return first + visible - 1; };
  // The area inside the frame, corners counted from 0 as ScrollRegion takes them.
  const int areaTop = 4;
  const int areaBottom = rows - 5;
  const int areaLeft = 1;
  const int areaRight = cols - 2;

  showPage();
  for (;;) {
    console_.Flush();
    KeyCode key = console_.PollKeyDirect();
    if (key == 0) {
      console_.WaitForInput(50);
      continue;
    }
    if (key == key::kEscape) break;
    if (key == key::kF1) {
      if (!EqualsIgnoringCase(topic, kGeneralHelpTopic)) ShowViewer(std::string(kGeneralHelpTopic), true);
    } else if (key == key::kDown) {
      if (lastShown() < count) {
        console_.ScrollRegion(areaTop, areaLeft, areaBottom, areaRight, 1);
        ++first;
        showLine(visible, lastShown());
      }
    } else if (key == key::kUp) {
      if (first > 1) {
        console_.ScrollRegion(areaTop, areaLeft, areaBottom, areaRight, -1);
        --first;
        showLine(1, first);
      }
    } else if (key == key::kPgDn) {
      if (lastShown() < count) {
        first = std::min(first + visible, count - visible + 1);
        showPage();
      }
    } else if (key == key::kPgUp) {
      if (first > 1) {
        first = std::max(1, first - visible);
        showPage();
      }
    } else if (key == key::kHome) {
      if (first != 1) {
        first = 1;
        showPage();
      }
    } else if (key == key::kEnd) {
      if (lastShown() < count) {
        first = count - visible + 1;
        showPage();
      }
    }
  }
  WinClose();
  console_.ScreenColour("-");
  restoreCursor();
}

}  // namespace tui
