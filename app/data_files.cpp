#include "app/data_files.h"

#include <algorithm>
#include <cstring>

namespace app {

const RecordField* TranLauFieldOf(int field) {
  for (const RecordField& f : kTranLauFields) {
    if (f.field == field) return &f;
  }
  return nullptr;
}

std::string DataFiles::Open(storage::RecordLayer& records, std::string_view rootDir) {
  const std::string root(rootDir);
  const struct {
    storage::FileHandle handle;
    const char* name;
    std::span<char> area;
  } files[] = {
      {kFinquesV, "DADES\\FinquesV", finques},
      {kDepartaV, "DADES\\DepartaV", departa},
      {kTranLauV, "DADES\\TranLauV", tranlau},
  };
  for (const auto& f : files) {
    if (records.RecOpen(f.handle, root + f.name, f.area) != 0) return root + f.name;
  }
  return "";
}

std::int16_t ReadInt16(std::span<const char> area, std::size_t offset) {
  if (offset + 2 > area.size()) return 0;
  auto b = [&](std::size_t i) { return static_cast<std::uint16_t>(static_cast<unsigned char>(area[offset + i])); };
  return static_cast<std::int16_t>(b(0) | (b(1) << 8));
}

std::int32_t ReadInt32(std::span<const char> area, std::size_t offset) {
  if (offset + 4 > area.size()) return 0;
  auto b = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(area[offset + i])); };
  return static_cast<std::int32_t>(b(0) | (b(1) << 8) | (b(2) << 16) | (b(3) << 24));
}

void WriteInt16(std::span<char> area, std::size_t offset, std::int16_t value) {
  if (offset + 2 > area.size()) return;
  auto v = static_cast<std::uint16_t>(value);
  area[offset] = static_cast<char>(v & 0xFF);
  area[offset + 1] = static_cast<char>(v >> 8);
}

void WriteInt32(std::span<char> area, std::size_t offset, std::int32_t value) {
  if (offset + 4 > area.size()) return;
  auto v = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < 4; ++i) area[offset + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::string_view Bytes(std::span<const char> area, std::size_t offset, std::size_t length) {
  if (offset >= area.size()) return {};
  return {area.data() + offset, std::min(length, area.size() - offset)};
}

void WriteBytes(std::span<char> area, std::size_t offset, std::string_view bytes) {
  if (offset >= area.size()) return;
  std::size_t n = std::min(bytes.size(), area.size() - offset);
  std::memcpy(area.data() + offset, bytes.data(), n);
}

}  // namespace app
