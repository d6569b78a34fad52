// Registry entries of the library's COM classes, as trees of keys that are
// written at registration and taken away at unregistration. Each class
// builds its own tree (next to the class); this file only knows how to
// apply and remove one.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace qp::reg {

// What unregistration does with a key.
enum class Removal {
  // Its listed values go, then the key itself when nothing is left in it.
  IfEmpty,
  // Replaced whole at registration, removed whole with all it holds.
  Whole,
  // Only walked through; never removed.
  Never,
};

struct Value {
  std::wstring name;  // empty: the key's default value
  std::wstring data;
};

struct Key {
  std::wstring name;
  Removal removal = Removal::IfEmpty;
  std::vector<Value> values;
  std::vector<Key> subkeys;
};

enum class Root { ClassesRoot, LocalMachine };

struct RootedKey {
  Root root;
  Key key;
};

// The open keys that stand for the two roots (the real ones, or scratch
// keys in tests).
struct Roots {
  HKEY classesRoot;
  HKEY localMachine;
};
Roots SystemRoots();

// A key with only a default value, and one whose name is a path of several
// levels ("A\\B\\C"): every level above the leaf is removed only when empty.
Key DefaultOnly(std::wstring name, std::wstring value, Removal removal = Removal::IfEmpty);
Key UnderPath(const std::wstring& path, Key leaf);

// Registry form of a GUID: braces, upper-case hexadecimal.
std::wstring GuidText(REFGUID guid);

// Writes every key; stops at the first failure and returns it. Keys
// written before the failure stay.
HRESULT Write(const Roots& roots, const std::vector<RootedKey>& keys);
// Removes what Write wrote, as each key's Removal says. Keys or values that
// are already missing count as removed.
void Remove(const Roots& roots, const std::vector<RootedKey>& keys);

// The HKEY_CLASSES_ROOT part every class of the library has: the
// version-dependent and version-independent ProgIDs and the class key with
// ProgID, VersionIndependentProgID, Programmable, InprocServer32 (the
// module path, apartment-threaded) and TypeLib.
struct ClassNames {
  const CLSID* clsid;
  const wchar_t* progId;       // version-independent, "Vex.X"; the versioned one adds ".1"
  const wchar_t* displayName;  // "X Class"
};
std::vector<RootedKey> StandardClassKeys(const ClassNames& names, const std::wstring& modulePath);

}  // namespace qp::reg
