// State that the whole component shares: the reader session of the calling
// thread (store directory, open-file slot, unreadable-message flag) and the
// counts of live objects and server locks that DllCanUnloadNow reports.

#ifndef TOLLAN_READER_MODEL_COMPONENT_H_
#define TOLLAN_READER_MODEL_COMPONENT_H_

#include "reader/dbx/session.h"

namespace kestrel {

// The session shared by every object of the component on the calling
// thread. Objects live on the thread that created them and use only its
// session.
dbx::DbxSession& ThreadSession();

// Counted by every object of the component while it lives.
void ObjectCreated();
void ObjectDestroyed();
long LiveObjects();

// IClassFactory::LockServer.
void LockServer(bool lock);
long ServerLocks();

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_COMPONENT_H_
