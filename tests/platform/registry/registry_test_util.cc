// Test helpers for registry sources.
#include "tests/platform/registry/registry_test_util.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "platform/registry/text.h"

namespace registry_test {

namespace fs = std::filesystem;

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "tollan-reg-XXXXXX").string();
  char* made = mkdtemp(pattern.data());
  path_ = made != nullptr ? made : "";
}

TempDir::~TempDir() {
  std::error_code ec;
  if (!path_.empty()) fs::remove_all(path_, ec);
}

std::string TempDir::Write(const std::string& relative, const std::string& content) const {
  fs::path full = fs::path(path_) / relative;
  fs::create_directories(full.parent_path());
  std::ofstream(full, std::ios::binary) << content;
  return full.string();
}

std::string TempDir::MakeDir(const std::string& relative) const {
  fs::path full = fs::path(path_) / relative;
  fs::create_directories(full);
  return full.string();
}

void TempDir::Symlink(const std::string& target, const std::string& relative) const {
  fs::path full = fs::path(path_) / relative;
  fs::create_directories(full.parent_path());
  fs::create_symlink(target, full);
}

namespace {

std::string Utf16Z(const std::string& utf8) {
  return registry::Utf16ToLeBytes(text::Utf8ToUtf16(utf8)) + std::string(2, '\0');
}

std::string EscapeWine(const std::u16string& text, char delim) {
  std::string out;
  char buf[8];
  for (char16_t c : text) {
    if (c == '\\' || c == static_cast<char16_t>(delim)) {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      std::snprintf(buf, sizeof(buf), "\\x%04x", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out;
}

std::string HexBytes(const std::string& bytes) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof(buf), "%02x", static_cast<unsigned char>(bytes[i]));
    if (i > 0) out += ',';
    out += buf;
  }
  return out;
}

// A string value's data in the "..." form when it is NUL-terminated text.
bool AsWineString(const TestValue& v, std::u16string* text) {
  if (v.type != 1 && v.type != 2 && v.type != 7) return false;
  if (v.data.size() < 2 || v.data.size() % 2 != 0) return false;
  std::u16string units = registry::LeBytesToUtf16(v.data);
  if (units.back() != u'\0') return false;
  units.pop_back();
  *text = units;
  return true;
}

}  // namespace

TestValue Sz(const std::string& name, const std::string& utf8) { return {name, 1, Utf16Z(utf8)}; }
TestValue ExpandSz(const std::string& name, const std::string& utf8) {
  return {name, 2, Utf16Z(utf8)};
}
TestValue Dword(const std::string& name, uint32_t value) {
  std::string data;
  for (int i = 0; i < 4; ++i) data += static_cast<char>((value >> (8 * i)) & 0xFF);
  return {name, 4, data};
}
TestValue Raw(const std::string& name, uint32_t type, const std::string& bytes) {
  return {name, type, bytes};
}

TestRegistry& TestRegistry::User(const std::string& path, std::vector<TestValue> values) {
  user.push_back({path, std::move(values)});
  return *this;
}
TestRegistry& TestRegistry::Machine(const std::string& path, std::vector<TestValue> values) {
  machine.push_back({path, std::move(values)});
  return *this;
}

std::string WineRegText(const std::vector<TestKey>& keys) {
  std::string out = "WINE REGISTRY Version 2\n;; All keys relative to \\\\User\\\\S-1-5-21-0-0-0-1000\n\n#arch=win32\n";
  for (const TestKey& key : keys) {
    out += "\n[" + EscapeWine(text::Utf8ToUtf16(key.path), ']') + "] 1700000000\n";
    out += "#time=1da00000000000\n";
    for (const TestValue& v : key.values) {
      std::string name = v.name.empty() ? "@" : "\"" + EscapeWine(text::Utf8ToUtf16(v.name), '"') + "\"";
      std::u16string text;
      if (v.type == 4 && v.data.size() == 4) {
        char buf[16];
        uint32_t n = 0;
        for (int i = 0; i < 4; ++i) n |= static_cast<uint32_t>(static_cast<unsigned char>(v.data[i])) << (8 * i);
        std::snprintf(buf, sizeof(buf), "%08x", n);
        out += name + "=dword:" + buf + "\n";
      } else if (AsWineString(v, &text)) {
        std::string prefix = v.type == 1 ? "" : "str(" + std::to_string(v.type) + "):";
        out += name + "=" + prefix + "\"" + EscapeWine(text, '"') + "\"\n";
      } else {
        char type[16];
        std::snprintf(type, sizeof(type), "%x", v.type);
        out += name + "=" + (v.type == 3 ? std::string("hex:") : "hex(" + std::string(type) + "):") +
               HexBytes(v.data) + "\n";
      }
    }
  }
  return out;
}

