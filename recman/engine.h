// The record manager engine: indexed record files on SQLite behind the classic call surface.
//
//   recman::Engine engine;                      // one per process, owned by the program
//   char pos[recman::kPositionBlockSize] = {};  // one per open file (one cursor)
//   std::uint32_t len = 5;
//   std::int16_t status = engine.BTRCALL(recman::kOpOpen, pos, owner, &len, path, pathLen, 0);
//
// Every operation answers a status (0 success); nothing throws. See status.h for the numbers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace recman {

class StorePlace;

constexpr int kPositionBlockSize = 128;

// Operation codes.
enum Op : std::uint16_t {
  kOpOpen = 0,
  kOpClose = 1,
  kOpInsert = 2,
  kOpUpdate = 3,
  kOpDelete = 4,
  kOpGetEqual = 5,
  kOpGetNext = 6,
  kOpGetPrevious = 7,
  kOpGetGreater = 8,
  kOpGetGreaterOrEqual = 9,
  kOpGetLess = 10,
  kOpGetLessOrEqual = 11,
  kOpGetFirst = 12,
  kOpGetLast = 13,
  kOpCreate = 14,
  kOpStat = 15,
  kOpBeginTransaction = 19,
  kOpEndTransaction = 20,
  kOpAbortTransaction = 21,
  kOpGetPosition = 22,
  kOpGetDirect = 23,
  kOpStepNext = 24,
  kOpStop = 25,
  kOpVersion = 26,
  kOpUnlock = 27,
  kOpReset = 28,
  kOpSetOwner = 29,
  kOpClearOwner = 30,
  kOpStepFirst = 33,
  kOpStepLast = 34,
  kOpStepPrevious = 35,
  kOpGetKeyBias = 50,  // added to a Get: key only, no record
};

// Lock biases added to the operation code.
enum LockBias : std::uint16_t {
  kLockSingleWait = 100,
  kLockSingleNoWait = 200,
  kLockMultipleWait = 300,
  kLockMultipleNoWait = 400,
};

// An operation with its lock bias (kOpGetEqual + kLockSingleNoWait), without the arithmetic
// between two enumerations that C++20 deprecates.
constexpr std::uint16_t operator+(Op op, LockBias bias) {
  return static_cast<std::uint16_t>(static_cast<int>(op) + static_cast<int>(bias));
}

// Limits of the waits inside the engine; the defaults suit interactive programs.
struct EngineOptions {
  // How long a write waits for other processes' write transactions before it answers 85.
  int busyTimeoutMs = 10000;
  // How long a wait lock (+100, +300) waits for another client's record lock before it
  // answers 84.
  int lockWaitLimitMs = 30000;
};

class Engine {
 public:
  Engine();
  explicit Engine(EngineOptions options);
  // Record files where place keeps them (store_place.h); the others keep SQLite files on this
  // host.
  Engine(EngineOptions options, std::unique_ptr<StorePlace> place);
  // Why the place could not serve the last call that answered 2, in words; empty when it
  // has nothing to say.
  std::string PlaceProblem() const;
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // The one entry point. op: operation code plus lock bias; posBlock: the caller's 128-byte
  // position block (cleared by the caller before Open, opaque otherwise); dataLength: in, the
  // size of the data buffer or of the data passed; out, the size returned; keyBuffer: up to
  // 256 bytes; keyNumber: the key, or the open/create mode for Open and Create.
  //
  // Buffers: a call that returns a key writes the whole key (at most 255 bytes) into keyBuffer,
  // whatever keyLength says, so keyBuffer must have room for it; keyLength is checked (21) only
  // where a key value is read from the buffer (Get Equal, Greater, Greater or Equal, Less, Less
  // or Equal). Reads copy at most *dataLength bytes and answer 22 when the record is longer
  // (the position moves all the same); Insert and Update answer 22 when *dataLength is below
  // the record length. Open and Create read the host path from keyBuffer, up to a NUL within
  // keyLength bytes (255 when keyLength is 0).
  //
  // Open modes (keyNumber): 0 normal, -1 accelerated, -3 verify (both as normal), -2 read-only
  // (writes answer 46), -4 exclusive (85 to other opens; 85 itself while others have the file
  // open). Create: keyNumber -1 answers 59 for an existing file; any other replaces it (85
  // while it is open anywhere).
  //
  // Locks (+100/+200 single, +300/+400 multiple) work on Gets, Steps and Get Direct; they hold
  // across processes and vanish when the holding process dies. A wait lock waits up to 30 s,
  // then answers 84. Transactions (19, 20, 21) answer 1.
  std::int16_t BTRCALL(std::uint16_t op, void* posBlock, void* dataBuffer, std::uint32_t* dataLength,
                       void* keyBuffer, std::uint8_t keyLength, std::int8_t keyNumber);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace recman
