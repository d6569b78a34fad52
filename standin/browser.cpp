#include "browser.h"

#include <exdisp.h>

#include "document.h"
#include "window.h"

namespace standin {

Browser::Browser(BrowserWindow& window, bool top)
    : window_(&window), top_(top), events_(this, DIID_DWebBrowserEvents2) {}

Browser::~Browser() = default;

ComPtr<Browser> Browser::CreateTop(BrowserWindow& window) {
  return Adopt(new Browser(window, true));
}

ComPtr<Browser> Browser::CreateFrame(BrowserWindow& window, ElementCore frameCore) {
  ComPtr<Browser> browser = Adopt(new Browser(window, false));
  browser->core = std::move(frameCore);
  return browser;
}

STDMETHODIMP Browser::QueryInterface(REFIID riid, void** ppv) {
  // A top-level browser is a connection-point container; a frame's browser
  // object is also the frame's element.
  static const QITAB topTable[] = {QITABENT(Browser, IWebBrowser2),
                                   QITABENTMULTI(Browser, IDispatch, IWebBrowser2),
                                   QITABENTMULTI(Browser, IWebBrowser, IWebBrowser2),
                                   QITABENTMULTI(Browser, IWebBrowserApp, IWebBrowser2),
                                   QITABENT(Browser, IConnectionPointContainer),
                                   QITABENT(Browser, IStandinBrowser),
                                   {}};
  static const QITAB frameTable[] = {QITABENT(Browser, IWebBrowser2),
                                     QITABENTMULTI(Browser, IDispatch, IWebBrowser2),
                                     QITABENTMULTI(Browser, IWebBrowser, IWebBrowser2),
                                     QITABENTMULTI(Browser, IWebBrowserApp, IWebBrowser2),
                                     QITABENT(Browser, IHTMLElement),
                                     QITABENT(Browser, IStandinBrowser),
                                     {}};
  if (!ppv) return E_POINTER;
  return ::QISearch(this, top_ ? topTable : frameTable, riid, ppv);
}

STDMETHODIMP_(ULONG) Browser::Release() {
  const ULONG left = refs_.Sub();
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP Browser::get_Document(IDispatch** p) {
  if (!p) return E_POINTER;
  *p = nullptr;
  if (detached_) return E_FAIL;
  if (!document_) return S_FALSE;
  return HandOut<IDispatch>(static_cast<IHTMLDocument2*>(document_.Get()), p);
}

STDMETHODIMP Browser::get_TopLevelContainer(VARIANT_BOOL* p) {
  if (!p) return E_POINTER;
  *p = top_ ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP Browser::get_LocationURL(BSTR* p) {
  STANDIN_COM_BEGIN
  if (!p) return E_POINTER;
  *p = nullptr;
  if (detached_) return E_FAIL;
  return CopyBstr(url_, p);
  STANDIN_COM_END
}

STDMETHODIMP Browser::get_LocationName(BSTR* p) {
  STANDIN_COM_BEGIN
  if (!p) return E_POINTER;
  *p = nullptr;
  if (detached_) return E_FAIL;
  return CopyBstr(document_ ? Widen(document_->page().name) : url_, p);
  STANDIN_COM_END
}

// Also called from the thread that created a hidden browser.
STDMETHODIMP Browser::get_Application(IDispatch** p) {
  if (!p) return E_POINTER;
  *p = nullptr;
  if (detached_) return E_FAIL;
  Browser* application = top_ ? this : window_->top();
  return HandOut(application ? application->dispatch() : nullptr, p);
}

// Also called from the thread that created a hidden browser.
STDMETHODIMP Browser::get_HWND(SHANDLE_PTR* p) {
  if (!p) return E_POINTER;
  *p = 0;
  if (!top_ || detached_ || !window_->frame()) return E_FAIL;
  *p = reinterpret_cast<SHANDLE_PTR>(window_->frame());
  return S_OK;
}

STDMETHODIMP Browser::get_Visible(VARIANT_BOOL* p) {
  if (!p) return E_POINTER;
  *p = window_->frame() && ::IsWindowVisible(window_->frame()) ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

STDMETHODIMP Browser::put_Visible(VARIANT_BOOL v) {
  STANDIN_COM_BEGIN
  if (!top_ || detached_) return E_FAIL;
  const bool show = v != VARIANT_FALSE;
  BrowserWindow* window = window_;
  // Runs on the window's own thread, whichever thread asks.
  window->Post([window, show] { window->SetVisible(show, true); });
  return S_OK;
  STANDIN_COM_END
}

STDMETHODIMP Browser::get_RegisterAsBrowser(VARIANT_BOOL* p) {
  if (!p) return E_POINTER;
  *p = ::InterlockedCompareExchange(&registerAsBrowser_, 0, 0) ? VARIANT_TRUE : VARIANT_FALSE;
  return S_OK;
}

// Also called from the thread that created a hidden browser.
STDMETHODIMP Browser::put_RegisterAsBrowser(VARIANT_BOOL v) {
  ::InterlockedExchange(&registerAsBrowser_, v != VARIANT_FALSE ? 1 : 0);
  return S_OK;
}

STDMETHODIMP Browser::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP Browser::FindConnectionPoint(REFIID riid, IConnectionPoint** point) { return events_.Find(riid, point); }

void Browser::SetDocument(ComPtr<Document> document, std::wstring url) {
  document_ = std::move(document);
  url_ = std::move(url);
}

void Browser::Unload() {
  if (!document_) return;
  ComPtr<Document> old = std::move(document_);
  document_.Reset();
  old->Close();
}

void Browser::Detach() {
  Unload();
  detached_ = true;
  events_.Clear();
}

void Browser::Describe(Record& record) {
  ElementFace::Describe(record);
  record.Str("url", url_);
}

}  // namespace standin
