#include "document.h"

#include <mshtmdid.h>
#include <windowsx.h>

#include "browser.h"
#include "window.h"

namespace standin {

namespace {

constexpr int kMargin = 12;
constexpr int kGap = 10;
constexpr COLORREF kHiddenColour = RGB(170, 170, 170);

SIZE DefaultSize(Kind kind) {
  switch (kind) {
    case Kind::Img: return {160, 60};
    case Kind::Embed: return {200, 70};
    case Kind::Object: return {200, 90};
    case Kind::Marquee: return {360, 28};
    case Kind::Frame: return {380, 170};
    case Kind::IFrame: return {380, 140};
    default: return {300, 28};
  }
}

COLORREF Fill(Kind kind) {
  switch (kind) {
    case Kind::Link: return RGB(220, 230, 255);
    case Kind::Img: return RGB(255, 236, 200);
    case Kind::Embed: return RGB(255, 215, 215);
    case Kind::Object: return RGB(230, 210, 255);
    case Kind::Marquee: return RGB(210, 245, 215);
    default: return RGB(242, 242, 242);
  }
}

std::wstring Caption(const LaidOut& item) {
  const ElementDesc& desc = *item.face->core.desc;
  std::wstring text = Widen(std::string(KindName(desc.kind)) + " #" + desc.id);
  if (!desc.src.empty()) text += L"  " + Widen(desc.src);
  if (!desc.href.empty()) text += L"  " + Widen(desc.href);
  if (desc.kind == Kind::Marquee) {
    text += static_cast<MarqueeElement*>(item.face)->running() ? L"  (scrolling)" : L"  (stopped)";
  }
  if (desc.kind == Kind::Object && desc.flash) {
    auto* control = static_cast<FlashControl*>(static_cast<ObjectElement*>(item.face)->control());
    text += L"  Flash ";
    text += Widen(control->state());
  }
  return text;
}

}  // namespace

// --- Document --------------------------------------------------------------------

void Document::RegisterViewClass(HINSTANCE instance) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  // Double clicks arrive as WM_LBUTTONDBLCLK, as in the browser's page.
  wc.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = ViewProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = nullptr;
  wc.lpszClassName = kViewClass;
  ::RegisterClassExW(&wc);
}

Document::Document(BrowserWindow& window, Browser& owner, const PageDesc& page, std::wstring url)
    : window_(&window), owner_(&owner), page_(&page), url_(std::move(url)) {}

Document::~Document() { Close(); }

ComPtr<Document> Document::Create(BrowserWindow& window, Browser& owner, const PageDesc& page, std::wstring url,
                                  HWND parent, RECT box) {
  ComPtr<Document> doc = Adopt(new Document(window, owner, page, std::move(url)));
  const DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | (owner.isTop() ? 0 : WS_BORDER);
  doc->view_ = ::CreateWindowExW(0, kViewClass, L"", style, box.left, box.top, box.right - box.left,
                                 box.bottom - box.top, parent, nullptr, ::GetModuleHandleW(nullptr), doc.Get());
  if (!doc->view_) throw std::runtime_error("the page window could not be created");

  const std::string prefix = owner.framePath().empty() ? std::string() : owner.framePath() + "/";
  int y = kMargin;
  for (const ElementDesc& desc : page.elements) {
    const SIZE size = desc.width ? SIZE{desc.width, desc.height} : DefaultSize(desc.kind);
    ElementCore core;
    core.desc = &desc;
    core.path = prefix + desc.id;
    core.windowId = window.id();
    core.box = RECT{kMargin, y, kMargin + size.cx, y + size.cy};
    core.view = doc->view_;
    core.style = MakeObject<Style>(window.id(), core.path, doc->view_, core.box, Widen(desc.visibility));
    y += size.cy + kGap;

    LaidOut item;
    if (desc.kind == Kind::Frame || desc.kind == Kind::IFrame) {
      ComPtr<Browser> frame = Browser::CreateFrame(window, std::move(core));
      item.face = frame.Get();
      item.frame = frame.Get();
      item.item = frame->dispatch();
    } else {
      item.item = CreateElement(std::move(core), &item.face);
      if (desc.kind == Kind::Object) {
        doc->controls_.push_back(Identity(static_cast<ObjectElement*>(item.face)->control()));
      }
    }
    doc->layout_.push_back(std::move(item));
  }

  doc->pageWindow_ = MakeObject<PageWindow>(doc.Get());
  Browser* from = &owner;
  BrowserWindow* w = &window;
  ComPtr<ScriptHandler> onload, onunload;
  if (page.hasOnload) {
    const Action action = page.onload;
    onload = MakeObject<ScriptHandler>([w, from, action] { w->RunPageAction(*from, action, "onload"); });
  }
  if (page.onunload.present) {
    const Action action = page.onunload;
    onunload = MakeObject<ScriptHandler>([w, from, action] { w->RunPageAction(*from, action, "onunload"); });
  }
  doc->pageWindow_->SetPageHandlers(onload, onunload);
  return doc;
}

