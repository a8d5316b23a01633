// The program's record manager, started once the session says where the installation keeps its
// record files: SQLite files under the installation root (the default), or the database server
// that Orba.ini [Dades] Servidor names, each file known there by its path relative to the root.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "recman/engine.h"
#include "session/session.h"
#include "storage/record_manager.h"

namespace app {

class ProgramRecordManager : public storage::RecordManager {
 public:
  // Makes the engine for the session's installation; called once, before any file is opened.
  // False when the server's module cannot be loaded, with the reason: every call then answers
  // 20 (record manager inactive), which the record layer reports as it reports any file that
  // cannot be opened. A server that cannot be reached shows when a file is opened.
  bool Start(const session::Session& session, std::string& reason);

  // Why the place could not serve the last call that answered 2, in words; empty when unknown.
  std::string Problem() const;

  std::int16_t Call(std::uint16_t op, void* positionBlock, void* dataBuffer, std::uint32_t* dataLength,
                    void* keyBuffer, std::uint8_t keyLength, std::int8_t keyNumber) override;

 private:
  std::unique_ptr<recman::Engine> engine_;
};

}  // namespace app
