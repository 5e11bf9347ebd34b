// The registration files of in-process COM servers: where a server's
// DllRegisterServer records its classes, programmatic identifiers and type
// library, and where CoCreateInstance finds the library of a class.
//
// Two levels, like per-user and machine-wide COM registration:
// - per user: $XDG_CONFIG_HOME/kestrel/registrations.ini, with $HOME/.config
//   standing in for an unset XDG_CONFIG_HOME; DllRegisterServer writes here;
// - system-wide: kestrel/registrations.ini in each folder of the
//   colon-separated $XDG_CONFIG_DIRS (/etc/xdg when unset), written by the
//   package that installs a server.
// A class is looked up per user first. The environment variable
// KESTREL_REGISTRATIONS, when set and not empty, names the one file used
// instead of both levels (an isolated set-up, as tests make).
//
// Format: an INI text. Each class is a section "[Class {CLSID}]" with the keys
// Name, ProgID, InprocServer (absolute path of the library), ThreadingModel
// and TypeLib; each type library a section "[TypeLib {LIBID}]" with Name,
// Version, HelpString and Path. Lines starting with ';' or '#' are comments.

#ifndef TOLLAN_PLATFORM_COM_REGISTRATION_H_
#define TOLLAN_PLATFORM_COM_REGISTRATION_H_

#include <string>
#include <string_view>
#include <vector>

#include "platform/com/com_types.h"

namespace tollan::com {

// Path of the file registrations are written to (see above); empty when
// neither KESTREL_REGISTRATIONS, XDG_CONFIG_HOME nor HOME is set.
std::string RegistrationFilePath();

// The files a class is looked up in, in order: KESTREL_REGISTRATIONS alone
// when set, otherwise the per-user file followed by the system-wide ones.
// Files that do not exist are listed too (they read as empty).
std::vector<std::string> RegistrationSearchPath();

struct ClassRegistration {
  CLSID clsid = GUID_NULL;
  std::string name;             // class name, e.g. "OE"
  std::string prog_id;          // e.g. "Kestrel.OE"; may be empty
  std::string server_path;      // absolute path of the in-process server
  std::string threading_model;  // e.g. "Apartment"
  GUID type_library = GUID_NULL;
};

struct TypeLibraryRegistration {
  GUID id = GUID_NULL;
  std::string name;
  std::string version;
  std::string help_string;
  std::string path;
};

// The contents of one registration file, in memory.
class RegistrationDatabase {
 public:
  // Replaces the contents with those of `text`. On malformed text returns
  // false with the line number and reason in *error; the contents are then
  // unchanged.
  bool Parse(std::string_view text, std::string* error);
  std::string Serialize() const;

  // Reads `path`; a missing file is an empty database.
  bool Load(const std::string& path, std::string* error);
  // Writes `path` completely or not at all (temporary file and rename);
  // creates the folder when needed.
  bool Save(const std::string& path, std::string* error) const;

  // Adds or replaces the entry with the same identity.
  void PutClass(const ClassRegistration& entry);
  void PutTypeLibrary(const TypeLibraryRegistration& entry);
  // Return whether an entry was removed.
  bool RemoveClass(REFCLSID clsid);
  bool RemoveTypeLibrary(REFGUID id);

  const ClassRegistration* FindClass(REFCLSID clsid) const;
  // Programmatic identifiers compare without regard to case.
  const ClassRegistration* FindProgId(std::string_view prog_id) const;
  const TypeLibraryRegistration* FindTypeLibrary(REFGUID id) const;

  const std::vector<ClassRegistration>& classes() const { return classes_; }
  const std::vector<TypeLibraryRegistration>& type_libraries() const { return type_libraries_; }

 private:
  std::vector<ClassRegistration> classes_;
  std::vector<TypeLibraryRegistration> type_libraries_;
};

}  // namespace tollan::com

#endif  // TOLLAN_PLATFORM_COM_REGISTRATION_H_
