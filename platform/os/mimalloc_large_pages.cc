// Linked into each converter program along with mimalloc (see
// tollan_fast_malloc in the top CMakeLists.txt).
//
// A conversion touches tens of megabytes of fresh heap: the folder's message
// list, the .pst's tables, the messages in flight. Taken from the system in
// 4 KiB pages, every page costs a fault on first touch, and on a virtual
// machine a fault is dear. Asked for in 2 MiB pages where the system grants
// them (transparent huge pages), the heap taken after this point costs a
// fault per 2 MiB; the first heap segment, taken by the libraries'
// initialisers before it, keeps its small pages. Where the system grants
// none, mimalloc falls back to ordinary pages.
#include <mimalloc.h>

namespace {

struct LargePages {
  LargePages() { mi_option_enable(mi_option_large_os_pages); }
};

// Before main: what static initialisers allocated earlier stays as it is.
const LargePages large_pages;

}  // namespace
