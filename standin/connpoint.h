// One outgoing event interface of a stand-in object, and the calls that
// deliver its events.
#pragma once

#include <vector>

#include "com.h"

namespace standin {

// Sinks are reached through IDispatch (a sink that does not answer the event
// interface itself is asked for IDispatch, as the browser does). The cookie is
// the slot index + 1; an unknown cookie is refused with CONNECT_E_NOCONNECTION.
// The point is a part of its container: its references are the container's.
class ConnectionPoint final : public IConnectionPoint {
 public:
  ConnectionPoint(IConnectionPointContainer* owner, REFIID iid) : owner_(owner), iid_(iid) {}
  ConnectionPoint(const ConnectionPoint&) = delete;
  ConnectionPoint& operator=(const ConnectionPoint&) = delete;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return owner_->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return owner_->Release(); }

  STDMETHODIMP GetConnectionInterface(IID* iid) override;
  STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** container) override;
  STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override;
  STDMETHODIMP Unadvise(DWORD cookie) override;
  STDMETHODIMP EnumConnections(IEnumConnections** connections) override;

  REFIID iid() const { return iid_; }
  // Answers FindConnectionPoint for this point's interface.
  HRESULT Find(REFIID riid, IConnectionPoint** point);
  // Calls Invoke of every sink connected when the call starts (a sink may
  // unadvise while it runs); args are in the reverse order of the event's.
  void Fire(DISPID id, VARIANTARG* args, UINT count);
  // From now on every Advise is refused (CONNECT_E_ADVISELIMIT), as a browser
  // does that takes no more sinks; scenarios use it to make an attach fail.
  void RefuseAdvise() { refuseAdvise_ = true; }
  // Drops every connection (the owner is going away).
  void Clear() { sinks_.clear(); }
  std::size_t Connected() const;

 private:
  bool refuseAdvise_ = false;
  IConnectionPointContainer* owner_;
  IID iid_;
  std::vector<ComPtr<IDispatch>> sinks_;
};

// VARIANT helpers for event arguments.
inline VARIANTARG ByRefVariant(VARIANT* v) {
  VARIANTARG a;
  ::VariantInit(&a);
  a.vt = VT_BYREF | VT_VARIANT;
  a.pvarVal = v;
  return a;
}

inline VARIANTARG DispatchArg(IDispatch* d) {
  VARIANTARG a;
  ::VariantInit(&a);
  a.vt = VT_DISPATCH;
  a.pdispVal = d;  // borrowed: the caller keeps its reference for the call
  return a;
}

}  // namespace standin
