// Reading and writing the per-user registration file.

#include "platform/com/registration.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "platform/com/guid.h"

namespace tollan::com {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string LineError(size_t line, std::string_view reason) {
  return "line " + std::to_string(line) + ": " + std::string(reason);
}

}  // namespace

std::string RegistrationFilePath() {
  const char* explicit_path = std::getenv("KESTREL_REGISTRATIONS");
  if (explicit_path != nullptr && explicit_path[0] != 0) return explicit_path;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] != 0) return std::string(config) + "/kestrel/registrations.ini";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != 0) return std::string(home) + "/.config/kestrel/registrations.ini";
  return {};
}

std::vector<std::string> RegistrationSearchPath() {
  std::vector<std::string> files;
  const std::string user = RegistrationFilePath();
  if (!user.empty()) files.push_back(user);
  const char* explicit_path = std::getenv("KESTREL_REGISTRATIONS");
  if (explicit_path != nullptr && explicit_path[0] != 0) return files;
  const char* dirs = std::getenv("XDG_CONFIG_DIRS");
  std::string_view list = dirs != nullptr && dirs[0] != 0 ? dirs : "/etc/xdg";
  while (!list.empty()) {
    const size_t colon = list.find(':');
    const std::string_view dir = list.substr(0, colon);
    list = colon == std::string_view::npos ? std::string_view() : list.substr(colon + 1);
    // Relative entries are invalid in XDG_CONFIG_DIRS and are ignored.
    if (!dir.empty() && dir[0] == '/') files.push_back(std::string(dir) + "/kestrel/registrations.ini");
  }
  return files;
}

bool RegistrationDatabase::Parse(std::string_view text, std::string* error) {
  std::vector<ClassRegistration> classes;
  std::vector<TypeLibraryRegistration> libraries;
  enum { kNone, kClass, kLibrary } section = kNone;
  size_t line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const size_t end = text.find('\n');
    std::string_view line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      if (line.back() != ']') {
        *error = LineError(line_number, "section header without ']'");
        return false;
      }
      std::string_view header = Trim(line.substr(1, line.size() - 2));
      const size_t space = header.find(' ');
      if (space == std::string_view::npos) {
        *error = LineError(line_number, "section header without an identity");
        return false;
      }
      const std::string_view kind = header.substr(0, space);
      GUID id;
      if (!GuidFromString(Trim(header.substr(space + 1)), &id)) {
        *error = LineError(line_number, "malformed identity in section header");
        return false;
      }
      if (kind == "Class") {
        section = kClass;
        classes.emplace_back();
        classes.back().clsid = id;
      } else if (kind == "TypeLib") {
        section = kLibrary;
        libraries.emplace_back();
        libraries.back().id = id;
      } else {
        *error = LineError(line_number, "unknown section kind '" + std::string(kind) + "'");
        return false;
      }
      continue;
    }
    const size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      *error = LineError(line_number, "expected key=value");
      return false;
    }
    const std::string_view key = Trim(line.substr(0, equals));
    const std::string value(Trim(line.substr(equals + 1)));
    if (section == kClass) {
      ClassRegistration& entry = classes.back();
      if (key == "Name") {
        entry.name = value;
      } else if (key == "ProgID") {
        entry.prog_id = value;
      } else if (key == "InprocServer") {
        entry.server_path = value;
      } else if (key == "ThreadingModel") {
        entry.threading_model = value;
      } else if (key == "TypeLib") {
        if (!GuidFromString(value, &entry.type_library)) {
          *error = LineError(line_number, "malformed TypeLib identity");
          return false;
        }
      }
      // Unknown keys are kept out but tolerated, for newer writers.
    } else if (section == kLibrary) {
      TypeLibraryRegistration& entry = libraries.back();
      if (key == "Name") {
        entry.name = value;
      } else if (key == "Version") {
        entry.version = value;
      } else if (key == "HelpString") {
        entry.help_string = value;
      } else if (key == "Path") {
        entry.path = value;
      }
    } else {
      *error = LineError(line_number, "key outside of any section");
      return false;
    }
  }
  classes_ = std::move(classes);
  type_libraries_ = std::move(libraries);
  return true;
}

