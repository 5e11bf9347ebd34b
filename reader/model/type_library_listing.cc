// Text listing of the type library.

#include "reader/model/type_library_listing.h"

#include <cstdio>

#include "platform/com/guid.h"

namespace kestrel {
namespace {

// A help string in double quotes, with quotes, backslashes and line breaks
// escaped so that each member stays on one line.
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

std::string DispidText(DISPID id) {
  char buffer[16];
  if (id < 0) {
    std::snprintf(buffer, sizeof(buffer), "%d", static_cast<int>(id));
  } else {
    std::snprintf(buffer, sizeof(buffer), "0x%08X", static_cast<unsigned>(id));
  }
  return buffer;
}

std::string TypeText(TypeCode type, const char* class_name) {
  if (type == TypeCode::kObject && class_name != nullptr) return class_name;
  return std::string(TypeName(type));
}

const char* KindText(MemberKind kind) {
  switch (kind) {
    case MemberKind::kGet: return "get";
    case MemberKind::kLet: return "let";
    case MemberKind::kMethod: return "method";
  }
  return "";
}

}  // namespace

std::string FormatMember(const MemberInfo& m) {
  std::string line = std::to_string(m.position) + " " + KindText(m.kind) + " " + m.name + " " +
                     DispidText(m.dispid);
  if (m.dispid == 0 && m.kind != MemberKind::kLet) line += " default";
  if (m.hidden) line += " hidden";
  line += " (";
  for (size_t i = 0; i < m.params.size(); ++i) {
    const ParamInfo& p = m.params[i];
    if (i > 0) line += ", ";
    if (p.optional) line += "Optional ";
    line += p.by_ref ? "ByRef " : "ByVal ";
    line += std::string(p.name) + " As " + std::string(TypeName(p.type));
    if (p.optional) line += p.default_value != 0 ? " = True" : " = False";
  }
  line += ")";
  if (m.result != TypeCode::kVoid) line += " As " + TypeText(m.result, m.result_class);
  if (m.help != nullptr) line += " helpstring " + Quote(m.help);
  return line;
}

std::string FormatTypeLibrary(const LibraryInfo& library) {
  std::string out = "library " + std::string(library.name) + " " +
                    tollan::com::GuidToString(library.libid) + " version " +
                    std::to_string(library.major_version) + "." +
                    std::to_string(library.minor_version) + " lcid " +
                    std::to_string(library.lcid) + "\n";
  out += "  helpstring " + Quote(library.help) + "\n";
  out += "  importlib " + std::string(library.imports) + "\n";
  for (const ClassInfo& c : library.classes) {
    out += "\ncoclass " + std::string(c.name) + " " + tollan::com::GuidToString(c.clsid);
    if (c.creatable) out += " creatable progid " + ProgIdOf(c);
    out += "\n";
    if (c.help != nullptr) out += "  helpstring " + Quote(c.help) + "\n";
    out += "  interface " + std::string(c.interface_name) + " " + tollan::com::GuidToString(c.iid) +
           " dual oleautomation nonextensible hidden\n";
    for (const IID& other : c.other_iids) {
      out += "  also answers " + tollan::com::GuidToString(other) + "\n";
    }
    for (const MemberInfo& m : c.members) out += "    " + FormatMember(m) + "\n";
  }
  return out;
}

}  // namespace kestrel
