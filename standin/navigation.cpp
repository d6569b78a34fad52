// Page loads, frames, the browser's events in their order, new-window
// requests and the page's own scripts.
#include <exdispid.h>

#include <algorithm>
#include <cctype>

#include "browser.h"
#include "loopback.h"
#include "runtime.h"
#include "stopwatch.h"
#include "wincache.h"
#include "window.h"

namespace standin {

namespace {

VARIANT BstrVariant(const std::wstring& text) {
  VARIANT v;
  ::VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (!v.bstrVal) throw std::bad_alloc();
  return v;
}

// A script address: the word javascript or vbscript at the start, after blanks.
bool IsScriptAddress(const std::string& href) {
  std::string text = href;
  text.erase(0, text.find_first_not_of(" \t\r\n"));
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text.rfind("javascript:", 0) == 0 || text.rfind("vbscript:", 0) == 0;
}

}  // namespace

bool BrowserWindow::FireBeforeNavigate2(Browser& target, const std::wstring& url) {
  unique_variant address, flags, frameName, postData, headers;
  *address.get() = BstrVariant(url);
  flags.get()->vt = VT_I4;
  flags.get()->lVal = 0;
  *frameName.get() = BstrVariant(target.isTop() ? std::wstring() : Widen(target.core.desc->id));
  *headers.get() = BstrVariant(std::wstring());
  VARIANT_BOOL cancel = VARIANT_FALSE;

  // Arguments in reverse order: pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel.
  VARIANTARG args[7];
  args[6] = DispatchArg(target.dispatch());
  args[5] = ByRefVariant(address.get());
  args[4] = ByRefVariant(flags.get());
  args[3] = ByRefVariant(frameName.get());
  args[2] = ByRefVariant(postData.get());
  args[1] = ByRefVariant(headers.get());
  ::VariantInit(&args[0]);
  args[0].vt = VT_BYREF | VT_BOOL;
  args[0].pboolVal = &cancel;
  top_->events().Fire(DISPID_BEFORENAVIGATE2, args, 7);
  return cancel == VARIANT_FALSE;
}

void BrowserWindow::FireNavigated(DISPID id, Browser& target, const std::wstring& url) {
  unique_variant address;
  *address.get() = BstrVariant(url);
  // pDisp, URL.
  VARIANTARG args[2];
  args[1] = DispatchArg(target.dispatch());
  args[0] = ByRefVariant(address.get());
  top_->events().Fire(id, args, 2);
}

void BrowserWindow::FireSimple(DISPID id) { top_->events().Fire(id, nullptr, 0); }

bool BrowserWindow::Navigate(Browser& target, const PageDesc& page, const std::wstring& url) {
  if (closing_) return false;
  ComPtr<Browser> keep(&target);
  HWND parent = target.isTop() ? frame_ : target.core.view;
  const RECT box = target.isTop() ? PageArea() : target.core.box;
  if (!parent) throw std::runtime_error("the frame \"" + target.framePath() + "\" is no longer in a page");

  if (!FireBeforeNavigate2(target, url)) {
    Record("navigate")
        .Int("window", id_)
        .Str("frame", target.framePath())
        .Str("url", url)
        .Str("outcome", "cancelled")
        .Emit();
    return false;
  }
  if (Document* old = target.document()) PreOrder(*old, [](Document& d) { d.pageWindow()->FireBeforeUnload(); });
  FireSimple(DISPID_DOWNLOADBEGIN);
  if (Document* old = target.document()) PreOrder(*old, [](Document& d) { d.pageWindow()->FireUnload(); });
  target.Unload();

  ComPtr<Document> doc = Document::Create(*this, target, page, url, parent, box);
  target.SetDocument(doc, url);
  Record("navigate")
      .Int("window", id_)
      .Str("frame", target.framePath())
      .Str("page", page.name)
      .Str("url", url)
      .Str("outcome", "loaded")
      .Emit();
  FireNavigated(DISPID_NAVIGATECOMPLETE2, target, url);
  LoadFrames(*doc.Get());
  StoreDownloads(*doc.Get());
  PostOrder(*doc.Get(), [this](Document& d) { d.pageWindow()->FireLoad(id_, d.owner().framePath()); });
  FireSimple(DISPID_DOWNLOADCOMPLETE);
  PostOrder(*doc.Get(), [this](Document& d) { FireNavigated(DISPID_DOCUMENTCOMPLETE, d.owner(), d.url()); });
  if (toolbar_) ::InvalidateRect(toolbar_, nullptr, TRUE);
  return true;
}

void BrowserWindow::LoadFrames(Document& doc) {
  for (Browser* frame : doc.frames()) {
    const PageDesc& page = *Runtime::Get().scenario().FindPage(frame->core.desc->page);
    const std::wstring url = Widen(page.url);
    if (!FireBeforeNavigate2(*frame, url)) {
      Record("navigate")
          .Int("window", id_)
          .Str("frame", frame->framePath())
          .Str("url", url)
          .Str("outcome", "cancelled")
          .Emit();
      continue;
    }
    ComPtr<Document> inner = Document::Create(*this, *frame, page, url, doc.view(), frame->core.box);
    frame->SetDocument(inner, url);
    Record("navigate")
        .Int("window", id_)
        .Str("frame", frame->framePath())
        .Str("page", page.name)
        .Str("url", url)
        .Str("outcome", "loaded")
        .Emit();
    FireNavigated(DISPID_NAVIGATECOMPLETE2, *frame, url);
    LoadFrames(*inner.Get());
  }
}

void BrowserWindow::StoreDownloads(Document& doc) {
  PreOrder(doc, [this](Document& d) {
    for (const LaidOut& item : d.layout()) {
      const ElementDesc& desc = *item.face->core.desc;
      if (!desc.isDownloaded) continue;
      std::string error;
      const bool stored = StoreDownloadedFile(desc.src, desc.downloaded, &error);
      LoopbackServer::Offer(desc.src, &desc.downloaded);
      Record record("cache");
      record.Int("window", id_).Str("element", item.face->core.path).Str("url", desc.src).Bool("stored", stored);
      if (!stored) record.Str("error", error);
      record.Emit();
    }
  });
}

bool BrowserWindow::LoadInto(Browser& target, const std::string& url, const std::string& pageName) {
  const PageDesc* page = &Runtime::Get().PageFor(pageName, url);
  BrowserWindow* window = target.window();
  if (window == this) return Navigate(target, *page, Widen(url));
  ComPtr<Browser> keep(&target);
  const std::wstring address = Widen(url);
  const bool done = window->Call([window, keep, page, address] { window->Navigate(*keep.Get(), *page, address); },
                                 kCommandMs);
  if (!done) ReportError("window " + std::to_string(window->id()), "the new window did not load its page in time");
  return done;
}

void BrowserWindow::RequestNewWindow(Browser& from, const std::string& url, const std::string& pageName,
                                     const char* source) {
  if (!top_ || closed_.load()) return;
  ComPtr<Browser> keep(&from);
  IDispatch* created = nullptr;
  VARIANT_BOOL cancel = VARIANT_FALSE;
  // ppDisp, Cancel.
  VARIANTARG args[2];
  ::VariantInit(&args[1]);
  args[1].vt = VT_BYREF | VT_DISPATCH;
  args[1].ppdispVal = &created;
  ::VariantInit(&args[0]);
  args[0].vt = VT_BYREF | VT_BOOL;
  args[0].pboolVal = &cancel;
  const Stopwatch answering;
  top_->events().Fire(DISPID_NEWWINDOW2, args, 2);
  const long long answerUs = answering.ElapsedMicros();
  const ComPtr<IDispatch> target = Adopt(created);  // the handler handed over a reference

  Record record("newwindow");
  record.Int("window", id_).Str("frame", from.framePath()).Str("url", url).Str("source", source);
  record.Int("eventUs", answerUs);
  if (cancel != VARIANT_FALSE) {
    record.Str("outcome", "cancelled").Emit();
    return;
  }
  if (target) {
    ComPtr<IStandinBrowser> own;
    if (FAILED(target.As(&own))) {
      record.Str("outcome", "failed").Emit();
      ReportError("window " + std::to_string(id_), "a NewWindow2 handler gave an object that is not a browser");
      return;
    }
    Browser* into = own->Self();
    BrowserWindow* window = into->window();
    const bool hidden = window->hidden() && !::IsWindowVisible(window->frame());
    record.Str("outcome", hidden ? "opened hidden" : "opened").Int("into", window->id());
    if (!into->isTop()) record.Str("intoFrame", into->framePath());
    record.Emit();
    LoadInto(*into, url, pageName);
    return;
  }
  std::shared_ptr<BrowserWindow> window = Runtime::Get().OpenWindow(false, "newwindow of window " + std::to_string(id_));
  if (!window) {
    record.Str("outcome", "failed").Emit();
    return;
  }
  record.Str("outcome", "opened").Int("into", window->id()).Emit();
  LoadInto(*window->top(), url, pageName);
}

void BrowserWindow::RunPageAction(Browser& from, const Action& action, const char* source) {
  Record("script").Int("window", id_).Str("frame", from.framePath()).Str("handler", source).Emit();
  if (!action.open.empty()) RequestNewWindow(from, action.open, action.page, source);
}

void BrowserWindow::OnPageClick(Document& doc, POINT client) {
  const LaidOut* item = doc.ElementAt(client);
  if (!item || item->frame) return;
  const ElementDesc* desc = item->face->core.desc;
  ComPtr<Browser> owner(&doc.owner());
  // The page's reaction runs after the click has been handled, as a script would.
  Post([this, owner, desc] {
    Browser& from = *owner.Get();
    if (closing_ || !from.document()) return;
    if (desc->kind == Kind::Link) {
      if (IsScriptAddress(desc->href)) {
        if (!FireBeforeNavigate2(from, Widen(desc->href))) return;
        from.document()->pageWindow()->FireBeforeUnload();
        if (desc->onclick.present) RunPageAction(from, desc->onclick, "onclick");
        return;
      }
      if (!desc->target.empty()) {
        RequestNewWindow(from, desc->href, desc->page, "link");
        return;
      }
      Navigate(from, Runtime::Get().PageFor(desc->page, desc->href), Widen(desc->href));
      return;
    }
    if (desc->onclick.present) RunPageAction(from, desc->onclick, "onclick");
  });
}

}  // namespace standin
