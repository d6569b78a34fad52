// A loaded page: the document object with its page window (a window of the
// class "Internet Explorer_Server" that draws the elements and receives the
// input), and the script-side window object (IHTMLWindow2) with its
// HTMLWindowEvents connection point.
#pragma once

#include <string>
#include <vector>

#include "connpoint.h"
#include "elements.h"

namespace standin {

class Browser;
class BrowserWindow;
class PageWindow;

// One element as the document lays it out.
struct LaidOut {
  ElementFace* face = nullptr;  // IHTMLElement side (for a frame: its browser object)
  ComPtr<IDispatch> item;       // what document.all hands out
  Browser* frame = nullptr;     // the frame's browser object, for frame and iframe
};

class Document final : public NotImpl_IHTMLDocument2, public IOleWindow, public IOleContainer {
 public:
  static constexpr wchar_t kViewClass[] = L"Internet Explorer_Server";
  static void RegisterViewClass(HINSTANCE instance);

  // Builds the document of page for the browser object owner: its page
  // window (a child of parent at box), its elements and its frames' browser
  // objects (which are still empty: the caller navigates them).
  static ComPtr<Document> Create(BrowserWindow& window, Browser& owner, const PageDesc& page, std::wstring url,
                                 HWND parent, RECT box);

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override { return refs_.Add(); }
  STDMETHODIMP_(ULONG) Release() override;
  STANDIN_NO_DISPATCH_NAMES

  // IHTMLDocument2
  STDMETHODIMP get_all(IHTMLElementCollection** p) override;
  STDMETHODIMP get_parentWindow(IHTMLWindow2** p) override;
  STDMETHODIMP elementFromPoint(LONG x, LONG y, IHTMLElement** hit) override;
  STDMETHODIMP get_URL(BSTR* p) override;
  STDMETHODIMP get_readyState(BSTR* p) override;

  // IOleWindow: the page window of this document.
  STDMETHODIMP GetWindow(HWND* hwnd) override;
  STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }

  // IOleContainer: the embedded controls of this document.
  STDMETHODIMP ParseDisplayName(IBindCtx*, LPOLESTR, ULONG*, IMoniker**) override { return E_NOTIMPL; }
  STDMETHODIMP EnumObjects(DWORD flags, IEnumUnknown** out) override;
  STDMETHODIMP LockContainer(BOOL) override { return E_NOTIMPL; }

  // The stand-in's side.
  const PageDesc& page() const { return *page_; }
  const std::wstring& url() const { return url_; }
  HWND view() const { return view_; }
  Browser& owner() const { return *owner_; }
  PageWindow* pageWindow() const { return pageWindow_.Get(); }
  const std::vector<LaidOut>& layout() const { return layout_; }
  std::vector<Browser*> frames() const;
  // The element whose box holds the client point (hidden elements are passed over).
  const LaidOut* ElementAt(POINT client) const;
  // The element with this id in this document, or null.
  const LaidOut* FindElement(const std::string& id) const;
  // The page is left: the page window goes, the page's handlers stop, the
  // frames unload. Objects that others still hold stay valid but inert.
  void Close();

 private:
  Document(BrowserWindow& window, Browser& owner, const PageDesc& page, std::wstring url);
  ~Document();
  static LRESULT CALLBACK ViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void Paint(HDC dc);

  RefCount refs_;
  BrowserWindow* window_;
  Browser* owner_;  // the browser object showing this document; outlives the open document
  const PageDesc* page_;
  std::wstring url_;
  HWND view_ = nullptr;
  ComPtr<PageWindow> pageWindow_;
  std::vector<LaidOut> layout_;
  std::vector<ComPtr<IUnknown>> controls_;
  bool closed_ = false;
};

class PageWindow final : public NotImpl_IHTMLWindow2, public IConnectionPointContainer {
 public:
  explicit PageWindow(Document* document) : document_(document), events_(this, __uuidof(HTMLWindowEvents)) {}

  STANDIN_IUNKNOWN(PageWindow)
  STANDIN_NO_DISPATCH_NAMES
  static const QITAB* QiTable();

  // IHTMLWindow2
  STDMETHODIMP get_document(IHTMLDocument2** p) override;
  STDMETHODIMP put_onload(VARIANT v) override;
  STDMETHODIMP get_onload(VARIANT* p) override;

  // IConnectionPointContainer
  STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** out) override;
  STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** point) override;

  // The page's own handlers (window.onload and window.onunload of its script).
  void SetPageHandlers(ComPtr<ScriptHandler> onload, ComPtr<ScriptHandler> onunload);
  // The load event: the handler held in onload (called with DISPID_VALUE),
  // then the HTMLWindowEvents sinks with DISPID_HTMLWINDOWEVENTS_ONLOAD.
  void FireLoad(int windowId, const std::string& frame);
  // "page" when the handler is the page's own onload handler, else "other".
  const char* HolderOf(IDispatch* handler) const;
  // onbeforeunload: the sinks. onunload: the page's own handler, then the sinks.
  void FireBeforeUnload();
  void FireUnload();
  void DetachDocument();
  std::size_t Connected() const { return events_.Connected(); }

 private:
  ~PageWindow();
  RefCount refs_;
  Document* document_;  // cleared when the document goes
  ConnectionPoint events_;
  unique_variant onload_;
  ComPtr<ScriptHandler> pageOnload_;
  ComPtr<ScriptHandler> pageOnunload_;
};

// Visits the documents of a page and of its frames, parents before frames.
template <class F>
void PreOrder(Document& doc, F&& visit);
// Frames before their parent: the order of the load events and DocumentComplete.
template <class F>
void PostOrder(Document& doc, F&& visit);

}  // namespace standin