STDMETHODIMP Document::QueryInterface(REFIID riid, void** ppv) {
  static const QITAB table[] = {QITABENT(Document, IHTMLDocument2),
                                QITABENTMULTI(Document, IHTMLDocument, IHTMLDocument2),
                                QITABENTMULTI(Document, IDispatch, IHTMLDocument2),
                                QITABENT(Document, IOleWindow),
                                QITABENT(Document, IOleContainer),
                                QITABENTMULTI(Document, IParseDisplayName, IOleContainer),
                                {}};
  if (!ppv) return E_POINTER;
  return ::QISearch(this, table, riid, ppv);
}

STDMETHODIMP_(ULONG) Document::Release() {
  const ULONG left = refs_.Sub();
  if (left == 0) delete this;
  return left;
}

STDMETHODIMP Document::get_all(IHTMLElementCollection** p) {
  STANDIN_COM_BEGIN
  if (!p) return E_POINTER;
  *p = nullptr;
  std::vector<ComPtr<IDispatch>> items;
  std::vector<std::wstring> ids;
  for (const LaidOut& item : layout_) {
    items.push_back(item.item);
    ids.push_back(Widen(item.face->core.desc->id));
  }
  *p = MakeObject<Collection>(std::move(items), std::move(ids)).Detach();
  return S_OK;
  STANDIN_COM_END
}

STDMETHODIMP Document::get_parentWindow(IHTMLWindow2** p) { return HandOut<IHTMLWindow2>(pageWindow_.Get(), p); }

STDMETHODIMP Document::elementFromPoint(LONG x, LONG y, IHTMLElement** hit) {
  if (!hit) return E_POINTER;
  *hit = nullptr;
  const LaidOut* item = ElementAt(POINT{x, y});
  return HandOut<IHTMLElement>(item ? item->face : nullptr, hit);
}

STDMETHODIMP Document::get_URL(BSTR* p) {
  STANDIN_COM_BEGIN
  return CopyBstr(url_, p);
  STANDIN_COM_END
}

STDMETHODIMP Document::get_readyState(BSTR* p) {
  STANDIN_COM_BEGIN
  return CopyBstr(closed_ ? L"uninitialized" : L"complete", p);
  STANDIN_COM_END
}

STDMETHODIMP Document::GetWindow(HWND* hwnd) {
  if (!hwnd) return E_POINTER;
  *hwnd = view_;
  return view_ ? S_OK : E_FAIL;
}

STDMETHODIMP Document::EnumObjects(DWORD flags, IEnumUnknown** out) {
  STANDIN_COM_BEGIN
  if (!out) return E_POINTER;
  std::vector<ComPtr<IUnknown>> items;
  if (flags & OLECONTF_EMBEDDINGS) items = controls_;
  *out = MakeObject<EnumUnknown>(std::move(items)).Detach();
  return S_OK;
  STANDIN_COM_END
}

