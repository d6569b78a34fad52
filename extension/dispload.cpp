#include "dispload.h"

#include "dispatch.h"
#include "popupguard.h"

namespace qp {

const QITAB CDispLoad::kInterfaces[] = {
    QITABENT(CDispLoad, IDispLoad),
    QITABENTMULTI(CDispLoad, IDispatch, IDispLoad),
    QITABENT(CDispLoad, IDispLoadSelf),
    {nullptr, 0},
};

std::vector<reg::RootedKey> CDispLoad::RegistryKeys(const std::wstring& modulePath) {
  return reg::StandardClassKeys({&CLSID_DispLoad, L"Vex.DispLoad", L"DispLoad Class"}, modulePath);
}

STDMETHODIMP CDispLoad::GetTypeInfoCount(UINT* count) { return DispatchTypeInfoCount(count); }

STDMETHODIMP CDispLoad::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return DispatchTypeInfo(IID_IDispLoad, index, info);
}

STDMETHODIMP CDispLoad::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return DispatchIDsOfNames(IID_IDispLoad, riid, names, count, ids);
}

STDMETHODIMP CDispLoad::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                               EXCEPINFO* exception, UINT* argError) {
  try {
    if (owner_ == nullptr) return S_OK;
    Microsoft::WRL::ComPtr<IDispLoad> self(this);  // alive until the handler is back in place
    owner_->OnDocumentEvent(ONLOAD_HOOK_CODE);
    const VARIANT& saved = *savedOnload_.get();
    if (V_VT(&saved) == VT_DISPATCH && V_DISPATCH(&saved) != nullptr) {
      Microsoft::WRL::ComPtr<IDispatch> handler(V_DISPATCH(&saved));
      handler->Invoke(id, riid, lcid, flags, params, result, exception, argError);
    }
    RestoreOnload();
  }
  QP_CATCH_ALL()
  return S_OK;
}

void CDispLoad::HookOnload(IHTMLWindow2* window) {
  if (window == nullptr || window_) return;
  window_ = window;
  if (FAILED(window_->get_onload(savedOnload_.put()))) return;
  unique_variant hook;
  V_VT(hook.get()) = VT_DISPATCH;
  V_DISPATCH(hook.get()) = static_cast<IDispatch*>(this);
  AddRef();
  window_->put_onload(*hook.get());
}

void CDispLoad::RestoreOnload() {
  // The window may hold the last reference to this hook.
  Microsoft::WRL::ComPtr<IDispLoad> self(this);
  if (window_) window_->put_onload(*savedOnload_.get());
  savedOnload_.clear();
}

const QITAB CDispLoad2::kInterfaces[] = {
    QITABENT(CDispLoad2, IDispLoad2),
    QITABENTMULTI(CDispLoad2, IDispatch, IDispLoad2),
    {nullptr, 0},
};

std::vector<reg::RootedKey> CDispLoad2::RegistryKeys(const std::wstring& modulePath) {
  return reg::StandardClassKeys({&CLSID_DispLoad2, L"Vex.DispLoad2", L"DispLoad2 Class"}, modulePath);
}

STDMETHODIMP CDispLoad2::GetTypeInfoCount(UINT* count) { return DispatchTypeInfoCount(count); }

STDMETHODIMP CDispLoad2::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return DispatchTypeInfo(IID_IDispLoad2, index, info);
}

STDMETHODIMP CDispLoad2::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return DispatchIDsOfNames(IID_IDispLoad2, riid, names, count, ids);
}

STDMETHODIMP CDispLoad2::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
  return params == nullptr ? E_INVALIDARG : S_OK;
}

}  // namespace qp
