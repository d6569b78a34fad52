// The browser object: IWebBrowser2 of a top-level window (with its
// DWebBrowserEvents2 connection point) or of a frame inside a page (where it
// is also the frame's element, as document.all hands it out).
#pragma once

#include <string>

#include "connpoint.h"
#include "document.h"
#include "elements.h"

namespace standin {

class Browser;
class BrowserWindow;
class Document;

// Recognises the stand-in's own browser objects, for example in the
// ppDisp that a NewWindow2 handler fills in.
MIDL_INTERFACE("399561d6-b16c-40e7-82e6-6c9ec6e3a926")
IStandinBrowser : public IUnknown {
  virtual Browser* STDMETHODCALLTYPE Self() = 0;
};

}  // namespace standin

__CRT_UUID_DECL(standin::IStandinBrowser, 0x399561d6, 0xb16c, 0x40e7, 0x82, 0xe6, 0x6c, 0x9e, 0xc6, 0xe3, 0xa9, 0x26)

namespace standin {

class Browser final : public NotImpl_IWebBrowser2,
                      public ElementFace,
                      public IConnectionPointContainer,
                      public IStandinBrowser {
 public:
  static ComPtr<Browser> CreateTop(BrowserWindow& window);
  // A frame's browser object; core describes the frame element in its parent document.
  static ComPtr<Browser> CreateFrame(BrowserWindow& window, ElementCore core);

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return refs_.Add(); }
  STDMETHODIMP_(ULONG) Release() override;
  STANDIN_NO_DISPATCH_NAMES

  // IWebBrowser, IWebBrowserApp, IWebBrowser2
  STDMETHODIMP get_Document(IDispatch** p) override;
  STDMETHODIMP get_TopLevelContainer(VARIANT_BOOL* p) override;
  STDMETHODIMP get_LocationURL(BSTR* p) override;
  STDMETHODIMP get_LocationName(BSTR* p) override;
  STDMETHODIMP get_Application(IDispatch** p) override;
  STDMETHODIMP get_HWND(SHANDLE_PTR* p) override;
  STDMETHODIMP get_Visible(VARIANT_BOOL* p) override;
  STDMETHODIMP put_Visible(VARIANT_BOOL v) override;
  STDMETHODIMP get_RegisterAsBrowser(VARIANT_BOOL* p) override;
  STDMETHODIMP put_RegisterAsBrowser(VARIANT_BOOL v) override;

  // IConnectionPointContainer (top-level browser only)
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  // IStandinBrowser
  Browser* STDMETHODCALLTYPE Self() override { return this; }

  // The stand-in's side; used on the window's thread unless noted.
  BrowserWindow* window() const { return window_; }  // any thread
  bool isTop() const { return top_; }
  // "" for the top-level browser, else the frame ids from the top joined with '/'.
  const std::string& framePath() const { return core.path; }
  IDispatch* dispatch() { return static_cast<IWebBrowser2*>(this); }
  Document* document() const { return document_.Get(); }
  void SetDocument(ComPtr<Document> document, std::wstring url);
  // The shown page goes (its document closes).
  void Unload();
  // The window is gone: no document, no events, calls answer E_FAIL.
  void Detach();
  ConnectionPoint& events() { return events_; }
  void Describe(Record& record) override;

 private:
  Browser(BrowserWindow& window, bool top);
  ~Browser();

  RefCount refs_;
  BrowserWindow* window_;
  bool top_;
  bool detached_ = false;
  volatile LONG registerAsBrowser_ = 0;
  ComPtr<Document> document_;
  std::wstring url_;
  ConnectionPoint events_;
};

template <class F>
void PreOrder(Document& doc, F&& visit) {
  visit(doc);
  for (Browser* frame : doc.frames()) {
    if (frame->document()) PreOrder(*frame->document(), visit);
  }
}

template <class F>
void PostOrder(Document& doc, F&& visit) {
  for (Browser* frame : doc.frames()) {
    if (frame->document()) PostOrder(*frame->document(), visit);
  }
  visit(doc);
}

}  // namespace standin