std::vector<Browser*> Document::frames() const {
  std::vector<Browser*> frames;
  for (const LaidOut& item : layout_) {
    if (item.frame) frames.push_back(item.frame);
  }
  return frames;
}

const LaidOut* Document::ElementAt(POINT client) const {
  for (const LaidOut& item : layout_) {
    const ElementCore& core = item.face->core;
    if (core.style && core.style->hidden()) continue;
    if (::PtInRect(&core.box, client)) return &item;
  }
  return nullptr;
}

const LaidOut* Document::FindElement(const std::string& id) const {
  for (const LaidOut& item : layout_) {
    if (item.face->core.desc->id == id) return &item;
  }
  return nullptr;
}

void Document::Close() {
  if (closed_) return;
  closed_ = true;
  for (Browser* frame : frames()) frame->Unload();
  if (pageWindow_) pageWindow_->DetachDocument();
  if (view_) {
    ::SetWindowLongPtrW(view_, GWLP_USERDATA, 0);
    ::DestroyWindow(view_);
    view_ = nullptr;
  }
  for (LaidOut& item : layout_) item.face->core.view = nullptr;
}

LRESULT CALLBACK Document::ViewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* doc = reinterpret_cast<Document*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!doc) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  try {
    // Kept alive for the call: a click may replace the page.
    ComPtr<Document> keep(doc);
    return doc->OnMessage(hwnd, msg, wParam, lParam);
  } catch (const std::exception& e) {
    ReportError("page window", e.what());
  } catch (...) {
    ReportError("page window", "unexpected failure");
  }
  return 0;
}

LRESULT Document::OnMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  BrowserWindow* window = window_;
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(hwnd, &ps);
      Paint(dc);
      ::EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      ::SetFocus(hwnd);
      window->NoteInput(hwnd, msg, wParam, lParam);
      return 0;
    case WM_LBUTTONUP:
      window->OnPageClick(*this, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
      window->NoteInput(hwnd, msg, wParam, lParam);
      return 0;
    case WM_RBUTTONUP:
    case WM_MOUSEMOVE:
    case WM_KEYDOWN:
    case WM_KEYUP:
      window->NoteInput(hwnd, msg, wParam, lParam);
      break;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      view_ = nullptr;
      break;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

void Document::Paint(HDC dc) {
  RECT client;
  ::GetClientRect(view_, &client);
  ::FillRect(dc, &client, static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH)));
  ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dc, TRANSPARENT);
  for (const LaidOut& item : layout_) {
    if (item.frame) continue;  // a frame draws itself in its own page window
    RECT box = item.face->core.box;
    const bool hidden = item.face->core.style && item.face->core.style->hidden();
    // The stock DC brush takes each colour in turn, so nothing is created or freed.
    HBRUSH brush = static_cast<HBRUSH>(::GetStockObject(DC_BRUSH));
    if (hidden) {
      ::SetDCBrushColor(dc, kHiddenColour);
      ::FrameRect(dc, &box, brush);
      ::SetTextColor(dc, kHiddenColour);
    } else {
      ::SetDCBrushColor(dc, Fill(item.face->core.desc->kind));
      ::FillRect(dc, &box, brush);
      ::FrameRect(dc, &box, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
      ::SetTextColor(dc, RGB(0, 0, 0));
    }
    std::wstring text = Caption(item);
    if (hidden) text += L"  (hidden)";
    ::InflateRect(&box, -4, -2);
    ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &box, DT_LEFT | DT_TOP | DT_WORDBREAK | DT_NOPREFIX);
  }
}

// --- PageWindow ---------------------------------------------------------------------

PageWindow::~PageWindow() = default;

const QITAB* PageWindow::QiTable() {
  static const QITAB table[] = {QITABENT(PageWindow, IHTMLWindow2),
                                QITABENTMULTI(PageWindow, IHTMLFramesCollection2, IHTMLWindow2),
                                QITABENTMULTI(PageWindow, IDispatch, IHTMLWindow2),
                                QITABENT(PageWindow, IConnectionPointContainer),
                                {}};
  return table;
}