std::string RegistrationDatabase::Serialize() const {
  std::ostringstream out;
  out << "# Per-user registrations of in-process COM servers.\n"
         "# Written by DllRegisterServer / DllUnregisterServer.\n";
  for (const auto& c : classes_) {
    out << "\n[Class " << GuidToString(c.clsid) << "]\n";
    out << "Name=" << c.name << "\n";
    if (!c.prog_id.empty()) out << "ProgID=" << c.prog_id << "\n";
    out << "InprocServer=" << c.server_path << "\n";
    if (!c.threading_model.empty()) out << "ThreadingModel=" << c.threading_model << "\n";
    if (!(c.type_library == GUID_NULL)) out << "TypeLib=" << GuidToString(c.type_library) << "\n";
  }
  for (const auto& l : type_libraries_) {
    out << "\n[TypeLib " << GuidToString(l.id) << "]\n";
    out << "Name=" << l.name << "\n";
    out << "Version=" << l.version << "\n";
    out << "HelpString=" << l.help_string << "\n";
    out << "Path=" << l.path << "\n";
  }
  return out.str();
}

bool RegistrationDatabase::Load(const std::string& path, std::string* error) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) {
    classes_.clear();
    type_libraries_.clear();
    return true;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = "cannot read " + path + ": " + std::strerror(errno);
    return false;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::string parse_error;
  if (!Parse(text.str(), &parse_error)) {
    *error = path + ": " + parse_error;
    return false;
  }
  return true;
}

bool RegistrationDatabase::Save(const std::string& path, std::string* error) const {
  std::error_code ec;
  const std::filesystem::path target(path);
  if (target.has_parent_path()) {
    std::filesystem::create_directories(target.parent_path(), ec);
    if (ec) {
      *error = "cannot create " + target.parent_path().string() + ": " + ec.message();
      return false;
    }
  }
  const std::string temporary = path + ".tmp." + std::to_string(::getpid());
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    const std::string text = Serialize();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      *error = "cannot write " + temporary;
      std::filesystem::remove(temporary, ec);
      return false;
    }
  }
  std::filesystem::rename(temporary, target, ec);
  if (ec) {
    *error = "cannot replace " + path + ": " + ec.message();
    std::filesystem::remove(temporary, ec);
    return false;
  }
  return true;
}

void RegistrationDatabase::PutClass(const ClassRegistration& entry) {
  for (auto& c : classes_) {
    if (c.clsid == entry.clsid) {
      c = entry;
      return;
    }
  }
  classes_.push_back(entry);
}

void RegistrationDatabase::PutTypeLibrary(const TypeLibraryRegistration& entry) {
  for (auto& l : type_libraries_) {
    if (l.id == entry.id) {
      l = entry;
      return;
    }
  }
  type_libraries_.push_back(entry);
}

bool RegistrationDatabase::RemoveClass(REFCLSID clsid) {
  for (auto it = classes_.begin(); it != classes_.end(); ++it) {
    if (it->clsid == clsid) {
      classes_.erase(it);
      return true;
    }
  }
  return false;
}

bool RegistrationDatabase::RemoveTypeLibrary(REFGUID id) {
  for (auto it = type_libraries_.begin(); it != type_libraries_.end(); ++it) {
    if (it->id == id) {
      type_libraries_.erase(it);
      return true;
    }
  }
  return false;
}

const ClassRegistration* RegistrationDatabase::FindClass(REFCLSID clsid) const {
  for (const auto& c : classes_) {
    if (c.clsid == clsid) return &c;
  }
  return nullptr;
}

const ClassRegistration* RegistrationDatabase::FindProgId(std::string_view prog_id) const {
  for (const auto& c : classes_) {
    if (!c.prog_id.empty() && EqualsNoCase(c.prog_id, prog_id)) return &c;
  }
  return nullptr;
}

const TypeLibraryRegistration* RegistrationDatabase::FindTypeLibrary(REFGUID id) const {
  for (const auto& l : type_libraries_) {
    if (l.id == id) return &l;
  }
  return nullptr;
}

}  // namespace tollan::com
