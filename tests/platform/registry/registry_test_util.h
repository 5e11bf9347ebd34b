// Test helpers: temporary folders, and one registry description that can be
// written out both as a Wine prefix (user.reg, system.reg) and as hive files
// (NTUSER.DAT, SOFTWARE) built from the shared minimal hive with hivexsh.
#ifndef TOLLAN_TESTS_PLATFORM_REGISTRY_REGISTRY_TEST_UTIL_H_
#define TOLLAN_TESTS_PLATFORM_REGISTRY_REGISTRY_TEST_UTIL_H_

#include <cstdint>
#include <string>
#include <vector>

namespace registry_test {

// A folder under $TMPDIR removed (with its contents) on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // Writes `content` to path()/relative, creating folders; returns the full path.
  std::string Write(const std::string& relative, const std::string& content) const;
  std::string MakeDir(const std::string& relative) const;
  void Symlink(const std::string& target, const std::string& relative) const;

 private:
  std::string path_;
};

struct TestValue {
  std::string name;  // "" for the default value
  uint32_t type = 0;
  std::string data;  // raw bytes as stored
};
TestValue Sz(const std::string& name, const std::string& utf8);      // REG_SZ with its NUL
TestValue ExpandSz(const std::string& name, const std::string& utf8);
TestValue Dword(const std::string& name, uint32_t value);
TestValue Raw(const std::string& name, uint32_t type, const std::string& bytes);

struct TestKey {
  std::string path;  // below its root, components separated by '\'
  std::vector<TestValue> values;
};

struct TestRegistry {
  std::vector<TestKey> user;     // HKEY_CURRENT_USER
  std::vector<TestKey> machine;  // HKEY_LOCAL_MACHINE; only Software\... reaches a hive

  TestRegistry& User(const std::string& path, std::vector<TestValue> values = {});
  TestRegistry& Machine(const std::string& path, std::vector<TestValue> values = {});
};

// The Wine text form of `keys`.
std::string WineRegText(const std::vector<TestKey>& keys);
// Writes user.reg and system.reg into the folder `prefix`.
void WriteWinePrefix(const TestRegistry& registry, const std::string& prefix);

// Builds a hive at `hive_path` from a copy of the shared minimal hive.
// Returns "" on success, else what went wrong.
std::string BuildHive(const std::vector<TestKey>& keys, const std::string& hive_path);
// NTUSER.DAT from the user keys, and SOFTWARE (when `software_path` is not
// empty) from the machine keys below Software\.
std::string BuildHives(const TestRegistry& registry, const std::string& ntuser_path,
                       const std::string& software_path);

}  // namespace registry_test

#endif  // TOLLAN_TESTS_PLATFORM_REGISTRY_REGISTRY_TEST_UTIL_H_
