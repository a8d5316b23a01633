#include "app/record_manager.h"

#include <utility>

#include "platform/directories.h"
#include "platform/paths.h"
#include "recman/server_place.h"
#include "recman/status.h"
#include "recman/store_place.h"

namespace app {
namespace {

// The classic status of a call made while no record manager is loaded.
constexpr std::int16_t kStatusManagerInactive = 20;

}  // namespace

bool ProgramRecordManager::Start(const session::Session& session, std::string& reason) {
  const recman::EngineOptions options;
  if (session.DataServer.empty()) {
    // SQLite is loaded with the first record file, after the first screen is out.
    engine_ = std::make_unique<recman::Engine>(options, recman::LocalFilesOnFirstUse(options.busyTimeoutMs));
    return true;
  }
  // The program names its files by host paths under the root (it works inside the root, so an
  // empty root is the current directory); the server place names them relative to it.
  recman::ServerOptions server;
  server.conninfo = session.DataServer;
  server.root = session.RootDir.empty() ? platform::CurrentDirectory() : platform::HostPath(session.RootDir);
  server.busyTimeoutMs = options.busyTimeoutMs;
  std::unique_ptr<recman::StorePlace> place;
  std::string error;
  if (recman::OpenServerPlace(server, place, error) != recman::kStatusOk || !place) {
    reason = "the database server's module cannot be loaded: " + error;
    return false;
  }
  engine_ = std::make_unique<recman::Engine>(options, std::move(place));
  return true;
}

std::string ProgramRecordManager::Problem() const { return engine_ ? engine_->PlaceProblem() : std::string(); }

std::int16_t ProgramRecordManager::Call(std::uint16_t op, void* positionBlock, void* dataBuffer,
                                        std::uint32_t* dataLength, void* keyBuffer, std::uint8_t keyLength,
                                        std::int8_t keyNumber) {
  if (!engine_) return kStatusManagerInactive;
  return engine_->BTRCALL(op, positionBlock, dataBuffer, dataLength, keyBuffer, keyLength, keyNumber);
}

}  // namespace app
