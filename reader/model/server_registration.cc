// Writing and removing the server's registrations.

#include "reader/model/server_registration.h"

#include "platform/com/registration.h"
#include "reader/model/type_library.h"

namespace kestrel {

bool RegisterServer(const std::string& library_path, std::string* error) {
  const std::string file = tollan::com::RegistrationFilePath();
  if (file.empty()) {
    *error = "no registration file: set KESTREL_REGISTRATIONS, XDG_CONFIG_HOME or HOME";
    return false;
  }
  tollan::com::RegistrationDatabase database;
  if (!database.Load(file, error)) return false;
  const LibraryInfo& library = KestrelLibrary();
  tollan::com::TypeLibraryRegistration type_library;
  type_library.id = library.libid;
  type_library.name = library.name;
  type_library.version =
      std::to_string(library.major_version) + "." + std::to_string(library.minor_version);
  type_library.help_string = library.help;
  type_library.path = library_path;
  database.PutTypeLibrary(type_library);
  for (const ClassInfo& info : library.classes) {
    if (!info.creatable) continue;
    tollan::com::ClassRegistration entry;
    entry.clsid = info.clsid;
    entry.name = info.name;
    entry.prog_id = ProgIdOf(info);
    entry.server_path = library_path;
    entry.threading_model = "Apartment";
    entry.type_library = library.libid;
    database.PutClass(entry);
  }
  return database.Save(file, error);
}

bool UnregisterServer(std::string* error) {
  const std::string file = tollan::com::RegistrationFilePath();
  if (file.empty()) {
    *error = "no registration file: set KESTREL_REGISTRATIONS, XDG_CONFIG_HOME or HOME";
    return false;
  }
  tollan::com::RegistrationDatabase database;
  if (!database.Load(file, error)) return false;
  const LibraryInfo& library = KestrelLibrary();
  bool changed = database.RemoveTypeLibrary(library.libid);
  for (const ClassInfo& info : library.classes) {
    if (info.creatable) changed = database.RemoveClass(info.clsid) || changed;
  }
  return !changed || database.Save(file, error);
}

}  // namespace kestrel