STDMETHODIMP PageWindow::get_document(IHTMLDocument2** p) {
  if (!p) return E_POINTER;
  *p = nullptr;
  if (!document_) return E_FAIL;
  return HandOut<IHTMLDocument2>(document_, p);
}

STDMETHODIMP PageWindow::put_onload(VARIANT v) {
  STANDIN_COM_BEGIN
  return ::VariantCopy(onload_.put(), &v);
  STANDIN_COM_END
}

STDMETHODIMP PageWindow::get_onload(VARIANT* p) {
  STANDIN_COM_BEGIN
  if (!p) return E_POINTER;
  ::VariantInit(p);
  if (onload_.get()->vt == VT_EMPTY) {
    p->vt = VT_NULL;  // no handler
    return S_OK;
  }
  return ::VariantCopy(p, onload_.get());
  STANDIN_COM_END
}

STDMETHODIMP PageWindow::EnumConnectionPoints(IEnumConnectionPoints** out) {
  if (out) *out = nullptr;
  return E_NOTIMPL;
}

STDMETHODIMP PageWindow::FindConnectionPoint(REFIID riid, IConnectionPoint** point) { return events_.Find(riid, point); }

void PageWindow::SetPageHandlers(ComPtr<ScriptHandler> onload, ComPtr<ScriptHandler> onunload) {
  pageOnload_ = std::move(onload);
  pageOnunload_ = std::move(onunload);
  onload_.clear();
  if (pageOnload_) {
    VARIANT* v = onload_.put();
    v->vt = VT_DISPATCH;
    v->pdispVal = pageOnload_.Get();
    v->pdispVal->AddRef();
  }
}

const char* PageWindow::HolderOf(IDispatch* handler) const {
  const bool own =
      pageOnload_ && Identity(handler).Get() == Identity(static_cast<IDispatch*>(pageOnload_.Get())).Get();
  return own ? "page" : "other";
}

void PageWindow::FireLoad(int windowId, const std::string& frame) {
  unique_variant handler;
  ::VariantCopy(handler.get(), onload_.get());
  IDispatch* call = handler.get()->vt == VT_DISPATCH ? handler.get()->pdispVal : nullptr;
  const char* who = "none";
  if (call) who = HolderOf(call);
  Record("onload").Int("window", windowId).Str("frame", frame).Str("handler", who).Emit();
  if (call) {
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    unique_variant result;
    call->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, result.get(), nullptr,
                 nullptr);
    // Whoever ran may have put another handler in place.
    const VARIANT* now = onload_.get();
    const char* after = now->vt == VT_DISPATCH && now->pdispVal ? HolderOf(now->pdispVal) : "none";
    Record("onloaded").Int("window", windowId).Str("frame", frame).Str("holder", after).Emit();
  }
  events_.Fire(DISPID_HTMLWINDOWEVENTS_ONLOAD, nullptr, 0);
}

void PageWindow::FireBeforeUnload() { events_.Fire(DISPID_HTMLWINDOWEVENTS_ONBEFOREUNLOAD, nullptr, 0); }

void PageWindow::FireUnload() {
  if (pageOnunload_) {
    DISPPARAMS none = {nullptr, nullptr, 0, 0};
    pageOnunload_->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr,
                          nullptr);
  }
  events_.Fire(DISPID_HTMLWINDOWEVENTS_ONUNLOAD, nullptr, 0);
}

void PageWindow::DetachDocument() {
  document_ = nullptr;
  // The page's script state goes with the page, as in the browser: whatever
  // its onload property held is given up (an object kept there may hold this
  // window in turn).
  onload_.clear();
  if (pageOnload_) pageOnload_->Disconnect();
  if (pageOnunload_) pageOnunload_->Disconnect();
}

}  // namespace standin
