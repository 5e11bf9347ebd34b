// Message keys for the duplicate filter.
#include "converter/engine/duplicate_filter.h"

#include <glib.h>

namespace tollan {

std::string DuplicateFilter::KeyOf(std::string_view text) {
  GChecksum* sum = g_checksum_new(G_CHECKSUM_SHA256);
  g_checksum_update(sum, reinterpret_cast<const guchar*>(text.data()), static_cast<gssize>(text.size()));
  guint8 digest[32];
  gsize length = sizeof(digest);
  g_checksum_get_digest(sum, digest, &length);
  g_checksum_free(sum);
  return std::string(reinterpret_cast<const char*>(digest), length);
}

}  // namespace tollan