void WriteWinePrefix(const TestRegistry& registry, const std::string& prefix) {
  fs::create_directories(prefix);
  std::ofstream(prefix + "/user.reg", std::ios::binary) << WineRegText(registry.user);
  std::ofstream(prefix + "/system.reg", std::ios::binary) << WineRegText(registry.machine);
}

std::string BuildHive(const std::vector<TestKey>& keys, const std::string& hive_path) {
  std::error_code ec;
  fs::copy_file(TOLLAN_SHARED_DIR "/fixtures/registry/minimal-hive", hive_path,
                fs::copy_options::overwrite_existing, ec);
  if (ec) return "cannot copy the minimal hive: " + ec.message();
  fs::permissions(hive_path, fs::perms::owner_read | fs::perms::owner_write, ec);
  // Merge the values of repeated paths; hivexsh's setval replaces them all.
  std::vector<std::string> order;
  std::map<std::string, std::vector<TestValue>> values;
  for (const TestKey& key : keys) {
    if (values.count(key.path) == 0) order.push_back(key.path);
    auto& list = values[key.path];
    list.insert(list.end(), key.values.begin(), key.values.end());
  }
  std::string script;
  std::set<std::string> made;
  for (const std::string& path : order) {
    script += "cd \\ \n";
    std::string so_far;
    size_t start = 0;
    while (start <= path.size()) {
      size_t sep = path.find('\\', start);
      if (sep == std::string::npos) sep = path.size();
      std::string part = path.substr(start, sep - start);
      so_far += "\\" + registry::FoldCase(part);
      if (made.insert(so_far).second) script += "add " + part + "\n";
      script += "cd " + part + "\n";
      start = sep + 1;
    }
    const auto& list = values[path];
    if (list.empty()) continue;
    script += "setval " + std::to_string(list.size()) + "\n";
    for (const TestValue& v : list) {
      script += (v.name.empty() ? "@" : v.name) + "\n";
      std::string hex;
      for (unsigned char c : v.data) {
        char buf[4];
        std::snprintf(buf, sizeof(buf), "%02x", c);
        hex += buf;
      }
      script += "hex:" + std::to_string(v.type) + ":" + hex + "\n";
    }
  }
  script += "commit\n";
  std::string script_path = hive_path + ".hivexsh";
  std::ofstream(script_path) << script;
  std::string command = "hivexsh -w -f '" + script_path + "' '" + hive_path + "' >'" +
                        hive_path + ".log' 2>&1";
  int rc = std::system(command.c_str());
  fs::remove(script_path, ec);
  if (rc != 0) {
    std::ifstream log(hive_path + ".log");
    std::string text((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
    return "hivexsh failed: " + text;
  }
  fs::remove(hive_path + ".log", ec);
  return "";
}

std::string BuildHives(const TestRegistry& registry, const std::string& ntuser_path,
                       const std::string& software_path) {
  std::string error = BuildHive(registry.user, ntuser_path);
  if (!error.empty() || software_path.empty()) return error;
  std::vector<TestKey> software;
  for (const TestKey& key : registry.machine) {
    std::string lower = registry::FoldCase(key.path);
    if (lower.rfind("software\\", 0) == 0) {
      software.push_back({key.path.substr(9), key.values});
    }
  }
  return BuildHive(software, software_path);
}

}  // namespace registry_test
