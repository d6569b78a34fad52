// The helper object's connections to the page windows of its browser, top
// page and frames alike: their onload, onunload and onbeforeunload reach
// Invoke, and each page window seen the first time gets an onload hook.
#include <mshtmdid.h>

#include "closepopup.h"

namespace qp {

namespace {

using Microsoft::WRL::ComPtr;

// Two page-window references denote the same window when both give the same
// IUnknown; two empty references are the same too.
bool SameWindow(IUnknown* a, IUnknown* b) {
  if (a == nullptr || b == nullptr) return a == b;
  ComPtr<IUnknown> ia, ib;
  if (FAILED(a->QueryInterface(IID_PPV_ARGS(&ia))) || FAILED(b->QueryInterface(IID_PPV_ARGS(&ib)))) return false;
  return ia.Get() == ib.Get();
}

HRESULT WindowEventsPoint(IUnknown* window, ComPtr<IConnectionPoint>& point) {
  ComPtr<IConnectionPointContainer> container;
  QP_RETURN_IF_FAILED(window->QueryInterface(IID_PPV_ARGS(&container)));
  QP_RETURN_IF_FAILED(container->FindConnectionPoint(DIID_HTMLWindowEvents, &point));
  return point ? S_OK : E_POINTER;
}

// The page window of the document a browser object shows.
HRESULT PageWindowOf(IWebBrowser2* pageBrowser, ComPtr<IHTMLWindow2>& window) {
  ComPtr<IDispatch> document;
  if (pageBrowser->get_Document(&document) != S_OK || !document) return E_POINTER;
  ComPtr<IHTMLDocument2> html;
  if (FAILED(document.As(&html)) || !html) return E_POINTER;
  if (FAILED(html->get_parentWindow(&window)) || !window) return E_POINTER;
  return S_OK;
}

HRESULT AllElementsOf(IWebBrowser2* pageBrowser, ComPtr<IHTMLElementCollection>& all, long& length) {
  ComPtr<IDispatch> document;
  if (pageBrowser->get_Document(&document) != S_OK || !document) return E_POINTER;
  ComPtr<IHTMLDocument2> html;
  if (FAILED(document.As(&html)) || !html) return E_POINTER;
  if (FAILED(html->get_all(&all)) || !all) return E_POINTER;
  if (FAILED(all->get_length(&length))) return E_POINTER;
  return S_OK;
}

}  // namespace

HRESULT CollectionItem(IHTMLElementCollection* all, long position, ComPtr<IDispatch>& element) {
  VARIANT name;
  V_VT(&name) = VT_I4;
  V_I4(&name) = position;
  VARIANT index;
  V_VT(&index) = VT_I4;
  V_I4(&index) = 0;
  element.Reset();
  return all->item(name, index, &element);
}

HRESULT CClosePopup::AdviseWindow(IUnknown* window, DWORD& cookie) {
  ComPtr<IConnectionPoint> point;
  QP_RETURN_IF_FAILED(WindowEventsPoint(window, point));
  return point->Advise(ControllingUnknown(), &cookie);
}

HRESULT CClosePopup::UnadviseWindow(IUnknown* window, DWORD cookie) {
  ComPtr<IConnectionPoint> point;
  QP_RETURN_IF_FAILED(WindowEventsPoint(window, point));
  return point->Unadvise(cookie);
}

HRESULT CClosePopup::ConnectWin(IWebBrowser2* pageBrowser) {
  try {
    if (pageBrowser == nullptr) return E_POINTER;
    ComPtr<IHTMLWindow2> window;
    QP_RETURN_IF_FAILED(PageWindowOf(pageBrowser, window));

    for (WindowConnection& known : windowConnections) {
      if (!SameWindow(known.window.Get(), window.Get())) continue;
      UnadviseWindow(known.window.Get(), known.cookie);
      DWORD cookie = 0;
      QP_RETURN_IF_FAILED(AdviseWindow(window.Get(), cookie));
      known.window = window;
      known.cookie = cookie;
      return S_OK;
    }

    DWORD cookie = 0;
    QP_RETURN_IF_FAILED(AdviseWindow(window.Get(), cookie));
    ComPtr<IDispLoad> created;
    HRESULT hr = ::CoCreateInstance(CLSID_DispLoad, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&created));
    ComPtr<IDispLoadSelf> self;
    if (SUCCEEDED(hr) && (!created || FAILED(created.As(&self)) || !self)) hr = E_NOINTERFACE;
    if (FAILED(hr)) {
      // Without an entry the connection could never be undone: the page
      // window would keep this object alive and calling it for good.
      UnadviseWindow(window.Get(), cookie);
      return hr;
    }
    ComPtr<CDispLoad> hook(static_cast<CDispLoad*>(self.Get()));
    hook->SetOwner(this);
    hook->HookOnload(window.Get());
    windowConnections.push_back(WindowConnection{window, cookie});
    onloadHooks.push_back(hook);
    return S_OK;
  } catch (...) {
    return E_POINTER;
  }
}

HRESULT CClosePopup::ReconnectWin(IWebBrowser2* pageBrowser) {
  try {
    if (pageBrowser == nullptr) return E_POINTER;
    ConnectWin(pageBrowser);
    ComPtr<IHTMLElementCollection> all;
    long length = 0;
    QP_RETURN_IF_FAILED(AllElementsOf(pageBrowser, all, length));
    for (long i = 0; i < length; ++i) {
      try {
        ComPtr<IDispatch> element;
        if (FAILED(CollectionItem(all.Get(), i, element)) || !element) continue;
        ComPtr<IWebBrowser2> frame;
        if (SUCCEEDED(element.As(&frame)) && frame) ReconnectWin(frame.Get());
      }
      QP_CATCH_ALL()
    }
    return S_OK;
  } catch (...) {
    return E_POINTER;
  }
}

HRESULT CClosePopup::DisconnectWin() {
  for (WindowConnection& connection : windowConnections) {
    try {
      UnadviseWindow(connection.window.Get(), connection.cookie);
      ComPtr<IHTMLWindow2> window;
      if (!connection.window || FAILED(connection.window.As(&window))) continue;
      for (auto hook = onloadHooks.begin(); hook != onloadHooks.end(); ++hook) {
        if (!SameWindow((*hook)->window(), window.Get())) continue;
        (*hook)->SetOwner(nullptr);
        onloadHooks.erase(hook);
        break;
      }
    }
    QP_CATCH_ALL()
  }
  // A hook may stay installed in its page window after this object has
  // gone: cut its link back to this object before giving it up.
  for (const ComPtr<CDispLoad>& hook : onloadHooks) {
    if (hook) hook->SetOwner(nullptr);
  }
  windowConnections.clear();
  onloadHooks.clear();
  return S_OK;
}

}  // namespace qp
