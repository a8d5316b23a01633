// The entry point of librecman_local.so: the SQLite store for programs that load it when they
// first open a record file (local_on_first_use.cpp).
#include "recman/store_place.h"

extern "C" __attribute__((visibility("default"))) recman::StorePlace* recman_local_files_place(int busyTimeoutMs) {
  return recman::LocalFiles(busyTimeoutMs).release();
}
