// The onload hook of one page window (CDispLoad) and the second, inert sink
// class (CDispLoad2). The hook takes the place of the page's own onload
// handler; when the page's load event fires it tells its owner, runs the
// page's handler and puts that handler back.
#pragma once

#include <windows.h>
#include <mshtml.h>
#include <wrl/client.h>

#include <cstdint>

#include "comobject.h"
#include "handles.h"
#include "registration.h"
#include "vex.h"

namespace qp {

// What an onload hook reports to the helper object that made it.
class DocumentEventOwner {
 public:
  // A page-window event or ONLOAD_HOOK_CODE.
  virtual void OnDocumentEvent(std::int32_t code) = 0;

 protected:
  ~DocumentEventOwner() = default;
};

// Answered only by this library's own onload hook: the helper object creates
// hooks through COM and reaches their C++ side through this interface, so an
// object of another server registered under the same class is never taken
// for one of ours.
struct IDispLoadSelf : public IUnknown {};

class CDispLoad final : public IDispLoad, public IDispLoadSelf, public com::ComObject<CDispLoad> {
 public:
  static const QITAB kInterfaces[];
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv) noexcept {
    return com::CreateInstance<CDispLoad>(outer, riid, ppv);
  }
  // "Vex.DispLoad", "Vex.DispLoad.1" and the class key.
  static std::vector<reg::RootedKey> RegistryKeys(const std::wstring& modulePath);

  explicit CDispLoad(IUnknown* outer) noexcept : ComObject(outer) {}

  QP_DELEGATING_IUNKNOWN

  // IDispatch
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  // The page's load event: notify the owner, run the page's own handler with
  // the same arguments, restore the page's handler. Always S_OK.
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

  // Puts the hook in place of the window's onload handler, once per hook.
  void HookOnload(IHTMLWindow2* window);
  // Puts the saved handler back; the hook stays tied to its window.
  void RestoreOnload();

  // The helper object to notify; null cuts the link (the owner is going).
  void SetOwner(DocumentEventOwner* owner) noexcept { owner_ = owner; }
  DocumentEventOwner* owner() const noexcept { return owner_; }
  IHTMLWindow2* window() const noexcept { return window_.Get(); }
  const VARIANT& savedOnload() const noexcept { return *savedOnload_.get(); }

 private:
  Microsoft::WRL::ComPtr<IHTMLWindow2> window_;
  DocumentEventOwner* owner_ = nullptr;
  unique_variant savedOnload_;
};

class CDispLoad2 final : public IDispLoad2, public com::ComObject<CDispLoad2> {
 public:
  static const QITAB kInterfaces[];
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv) noexcept {
    return com::CreateInstance<CDispLoad2>(outer, riid, ppv);
  }
  // "Vex.DispLoad2", "Vex.DispLoad2.1" and the class key.
  static std::vector<reg::RootedKey> RegistryKeys(const std::wstring& modulePath);

  explicit CDispLoad2(IUnknown* outer) noexcept : ComObject(outer) {}

  QP_DELEGATING_IUNKNOWN

  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  // E_INVALIDARG without parameters, otherwise S_OK; does nothing.
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;
};

}  // namespace qp

__CRT_UUID_DECL(qp::IDispLoadSelf, 0xcbda000c, 0x8a54, 0x455d, 0xa0, 0x7b, 0x06, 0xf8, 0xec, 0x26, 0x5e, 0x42)

