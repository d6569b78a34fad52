// recorder.dll: a Browser Helper Object of the tests' own. It records what
// the browser gives it (the site, the browser's and the page windows' events
// with their argument types, what its thread hooks see) as text lines in the
// file named by QP_RECORDER_LOG, one line per observation:
//   <instance> <what> key=value ...
// QP_RECORDER_NEWWINDOW lists its answers to successive NewWindow2 events of
// the process ("cancel", "allow", "hidden"; allow when the list runs out), and
// QP_RECORDER_WALK=1 makes it hide images, stop marquees and stop Flash at
// every top-level DocumentComplete, through the calls the extension uses, and
// QP_RECORDER_FETCH=PREFIX makes it read offline then the top page's images
// whose address starts with PREFIX.
#include <windows.h>
#include <exdisp.h>
#include <exdispid.h>
#include <mshtml.h>
#include <mshtmdid.h>
#include <ocidl.h>
#include <shlwapi.h>
#include <wininet.h>
#include <wrl/client.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "recorder_ids.h"

using Microsoft::WRL::ComPtr;

namespace {

LONG g_objects = 0;
LONG g_instances = 0;
LONG g_newWindows = 0;
CRITICAL_SECTION g_lock;
std::map<DWORD, class Recorder*>* g_byThread = nullptr;

// {D27CDB6C-AE6D-11CF-96B8-444553540000}, the Flash control's interface.
const IID kIidShockwaveFlash = {0xD27CDB6C, 0xAE6D, 0x11CF, {0x96, 0xB8, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

std::string Env(const char* name) {
  char value[1024] = {};
  const DWORD n = ::GetEnvironmentVariableA(name, value, sizeof(value));
  return n > 0 && n < sizeof(value) ? std::string(value) : std::string();
}

void Log(int instance, const std::string& text) {
  const std::string path = Env("QP_RECORDER_LOG");
  if (path.empty()) return;
  const std::string line = std::to_string(instance) + " " + text + "\r\n";
  ::EnterCriticalSection(&g_lock);
  HANDLE file = ::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    ::WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    ::CloseHandle(file);
  }
  ::LeaveCriticalSection(&g_lock);
}

std::string Narrow(const wchar_t* text) {
  if (!text) return std::string();
  char buffer[2048] = {};
  ::WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof(buffer) - 1, nullptr, nullptr);
  return buffer;
}

std::string ClassOf(HWND hwnd) {
  char name[256] = {};
  if (!hwnd || !::GetClassNameA(hwnd, name, sizeof(name))) return "-";
  std::string text(name);
  for (char& c : text) {
    if (c == ' ') c = '_';  // the log separates fields by blanks
  }
  return text;
}

std::string Hex(unsigned long value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%lX", value);
  return text;
}

std::string BrowserUrl(IUnknown* object) {
  ComPtr<IWebBrowser2> browser;
  BSTR url = nullptr;
  if (!object || FAILED(object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(browser.GetAddressOf()))) ||
      FAILED(browser->get_LocationURL(&url))) {
    return "-";
  }
  std::string text = Narrow(url);
  ::SysFreeString(url);
  return text;
}

std::string Who(IDispatch* object) {
  ComPtr<IWebBrowser2> browser;
  VARIANT_BOOL top = VARIANT_FALSE;
  if (!object || FAILED(object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(browser.GetAddressOf()))) ||
      FAILED(browser->get_TopLevelContainer(&top))) {
    return "none";
  }
  return top ? "top" : "frame";
}

std::string Types(const DISPPARAMS* params) {
  std::string text;
  for (UINT i = params->cArgs; i > 0; --i) {
    text += (text.empty() ? "" : ",") + std::to_string(params->rgvarg[i - 1].vt);
  }
  return text.empty() ? "-" : text;
}

std::string UrlArg(const VARIANTARG& arg) {
  if (arg.vt == (VT_BYREF | VT_VARIANT) && arg.pvarVal && arg.pvarVal->vt == VT_BSTR) return Narrow(arg.pvarVal->bstrVal);
  return "-";
}

