// Status words of the record layer.
//
// Every record operation answers a 16-bit status: 0 for success, otherwise either a number of
// the record manager (recman/) passed on unchanged, or one of the layer's own below.
#pragma once

#include <cstdint>

namespace storage {

using Status = std::int16_t;

// The layer's own numbers. 3 is the record manager's own number for the same case.
constexpr Status kStatusOk = 0;
constexpr Status kStatusFileNotOpen = 3;      // no open file under this handle
constexpr Status kStatusHandleInUse = 1002;   // RecOpen on a handle that is already open
constexpr Status kStatusNoFreeSlot = 1003;    // all 40 slots of the open-file table are taken
constexpr Status kStatusNoSuchKey = 1004;     // key number not defined for the file

// Record manager numbers the layer acts on.
constexpr Status kStatusKeyNotFound = 4;
constexpr Status kStatusInvalidFileName = 11;
constexpr Status kStatusFileNotFound = 12;
constexpr Status kStatusBufferTooShort = 22;  // counted as success after reads and updates
constexpr Status kStatusFileExists = 59;  // Create found the file already made
constexpr Status kStatusRecordLocked = 84;
constexpr Status kStatusFileLocked = 85;

// Truth values passed between the layers: true is all bits set.
constexpr std::int16_t kTrue = -1;
constexpr std::int16_t kFalse = 0;

}  // namespace storage
