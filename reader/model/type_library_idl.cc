// IDL text of the type library.

#include "reader/model/type_library_idl.h"

#include <cstdio>

#include "platform/com/guid.h"

namespace kestrel {
namespace {

// An IDL string literal.
std::string Quote(const char* text) {
  std::string out = "\"";
  for (const char* p = text; *p != 0; ++p) {
    switch (*p) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default: out += *p;
    }
  }
  return out + "\"";
}

// The GUID without braces, as uuid() takes it.
std::string Uuid(const GUID& guid) {
  const std::string text = tollan::com::GuidToString(guid);
  return text.substr(1, text.size() - 2);
}

std::string Dispid(DISPID id) {
  char buffer[16];
  if (id < 0) {
    std::snprintf(buffer, sizeof(buffer), "%d", static_cast<int>(id));
  } else {
    std::snprintf(buffer, sizeof(buffer), "0x%08x", static_cast<unsigned>(id));
  }
  return buffer;
}

std::string InterfaceOf(const char* class_name) {
  const ClassInfo* info = FindClassByName(class_name);
  return info != nullptr ? info->interface_name : "IDispatch";
}

// The C type of a value of `type`.
std::string IdlType(TypeCode type, const char* class_name) {
  switch (type) {
    case TypeCode::kBoolean: return "VARIANT_BOOL";
    case TypeCode::kInteger: return "short";
    case TypeCode::kLong: return "long";
    case TypeCode::kString: return "BSTR";
    case TypeCode::kDate: return "DATE";
    case TypeCode::kVariant: return "VARIANT";
    case TypeCode::kObject: return InterfaceOf(class_name) + "*";
    case TypeCode::kUnknown: return "IUnknown*";
    case TypeCode::kVoid: break;
  }
  return "void";
}

std::string Member(const MemberInfo& m) {
  std::string attributes = "id(" + Dispid(m.dispid) + ")";
  if (m.kind == MemberKind::kGet) attributes += ", propget";
  if (m.kind == MemberKind::kLet) attributes += ", propput";
  if (m.help != nullptr) attributes += ", helpstring(" + Quote(m.help) + ")";
  if (m.hidden) attributes += ", hidden";
  std::string params;
  for (const ParamInfo& p : m.params) {
    if (!params.empty()) params += ", ";
    std::string direction = p.by_ref ? "in, out" : "in";
    if (p.optional) {
      direction += ", optional, defaultvalue(" + std::to_string(p.default_value) + ")";
    }
    params += "[" + direction + "] " + IdlType(p.type, nullptr) + (p.by_ref ? "* " : " ") + p.name;
  }
  if (m.result != TypeCode::kVoid) {
    if (!params.empty()) params += ", ";
    params += "[out, retval] " + IdlType(m.result, m.result_class) + "* retval";
  }
  return "        [" + attributes + "]\n        HRESULT " + m.name + "(" + params + ");\n";
}

}  // namespace

std::string FormatIdl(const LibraryInfo& library) {
  std::string out =
      "// The Kestrel type library. Written by `kestrel typelib --idl` from the\n"
      "// component's type table (reader/model/type_library.cc); do not edit by hand.\n\n"
      "import \"oaidl.idl\";\n\n";
  out += "[\n    uuid(" + Uuid(library.libid) + "),\n    version(" +
         std::to_string(library.major_version) + "." + std::to_string(library.minor_version) +
         "),\n    lcid(" + std::to_string(library.lcid) + "),\n    helpstring(" +
         Quote(library.help) + ")\n]\nlibrary " + library.name + "\n{\n";
  out += "    importlib(\"" + std::string(library.imports) + ".tlb\");\n\n";
  for (const ClassInfo& c : library.classes) {
    out += "    interface " + std::string(c.interface_name) + ";\n";
  }
  for (const ClassInfo& c : library.classes) {
    out += "\n    [\n        odl,\n        uuid(" + Uuid(c.iid) + "),\n";
    if (c.help != nullptr) out += "        helpstring(" + Quote(c.help) + "),\n";
    out += "        hidden,\n        dual,\n        nonextensible,\n        oleautomation\n"
           "    ]\n    interface " + std::string(c.interface_name) + " : IDispatch\n    {\n";
    for (const MemberInfo& m : c.members) out += Member(m);
    out += "    };\n";
  }
  for (const ClassInfo& c : library.classes) {
    out += "\n    [\n        uuid(" + Uuid(c.clsid) + ")";
    if (c.help != nullptr) out += ",\n        helpstring(" + Quote(c.help) + ")";
    if (!c.creatable) out += ",\n        noncreatable";
    out += "\n    ]\n    coclass " + std::string(c.name) + "\n    {\n        [default] interface " +
           c.interface_name + ";\n    };\n";
  }
  out += "};\n";
  return out;
}

}  // namespace kestrel