HWND g_hiddenToClose = nullptr;

void CALLBACK CloseHidden(HWND, UINT, UINT_PTR timer, DWORD) {
  ::KillTimer(nullptr, timer);
  if (g_hiddenToClose) ::PostMessageW(g_hiddenToClose, WM_CLOSE, 0, 0);
}

// The sink of one page window's HTMLWindowEvents.
class WindowSink final : public IDispatch {
 public:
  WindowSink(int instance, std::string url) : instance_(instance), url_(std::move(url)) {
    ::InterlockedIncrement(&g_objects);
  }
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    static const QITAB table[] = {QITABENT(WindowSink, IDispatch), {}};
    return ::QISearch(this, table, riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  STDMETHODIMP GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    Log(instance_, "window-event id=" + std::to_string(id) + " url=" + url_);
    return S_OK;
  }

 private:
  ~WindowSink() { ::InterlockedDecrement(&g_objects); }
  LONG refs_ = 1;
  int instance_;
  std::string url_;
};

class Recorder final : public IObjectWithSite, public IDispatch {
 public:
  Recorder() : instance_(::InterlockedIncrement(&g_instances)) { ::InterlockedIncrement(&g_objects); }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    static const QITAB table[] = {QITABENT(Recorder, IObjectWithSite), QITABENT(Recorder, IDispatch), {}};
    return ::QISearch(this, table, riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ::InterlockedIncrement(&refs_); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = ::InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  STDMETHODIMP SetSite(IUnknown* site) override {
    if (!site) {
      Log(instance_, "setsite null frameAlive=" + std::to_string(::IsWindow(frame_) ? 1 : 0));
      Detach();
      return S_OK;
    }
    if (FAILED(site->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(browser_.GetAddressOf())))) {
      Log(instance_, "setsite browser=0");
      return E_INVALIDARG;
    }
    SHANDLE_PTR hwnd = 0;
    browser_->get_HWND(&hwnd);
    frame_ = reinterpret_cast<HWND>(hwnd);
    VARIANT_BOOL visible = VARIANT_FALSE;
    browser_->get_Visible(&visible);
    const HRESULT apartment = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (SUCCEEDED(apartment)) ::CoUninitialize();
    const bool sameThread = ::GetWindowThreadProcessId(frame_, nullptr) == ::GetCurrentThreadId();
    HRESULT advised = E_FAIL;
    ComPtr<IConnectionPointContainer> container;
    if (SUCCEEDED(browser_.As(&container)) &&
        SUCCEEDED(container->FindConnectionPoint(DIID_DWebBrowserEvents2, point_.GetAddressOf()))) {
      advised = point_->Advise(static_cast<IDispatch*>(this), &cookie_);
    }
    ::EnterCriticalSection(&g_lock);
    (*g_byThread)[::GetCurrentThreadId()] = this;
    ::LeaveCriticalSection(&g_lock);
    keyboard_ = ::SetWindowsHookExW(WH_KEYBOARD, KeyProc, nullptr, ::GetCurrentThreadId());
    mouse_ = ::SetWindowsHookExW(WH_MOUSE, MouseProc, nullptr, ::GetCurrentThreadId());
    Log(instance_, "setsite browser=1 frameClass=" + ClassOf(frame_) + " hwnd=" + Hex(static_cast<unsigned long>(hwnd)) +
                       " sameThread=" + std::to_string(sameThread ? 1 : 0) +
                       " sta=" + std::to_string(apartment == S_FALSE ? 1 : 0) +
                       " visible=" + std::to_string(visible ? 1 : 0) + " advise=" + Hex(static_cast<unsigned long>(advised)) +
                       " hooks=" + std::to_string(keyboard_ && mouse_ ? 1 : 0) +
                       " thread=" + std::to_string(::GetCurrentThreadId()));
    return S_OK;
  }

  STDMETHODIMP GetSite(REFIID riid, void** site) override {
    if (!site) return E_POINTER;
    *site = nullptr;
    return browser_ ? browser_->QueryInterface(riid, site) : E_FAIL;
  }

