// Loads the server store's module and asks it for the place. Programs on local files never
// come here, so they neither load the server's client library nor pay for its start-up.
#include "recman/server_place.h"

#include "recman/modules.h"

namespace recman {
namespace {

// The module's one entry point; the version in its name changes whenever StorePlace or
// ServerOptions change shape.
using Factory = int (*)(const ServerOptions*, StorePlace**);

}  // namespace

Status OpenServerPlace(const ServerOptions& options, std::unique_ptr<StorePlace>& out, std::string& error) {
  auto factory = reinterpret_cast<Factory>(ModuleSymbol("librecman_pg.so", "recman_pg_make_place_v1", error));
  if (!factory) return kStatusIoError;
  StorePlace* place = nullptr;
  if (factory(&options, &place) != 0 || !place) {
    error = "the server module made no place";
    return kStatusIoError;
  }
  out.reset(place);
  error.clear();
  return kStatusOk;
}

}  // namespace recman
