#include "tui/list_browse.h"

#include <algorithm>
#include <array>
#include <limits>

#include "platform/paths.h"

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

}  // namespace tui
