// Per-thread session and module counters.

#include "reader/model/component.h"

#include <atomic>

namespace kestrel {
namespace {

std::atomic<long> live_objects{0};
std::atomic<long> server_locks{0};

}  // namespace

dbx::DbxSession& ThreadSession() {
  thread_local dbx::DbxSession session;
  return session;
}

void ObjectCreated() { ++live_objects; }
void ObjectDestroyed() { --live_objects; }
long LiveObjects() { return live_objects.load(); }

void LockServer(bool lock) {
  if (lock) {
    ++server_locks;
  } else {
    --server_locks;
  }
}
long ServerLocks() { return server_locks.load(); }

}  // namespace kestrel
