// Helpers shared by the stand-in's COM objects.
//
// Error policy of the stand-in: its own logic raises C++ exceptions
// (std::runtime_error for a scenario that cannot be carried out); every COM
// method that does more than hand out a stored value runs inside
// STANDIN_COM_BEGIN / STANDIN_COM_END, so nothing unwinds into a caller's
// frames, and answers an HRESULT. Window procedures and thread entries catch
// everything in the same way and report it as an error record.
#pragma once

#include <windows.h>
#include <ole2.h>
#include <ocidl.h>
#include <olectl.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <new>
#include <string>

#include "handles.h"

namespace standin {

using Microsoft::WRL::ComPtr;
using qp::unique_bstr;
using qp::unique_handle;
using qp::unique_hfile;
using qp::unique_hkey;
using qp::unique_variant;

#define STANDIN_RETURN_IF_FAILED(expr) \
  do {                                 \
    const HRESULT hr_ = (expr);        \
    if (FAILED(hr_)) return hr_;       \
  } while (0)

#define STANDIN_COM_BEGIN try {
#define STANDIN_COM_END                 \
  }                                     \
  catch (const std::bad_alloc&) {       \
    return E_OUTOFMEMORY;               \
  }                                     \
  catch (...) {                         \
    return E_UNEXPECTED;                \
  }

// Reference count of every stand-in object. Atomic because the hidden
// browser's object is also held and released by the thread that asked for it.
class RefCount {
 public:
  ULONG Add() { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
  ULONG Sub() { return static_cast<ULONG>(::InterlockedDecrement(&refs_)); }

 private:
  LONG refs_ = 1;
};

// IUnknown of a concrete class with a static QiTable() and a RefCount refs_.
#define STANDIN_IUNKNOWN(Class)                                          \
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {        \
    if (!ppv) return E_POINTER;                                          \
    return ::QISearch(this, Class::QiTable(), riid, ppv);                \
  }                                                                      \
  STDMETHODIMP_(ULONG) AddRef() override { return refs_.Add(); }         \
  STDMETHODIMP_(ULONG) Release() override {                              \
    const ULONG left = refs_.Sub();                                      \
    if (left == 0) delete this;                                          \
    return left;                                                         \
  }

// IDispatch of an object that is reached through its vtable only: no type
// information and no names.
#define STANDIN_NO_DISPATCH_NAMES                                                                \
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {                                          \
    if (!count) return E_POINTER;                                                                \
    *count = 0;                                                                                  \
    return S_OK;                                                                                 \
  }                                                                                              \
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override {                              \
    if (info) *info = nullptr;                                                                   \
    return DISP_E_BADINDEX;                                                                      \
  }                                                                                              \
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) override {        \
    if (ids)                                                                                     \
      for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;                                  \
    return DISP_E_UNKNOWNNAME;                                                                   \
  }                                                                                              \
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override { \
    return DISP_E_MEMBERNOTFOUND;                                                                \
  }

// Takes over a reference that the caller already owns. mingw-w64's
// ComPtr::Attach adds a reference of its own, so it is never used for this.
template <class T>
ComPtr<T> Adopt(T* owned) {
  ComPtr<T> held;
  *held.ReleaseAndGetAddressOf() = owned;
  return held;
}

// Creates a concrete object with its first reference held by the result.
template <class T, class... Args>
ComPtr<T> MakeObject(Args&&... args) {
  return Adopt(new T(std::forward<Args>(args)...));
}

// A BSTR copy of a wide string for an out-parameter; E_OUTOFMEMORY when none can be made.
inline HRESULT CopyBstr(const std::wstring& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

// Hands out a new reference of iface (may be null) through out.
template <class I>
HRESULT HandOut(I* iface, I** out) {
  if (!out) return E_POINTER;
  *out = iface;
  if (iface) iface->AddRef();
  return S_OK;
}

// The object's identity: its IUnknown.
inline ComPtr<IUnknown> Identity(IUnknown* object) {
  ComPtr<IUnknown> identity;
  if (object) object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(identity.GetAddressOf()));
  return identity;
}

std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
std::string HexValue(unsigned long value);
std::string GuidText(REFGUID guid);

}  // namespace standin
