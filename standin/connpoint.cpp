#include "connpoint.h"

namespace standin {

STDMETHODIMP ConnectionPoint::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IConnectionPoint) {
    *ppv = static_cast<IConnectionPoint*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP ConnectionPoint::GetConnectionInterface(IID* iid) {
  if (!iid) return E_POINTER;
  *iid = iid_;
  return S_OK;
}

STDMETHODIMP ConnectionPoint::GetConnectionPointContainer(IConnectionPointContainer** container) {
  return HandOut(owner_, container);
}

STDMETHODIMP ConnectionPoint::Advise(IUnknown* sink, DWORD* cookie) {
  STANDIN_COM_BEGIN
  if (!cookie) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  if (refuseAdvise_) return CONNECT_E_ADVISELIMIT;
  ComPtr<IDispatch> dispatch;
  if (FAILED(sink->QueryInterface(iid_, reinterpret_cast<void**>(dispatch.GetAddressOf()))) &&
      FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(dispatch.GetAddressOf())))) {
    return CONNECT_E_CANNOTCONNECT;
  }
  for (std::size_t i = 0; i < sinks_.size(); ++i) {
    if (!sinks_[i]) {
      sinks_[i] = dispatch;
      *cookie = static_cast<DWORD>(i + 1);
      return S_OK;
    }
  }
  sinks_.push_back(dispatch);
  *cookie = static_cast<DWORD>(sinks_.size());
  return S_OK;
  STANDIN_COM_END
}

STDMETHODIMP ConnectionPoint::Unadvise(DWORD cookie) {
  if (cookie == 0 || cookie > sinks_.size() || !sinks_[cookie - 1]) return CONNECT_E_NOCONNECTION;
  // Released outside the vector: the sink's last release may call back here.
  ComPtr<IDispatch> sink = std::move(sinks_[cookie - 1]);
  sinks_[cookie - 1].Reset();
  return S_OK;
}

STDMETHODIMP ConnectionPoint::EnumConnections(IEnumConnections** connections) {
  if (connections) *connections = nullptr;
  return E_NOTIMPL;
}

HRESULT ConnectionPoint::Find(REFIID riid, IConnectionPoint** point) {
  if (!point) return E_POINTER;
  *point = nullptr;
  if (riid != iid_) return CONNECT_E_NOCONNECTION;
  *point = this;
  AddRef();
  return S_OK;
}

void ConnectionPoint::Fire(DISPID id, VARIANTARG* args, UINT count) {
  const std::vector<ComPtr<IDispatch>> sinks = sinks_;
  for (const ComPtr<IDispatch>& sink : sinks) {
    if (!sink) continue;
    DISPPARAMS params = {args, nullptr, count, 0};
    sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
  }
}

std::size_t ConnectionPoint::Connected() const {
  std::size_t n = 0;
  for (const auto& sink : sinks_) n += sink ? 1 : 0;
  return n;
}

}  // namespace standin
