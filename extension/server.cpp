#include "server.h"

#include <oleauto.h>
#include <wrl/client.h>

#include "closepopup.h"
#include "comobject.h"
#include "dispload.h"
#include "module.h"

namespace qp::server {

namespace {

struct ClassEntry {
  const CLSID* clsid;
  com::ClassFactory* factory;
  std::vector<reg::RootedKey> (*registryKeys)(const std::wstring& modulePath);
};

com::ClassFactory g_closePopupFactory(CClosePopup::Create);
com::ClassFactory g_dispLoadFactory(CDispLoad::Create);
com::ClassFactory g_dispLoad2Factory(CDispLoad2::Create);

// The classes of the library, in registration order.
const ClassEntry kClasses[] = {
    {&CLSID_ClosePopup, &g_closePopupFactory, CClosePopup::RegistryKeys},
    {&CLSID_DispLoad, &g_dispLoadFactory, CDispLoad::RegistryKeys},
    {&CLSID_DispLoad2, &g_dispLoad2Factory, CDispLoad2::RegistryKeys},
};

}  // namespace

HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  for (const ClassEntry& entry : kClasses) {
    if (IsEqualCLSID(clsid, *entry.clsid)) return entry.factory->QueryInterface(riid, ppv);
  }
  return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow() { return module::LockCount() == 0 ? S_OK : S_FALSE; }

HRESULT RegisterClasses(const reg::Roots& roots, const std::wstring& modulePath) {
  try {
    for (const ClassEntry& entry : kClasses) QP_RETURN_IF_FAILED(reg::Write(roots, entry.registryKeys(modulePath)));
    return S_OK;
  }
  QP_CATCH_RETURN()
}

void UnregisterClasses(const reg::Roots& roots, const std::wstring& modulePath) {
  try {
    for (const ClassEntry& entry : kClasses) reg::Remove(roots, entry.registryKeys(modulePath));
  }
  QP_CATCH_ALL()
}

HRESULT RegisterTypeLibrary(const std::wstring& modulePath) {
  Microsoft::WRL::ComPtr<ITypeLib> typeLib;
  QP_RETURN_IF_FAILED(::LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &typeLib));
  std::wstring path = modulePath;
  return ::RegisterTypeLib(typeLib.Get(), &path[0], nullptr);
}

HRESULT UnregisterTypeLibrary(const std::wstring& modulePath) {
  Microsoft::WRL::ComPtr<ITypeLib> typeLib;
  QP_RETURN_IF_FAILED(::LoadTypeLibEx(modulePath.c_str(), REGKIND_NONE, &typeLib));
  TLIBATTR* attributes = nullptr;
  QP_RETURN_IF_FAILED(typeLib->GetLibAttr(&attributes));
  const TLIBATTR copy = *attributes;
  typeLib->ReleaseTLibAttr(attributes);
  return ::UnRegisterTypeLib(copy.guid, copy.wMajorVerNum, copy.wMinorVerNum, copy.lcid, copy.syskind);
}

}  // namespace qp::server
