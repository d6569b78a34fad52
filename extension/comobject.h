// The small COM plumbing of the library: reference counting with support for
// aggregation, QueryInterface from a table, creation, and the class factory.
//
// A class derives from its interfaces and from ComObject<Self>, lists its
// interfaces in a static QITAB named kInterfaces, and puts
// QP_DELEGATING_IUNKNOWN in its body. Its IUnknown methods then go to the
// controlling unknown: the outer object when it is aggregated, otherwise its
// own non-delegating unknown, which holds the count and answers from the table.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>
#include <unknwn.h>

#include "comerror.h"
#include "module.h"

namespace qp::com {

template <class Derived>
class ComObject {
 public:
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  // The unknown that every interface of the object delegates to.
  IUnknown* ControllingUnknown() const noexcept { return controlling_; }
  // The non-delegating unknown: the object's identity when it stands alone,
  // the outer object's handle on it when aggregated.
  IUnknown* InnerUnknown() noexcept { return &inner_; }

 protected:
  explicit ComObject(IUnknown* outer) noexcept : inner_(this), controlling_(outer ? outer : &inner_) {
    module::Lock();
  }
  virtual ~ComObject() { module::Unlock(); }

 private:
  class Inner final : public IUnknown {
   public:
    explicit Inner(ComObject* owner) noexcept : owner_(owner) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
      if (ppv == nullptr) return E_POINTER;
      *ppv = nullptr;
      if (IsEqualIID(riid, IID_IUnknown)) {
        *ppv = static_cast<IUnknown*>(this);
        AddRef();
        return S_OK;
      }
      // QISearch adds the reference through the found interface, that is
      // to the controlling unknown, as aggregation requires.
      return ::QISearch(static_cast<Derived*>(owner_), Derived::kInterfaces, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(::InterlockedIncrement(&refs_)); }
    STDMETHODIMP_(ULONG) Release() override {
      const LONG refs = ::InterlockedDecrement(&refs_);
      if (refs == 0) delete owner_;
      return static_cast<ULONG>(refs);
    }

   private:
    ComObject* owner_;
    LONG refs_ = 1;
  };

  Inner inner_;
  IUnknown* controlling_;
};

// Creates an object of class T (constructed from its outer unknown) and
// answers the asked-for interface. An outer object may only ask for IUnknown.
template <class T>
HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) noexcept {
  if (ppv == nullptr) return E_POINTER;
  *ppv = nullptr;
  if (outer != nullptr && !IsEqualIID(riid, IID_IUnknown)) return CLASS_E_NOAGGREGATION;
  try {
    T* object = new T(outer);
    IUnknown* inner = object->InnerUnknown();  // the creation reference
    const HRESULT hr = inner->QueryInterface(riid, ppv);
    inner->Release();
    return hr;
  }
  QP_CATCH_RETURN()
}

using Creator = HRESULT (*)(IUnknown* outer, REFIID riid, void** ppv);

// The class object of one class. It lives as long as the library: a
// reference handed out, like a LockServer(TRUE), keeps the library loaded
// until it is given back.
class ClassFactory final : public IClassFactory {
 public:
  explicit ClassFactory(Creator create) noexcept : create_(create) {}
  ClassFactory(const ClassFactory&) = delete;
  ClassFactory& operator=(const ClassFactory&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    module::Lock();
    return static_cast<ULONG>(::InterlockedIncrement(&refs_)) + 1;  // + the library's own
  }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG refs = ::InterlockedDecrement(&refs_);
    module::Unlock();
    return static_cast<ULONG>(refs) + 1;
  }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    return create_(outer, riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL lock) override {
    if (lock) {
      module::Lock();
    } else {
      module::Unlock();
    }
    return S_OK;
  }

 private:
  Creator create_;
  LONG refs_ = 0;  // references handed out
};

}  // namespace qp::com

// The IUnknown methods of every interface of a ComObject: all go to the
// controlling unknown.
#define QP_DELEGATING_IUNKNOWN                                                \
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {             \
    return ControllingUnknown()->QueryInterface(riid, ppv);                   \
  }                                                                           \
  STDMETHODIMP_(ULONG) AddRef() override { return ControllingUnknown()->AddRef(); } \
  STDMETHODIMP_(ULONG) Release() override { return ControllingUnknown()->Release(); }
