// Status numbers answered by recman::Engine::BTRCALL. They are the classic call surface's own
// numbers: programs test them by value, so every constant here is fixed for good.
#pragma once

#include <cstdint>

namespace recman {

using Status = std::int16_t;

constexpr Status kStatusOk = 0;
constexpr Status kStatusInvalidOperation = 1;
constexpr Status kStatusIoError = 2;
constexpr Status kStatusFileNotOpen = 3;
constexpr Status kStatusKeyNotFound = 4;
constexpr Status kStatusDuplicateKey = 5;
constexpr Status kStatusInvalidKeyNumber = 6;
constexpr Status kStatusDifferentKeyNumber = 7;
constexpr Status kStatusInvalidPositioning = 8;
constexpr Status kStatusEndOfFile = 9;
constexpr Status kStatusKeyNotModifiable = 10;
constexpr Status kStatusInvalidFileName = 11;
constexpr Status kStatusFileNotFound = 12;
constexpr Status kStatusDiskFull = 18;
constexpr Status kStatusKeyBufferTooShort = 21;
constexpr Status kStatusDataBufferTooShort = 22;
constexpr Status kStatusPositionBlockLength = 23;
constexpr Status kStatusPageSizeInvalid = 24;
constexpr Status kStatusCreateIoError = 25;
constexpr Status kStatusInvalidNumberOfKeys = 26;
constexpr Status kStatusInvalidKeyPosition = 27;
constexpr Status kStatusInvalidRecordLength = 28;
constexpr Status kStatusInvalidKeyLength = 29;
constexpr Status kStatusNotARecordFile = 30;
constexpr Status kStatusOperationNotAllowed = 41;
constexpr Status kStatusInvalidRecordAddress = 43;
constexpr Status kStatusInconsistentKeyFlags = 45;
constexpr Status kStatusAccessDenied = 46;
constexpr Status kStatusBadCollatingSequence = 48;
constexpr Status kStatusKeyTypeError = 49;
constexpr Status kStatusInvalidOwner = 51;
constexpr Status kStatusFileExists = 59;
constexpr Status kStatusConflict = 80;
constexpr Status kStatusRecordLocked = 84;
constexpr Status kStatusFileLocked = 85;
constexpr Status kStatusIncompatibleMode = 88;

}  // namespace recman
