#include "registration.h"

#include <objbase.h>
#include <shlwapi.h>

#include <utility>

#include "comerror.h"
#include "handles.h"
#include "vex.h"

namespace qp::reg {

namespace {

constexpr REGSAM kWriteAccess = KEY_READ | KEY_WRITE;
constexpr wchar_t kVersionSuffix[] = L".1";

HKEY RootKey(const Roots& roots, Root root) {
  return root == Root::ClassesRoot ? roots.classesRoot : roots.localMachine;
}

bool IsMissing(LONG error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

LONG SetString(HKEY key, const Value& value) {
  const DWORD bytes = static_cast<DWORD>((value.data.size() + 1) * sizeof(wchar_t));
  return ::RegSetValueExW(key, value.name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.data.c_str()),
                          bytes);
}

HRESULT WriteKey(HKEY parent, const Key& key) {
  if (key.removal == Removal::Whole) {
    const LONG error = ::SHDeleteKeyW(parent, key.name.c_str());
    if (error != ERROR_SUCCESS && !IsMissing(error)) return HRESULT_FROM_WIN32(error);
  }
  unique_hkey opened;
  QP_RETURN_IF_WIN32_ERROR(::RegCreateKeyExW(parent, key.name.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                             kWriteAccess, nullptr, opened.put(), nullptr));
  for (const Value& value : key.values) QP_RETURN_IF_WIN32_ERROR(SetString(opened.get(), value));
  for (const Key& subkey : key.subkeys) QP_RETURN_IF_FAILED(WriteKey(opened.get(), subkey));
  return S_OK;
}

bool IsEmptyKey(HKEY key) {
  DWORD subkeys = 0;
  DWORD values = 0;
  const LONG error = ::RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr,
                                        nullptr, nullptr, nullptr);
  return error == ERROR_SUCCESS && subkeys == 0 && values == 0;
}

void RemoveKey(HKEY parent, const Key& key) {
  if (key.removal == Removal::Whole) {
    ::SHDeleteKeyW(parent, key.name.c_str());
    return;
  }
  bool empty = false;
  {
    unique_hkey opened;
    if (::RegOpenKeyExW(parent, key.name.c_str(), 0, kWriteAccess, opened.put()) != ERROR_SUCCESS) return;
    for (const Key& subkey : key.subkeys) RemoveKey(opened.get(), subkey);
    if (key.removal == Removal::Never) return;
    for (const Value& value : key.values) ::RegDeleteValueW(opened.get(), value.name.c_str());
    empty = IsEmptyKey(opened.get());
  }
  if (empty) ::RegDeleteKeyW(parent, key.name.c_str());
}

}  // namespace

Roots SystemRoots() { return Roots{HKEY_CLASSES_ROOT, HKEY_LOCAL_MACHINE}; }

Key DefaultOnly(std::wstring name, std::wstring value, Removal removal) {
  return Key{std::move(name), removal, {Value{L"", std::move(value)}}, {}};
}

Key UnderPath(const std::wstring& path, Key leaf) {
  const std::size_t split = path.rfind(L'\\');
  Key parent{split == std::wstring::npos ? path : path.substr(split + 1), Removal::IfEmpty, {}, {}};
  parent.subkeys.push_back(std::move(leaf));
  if (split == std::wstring::npos) return parent;
  return UnderPath(path.substr(0, split), std::move(parent));
}

std::wstring GuidText(REFGUID guid) {
  wchar_t text[40] = {};
  const int length = ::StringFromGUID2(guid, text, 40);
  return length > 0 ? std::wstring(text, static_cast<std::size_t>(length - 1)) : std::wstring();
}

HRESULT Write(const Roots& roots, const std::vector<RootedKey>& keys) {
  try {
    for (const RootedKey& rooted : keys) QP_RETURN_IF_FAILED(WriteKey(RootKey(roots, rooted.root), rooted.key));
    return S_OK;
  }
  QP_CATCH_RETURN()
}

void Remove(const Roots& roots, const std::vector<RootedKey>& keys) {
  try {
    for (const RootedKey& rooted : keys) RemoveKey(RootKey(roots, rooted.root), rooted.key);
  }
  QP_CATCH_ALL()
}

std::vector<RootedKey> StandardClassKeys(const ClassNames& names, const std::wstring& modulePath) {
  const std::wstring clsid = GuidText(*names.clsid);
  const std::wstring progId = names.progId;
  const std::wstring versionedProgId = progId + kVersionSuffix;

  Key versioned = DefaultOnly(versionedProgId, names.displayName);
  versioned.subkeys.push_back(DefaultOnly(L"CLSID", clsid));

  Key independent = DefaultOnly(progId, names.displayName);
  independent.subkeys.push_back(DefaultOnly(L"CLSID", clsid));
  independent.subkeys.push_back(DefaultOnly(L"CurVer", versionedProgId));

  Key server = DefaultOnly(L"InprocServer32", modulePath);
  server.values.push_back(Value{L"ThreadingModel", L"Apartment"});

  Key classKey = DefaultOnly(clsid, names.displayName, Removal::Whole);
  classKey.subkeys.push_back(DefaultOnly(L"ProgID", versionedProgId));
  classKey.subkeys.push_back(DefaultOnly(L"VersionIndependentProgID", progId));
  classKey.subkeys.push_back(Key{L"Programmable", Removal::Whole, {}, {}});
  classKey.subkeys.push_back(std::move(server));
  classKey.subkeys.push_back(DefaultOnly(L"TypeLib", GuidText(LIBID_VEXLib)));

  Key classes{L"CLSID", Removal::Never, {}, {}};
  classes.subkeys.push_back(std::move(classKey));

  std::vector<RootedKey> keys;
  keys.push_back(RootedKey{Root::ClassesRoot, std::move(versioned)});
  keys.push_back(RootedKey{Root::ClassesRoot, std::move(independent)});
  keys.push_back(RootedKey{Root::ClassesRoot, std::move(classes)});
  return keys;
}

}  // namespace qp::reg
