// The record manager as the record layer sees it: the one call of the classic call surface.
//
// The program hands the layer its recman::Engine (through EngineRecordManager, or the
// RecordLayer constructor that takes the engine); tests may put a wrapper in between that
// records the calls or answers a chosen status.
#pragma once

#include <cstdint>

#include "recman/engine.h"

namespace storage {

class RecordManager {
 public:
  virtual ~RecordManager() = default;
  // Arguments exactly as recman::Engine::BTRCALL takes them.
  virtual std::int16_t Call(std::uint16_t op, void* positionBlock, void* dataBuffer, std::uint32_t* dataLength,
                            void* keyBuffer, std::uint8_t keyLength, std::int8_t keyNumber) = 0;
};

class EngineRecordManager : public RecordManager {
 public:
  explicit EngineRecordManager(recman::Engine& engine) : engine_(engine) {}
  std::int16_t Call(std::uint16_t op, void* positionBlock, void* dataBuffer, std::uint32_t* dataLength,
                    void* keyBuffer, std::uint8_t keyLength, std::int8_t keyNumber) override {
    return engine_.BTRCALL(op, positionBlock, dataBuffer, dataLength, keyBuffer, keyLength, keyNumber);
  }

 private:
  recman::Engine& engine_;
};

}  // namespace storage