  STDMETHODIMP GetTypeInfoCount(UINT* n) override { return *n = 0, S_OK; }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }

  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) override {
    if (!params) return E_INVALIDARG;
    VARIANTARG* a = params->rgvarg;
    switch (id) {
      case DISPID_BEFORENAVIGATE2:
        Log(instance_, "BeforeNavigate2 who=" + Who(a[6].pdispVal) + " url=" + UrlArg(a[5]) + " vt=" + Types(params));
        break;
      case DISPID_NAVIGATECOMPLETE2:
        Log(instance_, "NavigateComplete2 who=" + Who(a[1].pdispVal) + " url=" + UrlArg(a[0]) + " vt=" + Types(params));
        ConnectWindow(a[1].pdispVal, UrlArg(a[0]));
        break;
      case DISPID_DOCUMENTCOMPLETE:
        Log(instance_, "DocumentComplete who=" + Who(a[1].pdispVal) + " url=" + UrlArg(a[0]) + " vt=" + Types(params));
        if (Who(a[1].pdispVal) == "top" && Env("QP_RECORDER_WALK") == "1") Walk();
        if (Who(a[1].pdispVal) == "top" && !Env("QP_RECORDER_FETCH").empty()) FetchImages(Env("QP_RECORDER_FETCH"));
        break;
      case DISPID_NEWWINDOW2:
        NewWindow(params);
        break;
      case DISPID_ONQUIT:
        Log(instance_, "OnQuit frameAlive=" + std::to_string(::IsWindow(frame_) ? 1 : 0));
        break;
      case DISPID_DOWNLOADBEGIN:
        Log(instance_, "DownloadBegin");
        break;
      case DISPID_DOWNLOADCOMPLETE:
        Log(instance_, "DownloadComplete");
        break;
      default:
        break;
    }
    return S_OK;
  }

  static LRESULT CALLBACK KeyProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && !(lParam & 0x80000000) && !(lParam & 0x40000000)) {
      if (Recorder* r = ForThread()) Log(r->instance_, "key vk=" + Hex(static_cast<unsigned long>(wParam)));
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }

  static LRESULT CALLBACK MouseProc(int code, WPARAM wParam, LPARAM lParam) {
    const char* name = wParam == WM_LBUTTONDOWN ? "lbuttondown"
                       : wParam == WM_LBUTTONDBLCLK ? "lbuttondblclk"
                       : wParam == WM_LBUTTONUP ? "lbuttonup"
                       : wParam == WM_RBUTTONDOWN ? "rbuttondown"
                       : wParam == WM_RBUTTONUP ? "rbuttonup"
                                                : nullptr;
    if (code == HC_ACTION && name) {
      if (Recorder* r = ForThread()) {
        const auto* mouse = reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
        const HWND under = ::WindowFromPoint(mouse->pt);
        Log(r->instance_, std::string("mouse msg=") + name + " class=" + ClassOf(under) +
                              " hit=" + std::to_string(mouse->wHitTestCode) + " element=" + r->ElementAt(mouse->pt));
      }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
  }

 private:
  ~Recorder() {
    Log(instance_, "released");
    ::InterlockedDecrement(&g_objects);
  }

  static Recorder* ForThread() {
    ::EnterCriticalSection(&g_lock);
    const auto it = g_byThread->find(::GetCurrentThreadId());
    Recorder* r = it == g_byThread->end() ? nullptr : it->second;
    ::LeaveCriticalSection(&g_lock);
    return r;
  }

  void Detach() {
    if (keyboard_) ::UnhookWindowsHookEx(keyboard_);
    if (mouse_) ::UnhookWindowsHookEx(mouse_);
    keyboard_ = mouse_ = nullptr;
    ::EnterCriticalSection(&g_lock);
    g_byThread->erase(::GetCurrentThreadId());
    ::LeaveCriticalSection(&g_lock);
    if (point_) point_->Unadvise(cookie_);
    point_.Reset();
    for (auto& [point, cookie] : windowPoints_) point->Unadvise(cookie);
    windowPoints_.clear();
    browser_.Reset();
  }

  void ConnectWindow(IDispatch* object, const std::string& url) {
    ComPtr<IWebBrowser2> browser;
    ComPtr<IDispatch> document;
    ComPtr<IHTMLDocument2> html;
    ComPtr<IHTMLWindow2> window;
    ComPtr<IConnectionPointContainer> container;
    ComPtr<IConnectionPoint> point;
    if (!object || FAILED(object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(browser.GetAddressOf()))) ||
        browser->get_Document(document.GetAddressOf()) != S_OK || FAILED(document.As(&html)) ||
        FAILED(html->get_parentWindow(window.GetAddressOf())) || FAILED(window.As(&container)) ||
        FAILED(container->FindConnectionPoint(__uuidof(HTMLWindowEvents), point.GetAddressOf()))) {
      Log(instance_, "connect-window failed url=" + url);
      return;
    }
    ComPtr<WindowSink> sink;
    *sink.ReleaseAndGetAddressOf() = new WindowSink(instance_, url);  // ComPtr::Attach would add a reference
    DWORD cookie = 0;
    if (SUCCEEDED(point->Advise(sink.Get(), &cookie))) windowPoints_.emplace_back(point, cookie);
  }

  void NewWindow(DISPPARAMS* params) {
    const std::vector<std::string> answers = Split(Env("QP_RECORDER_NEWWINDOW"));
    const std::size_t n = static_cast<std::size_t>(::InterlockedIncrement(&g_newWindows) - 1);
    const std::string answer = n < answers.size() ? answers[n] : "allow";
    Log(instance_, "NewWindow2 vt=" + Types(params) + " answer=" + answer + " location=" + BrowserUrl(browser_.Get()));
    VARIANTARG* a = params->rgvarg;
    if (answer == "cancel") *a[0].pboolVal = VARIANT_TRUE;
    if (answer != "hidden") return;
    ComPtr<IWebBrowser2> hidden;
    const HRESULT created = ::CoCreateInstance(CLSID_InternetExplorer, nullptr, CLSCTX_ALL, IID_IWebBrowser2,
                                               reinterpret_cast<void**>(hidden.GetAddressOf()));
    if (FAILED(created)) {
      Log(instance_, "hidden created=" + Hex(static_cast<unsigned long>(created)));
      return;
    }
    hidden->put_RegisterAsBrowser(VARIANT_TRUE);
    hidden->get_Application(a[1].ppdispVal);
    SHANDLE_PTR hwnd = 0;
    hidden->get_HWND(&hwnd);
    VARIANT_BOOL visible = VARIANT_TRUE;
    hidden->get_Visible(&visible);
    Log(instance_, "hidden created=0x0 frameClass=" + ClassOf(reinterpret_cast<HWND>(hwnd)) +
                       " visible=" + std::to_string(visible ? 1 : 0));
    // As the tray program does with a delayed popup: WM_CLOSE a moment later.
    g_hiddenToClose = reinterpret_cast<HWND>(hwnd);
    ::SetTimer(nullptr, 0, 500, CloseHidden);
  }

  // Reads every image of the top page the way the extension does: offline,
  // through WinInet, from what the browser has downloaded.
  void FetchImages(const std::string& prefix) {
    ComPtr<IDispatch> document;
    ComPtr<IHTMLDocument2> html;
    ComPtr<IHTMLElementCollection> all;
    LONG length = 0;
    if (browser_->get_Document(document.GetAddressOf()) != S_OK || FAILED(document.As(&html)) ||
        FAILED(html->get_all(all.GetAddressOf())) || FAILED(all->get_length(&length))) {
      return;
    }
    HINTERNET root = ::InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, INTERNET_FLAG_OFFLINE);
    for (LONG i = 0; i < length && root; ++i) {
      VARIANT name, index;
      ::VariantInit(&name);
      ::VariantInit(&index);
      name.vt = VT_I4;
      name.lVal = i;
      index.vt = VT_I4;
      ComPtr<IDispatch> item;
      ComPtr<IHTMLImgElement> img;
      BSTR src = nullptr;
      if (all->item(name, index, item.GetAddressOf()) != S_OK || FAILED(item.As(&img)) || FAILED(img->get_src(&src))) {
        continue;
      }
      const std::string url = Narrow(src);
      ::SysFreeString(src);
      if (url.rfind(prefix, 0) != 0) continue;
      HINTERNET file = ::InternetOpenUrlA(root, url.c_str(), nullptr, 0, INTERNET_FLAG_EXISTING_CONNECT, 0);
      if (!file) {
        Log(instance_, "fetch url=" + url + " error=" + std::to_string(::GetLastError()));
        continue;
      }
      std::string bytes;
      char buffer[4096];
      DWORD got = 0;
      while (::InternetReadFile(file, buffer, sizeof(buffer), &got) && got > 0) bytes.append(buffer, got);
      ::InternetCloseHandle(file);
      Log(instance_, "fetch url=" + url + " bytes=" + std::to_string(bytes.size()) + " head=" + bytes.substr(0, 6));
    }
    if (root) ::InternetCloseHandle(root);
  }

  // Hides images, stops marquees and Flash in the page and its frames.
  void Walk() {
    int images = 0, marquees = 0, flash = 0;
    WalkBrowser(browser_.Get(), images, marquees, flash);
    Log(instance_, "walk images=" + std::to_string(images) + " marquees=" + std::to_string(marquees) +
                       " flash=" + std::to_string(flash));
  }

  void WalkBrowser(IWebBrowser2* browser, int& images, int& marquees, int& flash) {
    ComPtr<IDispatch> document;
    ComPtr<IHTMLDocument2> html;
    ComPtr<IHTMLElementCollection> all;
    LONG length = 0;
    if (browser->get_Document(document.GetAddressOf()) != S_OK || FAILED(document.As(&html)) ||
        FAILED(html->get_all(all.GetAddressOf())) || FAILED(all->get_length(&length))) {
      return;
    }
    for (LONG i = 0; i < length; ++i) {
      VARIANT name, index;
      ::VariantInit(&name);
      ::VariantInit(&index);
      name.vt = VT_I4;
      name.lVal = i;
      index.vt = VT_I4;
      index.lVal = 0;
      ComPtr<IDispatch> item;
      if (all->item(name, index, item.GetAddressOf()) != S_OK || !item) break;
      ComPtr<IWebBrowser2> frame;
      ComPtr<IHTMLImgElement> img;
      ComPtr<IHTMLMarqueeElement> marquee;
      if (SUCCEEDED(item.As(&frame))) {
        WalkBrowser(frame.Get(), images, marquees, flash);
      } else if (SUCCEEDED(item.As(&img))) {
        ComPtr<IHTMLElement> element;
        ComPtr<IHTMLStyle> style;
        BSTR hidden = ::SysAllocString(L"hidden");
        if (SUCCEEDED(item.As(&element)) && SUCCEEDED(element->get_style(style.GetAddressOf())) &&
            SUCCEEDED(style->put_visibility(hidden))) {
          ++images;
        }
        ::SysFreeString(hidden);
      } else if (SUCCEEDED(item.As(&marquee)) && SUCCEEDED(marquee->stop())) {
        ++marquees;
      }
    }
    ComPtr<IOleContainer> container;
    ComPtr<IEnumUnknown> objects;
    if (FAILED(html.As(&container)) || FAILED(container->EnumObjects(OLECONTF_EMBEDDINGS, objects.GetAddressOf()))) {
      return;
    }
    ComPtr<IUnknown> object;
    ULONG fetched = 0;
    while (objects->Next(1, object.ReleaseAndGetAddressOf(), &fetched) == S_OK && fetched == 1) {
      ComPtr<IDispatch> control;
      if (FAILED(object->QueryInterface(kIidShockwaveFlash, reinterpret_cast<void**>(control.GetAddressOf())))) continue;
      OLECHAR stopName[] = L"StopPlay";
      LPOLESTR names[] = {stopName};
      DISPID id = DISPID_UNKNOWN;
      DISPPARAMS none = {nullptr, nullptr, 0, 0};
      if (SUCCEEDED(control->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)) &&
          SUCCEEDED(control->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &none, nullptr, nullptr,
                                    nullptr))) {
        ++flash;
      }
    }
  }

  std::string ElementAt(POINT screen) {
    HWND under = ::WindowFromPoint(screen);
    ComPtr<IHTMLDocument2> document = FindDocument(browser_.Get(), under);
    if (!document) return "-";
    POINT client = screen;
    ::ScreenToClient(under, &client);
    ComPtr<IHTMLElement> element;
    BSTR id = nullptr;
    if (document->elementFromPoint(client.x, client.y, element.GetAddressOf()) != S_OK || !element ||
        FAILED(element->get_id(&id))) {
      return "-";
    }
    std::string text = Narrow(id);
    ::SysFreeString(id);
    return text;
  }

  // The document (page or frame) shown in hwnd, found through the calls the extension makes.
  static ComPtr<IHTMLDocument2> FindDocument(IWebBrowser2* browser, HWND hwnd) {
    ComPtr<IDispatch> document;
    ComPtr<IHTMLDocument2> html;
    if (!browser || browser->get_Document(document.GetAddressOf()) != S_OK || FAILED(document.As(&html))) return nullptr;
    ComPtr<IOleWindow> window;
    HWND shown = nullptr;
    if (SUCCEEDED(html.As(&window)) && SUCCEEDED(window->GetWindow(&shown)) && shown == hwnd) return html;
    ComPtr<IHTMLElementCollection> all;
    LONG length = 0;
    if (FAILED(html->get_all(all.GetAddressOf())) || FAILED(all->get_length(&length))) return nullptr;
    for (LONG i = 0; i < length; ++i) {
      VARIANT name, index;
      ::VariantInit(&name);
      ::VariantInit(&index);
      name.vt = VT_I4;
      name.lVal = i;
      index.vt = VT_I4;
      ComPtr<IDispatch> item;
      ComPtr<IWebBrowser2> frame;
      if (all->item(name, index, item.GetAddressOf()) != S_OK || !item) return nullptr;
      if (SUCCEEDED(item.As(&frame))) {
        if (ComPtr<IHTMLDocument2> found = FindDocument(frame.Get(), hwnd)) return found;
      }
    }
    return nullptr;
  }

  static std::vector<std::string> Split(const std::string& list) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= list.size() && !list.empty()) {
      const auto comma = list.find(',', start);
      parts.push_back(list.substr(start, comma - start));
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
    return parts;
  }

  LONG refs_ = 1;
  const int instance_;
  ComPtr<IWebBrowser2> browser_;
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
  HWND frame_ = nullptr;
  HHOOK keyboard_ = nullptr;
  HHOOK mouse_ = nullptr;
  std::vector<std::pair<ComPtr<IConnectionPoint>, DWORD>> windowPoints_;
};

class Factory final : public IClassFactory {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    static const QITAB table[] = {QITABENT(Factory, IClassFactory), {}};
    return ::QISearch(this, table, riid, ppv);
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }
  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    ComPtr<Recorder> recorder;
    *recorder.ReleaseAndGetAddressOf() = new Recorder();  // ComPtr::Attach would add a reference
    return recorder->QueryInterface(riid, ppv);
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }
};

Factory g_factory;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    ::DisableThreadLibraryCalls(instance);
    ::InitializeCriticalSection(&g_lock);
    g_byThread = new std::map<DWORD, Recorder*>();
  } else if (reason == DLL_PROCESS_DETACH) {
    delete g_byThread;
    ::DeleteCriticalSection(&g_lock);
  }
  return TRUE;
}

extern "C" HRESULT __stdcall DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (clsid != kRecorderClsid) return CLASS_E_CLASSNOTAVAILABLE;
  return g_factory.QueryInterface(riid, ppv);
}

extern "C" HRESULT __stdcall DllCanUnloadNow() { return g_objects == 0 ? S_OK : S_FALSE; }
