// Named damage: the faults the generator can build, by the names the
// make-sample-store tool and the fuzz seed scripts use, applied to a store
// description before it is written.
#ifndef TOLLAN_TESTS_SUPPORT_DBXGEN_NAMED_DAMAGE_H_
#define TOLLAN_TESTS_SUPPORT_DBXGEN_NAMED_DAMAGE_H_

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/dbxgen/status.h"
#include "tests/support/dbxgen/store.h"

namespace dbxgen {

struct NamedDamage {
  const char* name;
  const char* description;
};

// Every damage name with a line saying what it does.
const std::vector<NamedDamage>& DamageNames();

// Applies the damage `name` to `spec`: file faults to the folder file of
// spec.folders[folder] (or, for names starting with "list-", to the folder
// list), message faults to the message at `position` of that folder. Fails
// for an unknown name. A damage that needs more of the store than it has
// (overfull-node needs 52 messages) adjusts the folder's index fan-out and
// reports what else is missing only when the store is written.
Status ApplyDamage(std::string_view name, StoreSpec& spec, std::size_t folder,
                   std::size_t position);

}  // namespace dbxgen

#endif  // TOLLAN_TESTS_SUPPORT_DBXGEN_NAMED_DAMAGE_H_
