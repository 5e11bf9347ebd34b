// The type information of the Kestrel component: the library, its nine
// classes with their identities and help strings, and every member of their
// dual interfaces in interface order, with dispatch identifiers, parameters,
// optional defaults, result types and help strings.
//
// This table is the single description of the component's surface: the
// late-bound dispatch (dispatch.h), the server registration and the
// `kestrel typelib` listing all read it.

#ifndef TOLLAN_READER_MODEL_TYPE_LIBRARY_H_
#define TOLLAN_READER_MODEL_TYPE_LIBRARY_H_

#include <span>
#include <string>
#include <string_view>

#include "platform/com/interfaces.h"

namespace kestrel {

// Automation types at the component boundary.
enum class TypeCode {
  kVoid,
  kBoolean,  // VARIANT_BOOL, true = -1
  kInteger,  // signed 16-bit
  kLong,     // signed 32-bit
  kString,   // BSTR
  kDate,     // DATE
  kVariant,  // VARIANT
  kObject,   // an interface of the component (ParamInfo/MemberInfo name it)
  kUnknown,  // IUnknown (enumerators)
};

// The VARIANT type tag of a TypeCode (VT_EMPTY for kVoid).
VARTYPE VariantTypeOf(TypeCode type);
// The automation name of a type ("Boolean", "Long", ...).
std::string_view TypeName(TypeCode type);

enum class MemberKind { kGet, kLet, kMethod };

struct ParamInfo {
  const char* name;
  TypeCode type;
  bool by_ref;
  bool optional;
  // Default of an optional parameter; every optional parameter of the
  // component is a Boolean, so the default is its VARIANT_BOOL value.
  VARIANT_BOOL default_value;
};

struct MemberInfo {
  int position;  // 1-based, after the seven IUnknown/IDispatch methods
  MemberKind kind;
  const char* name;
  DISPID dispid;
  std::span<const ParamInfo> params;
  TypeCode result;
  const char* result_class;  // class name for kObject results, else null
  const char* help;          // null for none
  bool hidden;
};

// Classes of the component, in type-library order.
enum class ClassId {
  kOE,
  kOEFolders,
  kOEFolder,
  kOEMessages,
  kOEMessage,
  kOEMsgSegments,
  kOEMsgSegment,
  kOEIdentities,
  kOEIdentity,
};
inline constexpr int kClassCount = 9;

struct ClassInfo {
  ClassId id;
  const char* name;            // "OEFolder"
  const char* interface_name;  // "_OEFolder"
  CLSID clsid;
  IID iid;
  // Further interface identities the class answers to (OEMsgSegment keeps
  // the identity of an earlier version of its interface).
  std::span<const IID> other_iids;
  bool creatable;
  const char* help;  // class and interface help string; null for none
  std::span<const MemberInfo> members;
};

struct LibraryInfo {
  const char* name;
  GUID libid;
  WORD major_version;
  WORD minor_version;
  LCID lcid;
  const char* help;
  const char* imports;  // the standard automation library
  std::span<const ClassInfo> classes;
};

const LibraryInfo& KestrelLibrary();
const ClassInfo& ClassOf(ClassId id);
// By class name, case-insensitive; null when unknown.
const ClassInfo* FindClassByName(std::string_view name);
// The programmatic identifier of a creatable class: "Kestrel.OE".
std::string ProgIdOf(const ClassInfo& info);

}  // namespace kestrel

#endif  // TOLLAN_READER_MODEL_TYPE_LIBRARY_H_
