// kestrel register / unregister: loads the Kestrel server library and calls
// its DllRegisterServer / DllUnregisterServer, as a COM registration tool
// does. The library defaults to the one shipped with this tool (the same
// build tree or install prefix; on Windows kestrel.dll beside the program).
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/com/activation.h"
#include "platform/com/errors.h"
#include "tools/kestrel/com_commands.h"
#include "tools/kestrel/commands.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>

#include "platform/com/registration.h"
#endif

namespace kestrel {
namespace {

#if defined(_WIN32)
int CallEntryPoint(std::string library, const char* entry_point, const char* done) {
  if (library.empty()) library = "kestrel.dll";
  HMODULE handle = LoadLibraryA(library.c_str());
  if (handle == nullptr) {
    return Fail("cannot load " + library + ": system error " + std::to_string(GetLastError()));
  }
  using EntryPoint = HRESULT(COMCALL*)();
  auto call = reinterpret_cast<EntryPoint>(
      reinterpret_cast<void*>(GetProcAddress(handle, entry_point)));
  if (call == nullptr) {
    FreeLibrary(handle);
    return Fail(library + " exports no " + entry_point + "; it is not a COM server library");
  }
  OleInitialize(nullptr);
  const HRESULT hr = call();
  const tollan::com::ErrorRecord error = tollan::com::TakeError(hr);
  OleUninitialize();
  FreeLibrary(handle);
  if (FAILED(hr)) return Fail(std::string(entry_point) + " failed: " + error.description);
  std::printf("%s %s in the system registry\n", done, library.c_str());
  return 0;
}
#else
int CallEntryPoint(std::string library, const char* entry_point, const char* done) {
  if (library.empty()) {
    const std::vector<std::string> shipped = tollan::com::BundledServerPaths();
    if (shipped.empty()) return Fail("no server library ships with kestrel here; name one");
    library = shipped.front();
  }
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    return Fail("cannot load " + library + ": " + (reason != nullptr ? reason : "unknown reason"));
  }
  using EntryPoint = HRESULT(COMCALL*)();
  auto call = reinterpret_cast<EntryPoint>(dlsym(handle, entry_point));
  if (call == nullptr) {
    dlclose(handle);
    return Fail(library + " exports no " + entry_point + "; it is not a COM server library");
  }
  const HRESULT hr = call();
  const tollan::com::ErrorRecord error = tollan::com::TakeError(hr);
  dlclose(handle);
  if (FAILED(hr)) return Fail(std::string(entry_point) + " failed: " + error.description);
  std::printf("%s %s in %s\n", done, library.c_str(),
              tollan::com::RegistrationFilePath().c_str());
  return 0;
}
#endif

}  // namespace

void AddRegisterCommands(CLI::App& app, int* exit_code) {
  auto library = std::make_shared<std::string>();
  CLI::App* reg = app.add_subcommand(
      "register",
#if defined(_WIN32)
      "Register the Kestrel server library in the system registry");
#else
      "Register the Kestrel server library (file: $KESTREL_REGISTRATIONS, else "
      "$XDG_CONFIG_HOME/kestrel/registrations.ini)");
#endif
  reg->add_option("LIBRARY", *library, "The server library (default: the one shipped with kestrel)");
  reg->callback([library, exit_code] {
    *exit_code = CallEntryPoint(*library, "DllRegisterServer", "registered");
  });

  auto unlibrary = std::make_shared<std::string>();
  CLI::App* unreg = app.add_subcommand("unregister", "Remove the Kestrel server's registrations");
  unreg->add_option("LIBRARY", *unlibrary, "The server library (default: the one shipped with kestrel)");
  unreg->callback([unlibrary, exit_code] {
    *exit_code = CallEntryPoint(*unlibrary, "DllUnregisterServer", "unregistered");
  });
}

}  // namespace kestrel
