#include "closepopup.h"

#include <string>

#include "commands.h"
#include "dispatch.h"
#include "dllcomm.h"
#include "gifcache.h"
#include "inetbinding.h"
#include "module.h"
#include "settings.h"
#include "wintable.h"

namespace qp {

namespace {

constexpr wchar_t kHelperObjectsPath[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
constexpr wchar_t kHelperObjectName[] = L"Close Popup Windows";
constexpr char kTrayProgramFile[] = "zot.exe";

// The text of a navigation address as 8-bit text in lower case; false when
// the argument holds no text.
bool AddressText(const VARIANT* url, std::string& text) {
  if (url != nullptr && V_VT(url) == (VT_BYREF | VT_VARIANT)) url = V_VARIANTREF(url);
  if (url == nullptr || V_VT(url) != VT_BSTR) return false;
  const BSTR wide = V_BSTR(url);
  const int wideLength = wide != nullptr ? static_cast<int>(::SysStringLen(wide)) : 0;
  text.clear();
  if (wideLength == 0) return true;
  const int size = ::WideCharToMultiByte(CP_ACP, 0, wide, wideLength, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return true;
  text.resize(static_cast<std::size_t>(size));
  ::WideCharToMultiByte(CP_ACP, 0, wide, wideLength, &text[0], size, nullptr, nullptr);
  ::CharLowerBuffA(&text[0], static_cast<DWORD>(text.size()));
  return true;
}

}  // namespace

const QITAB CClosePopup::kInterfaces[] = {
    QITABENT(CClosePopup, IClosePopup),
    QITABENTMULTI(CClosePopup, IDispatch, IClosePopup),
    QITABENT(CClosePopup, IObjectWithSite),
    {nullptr, 0},
};

std::vector<reg::RootedKey> CClosePopup::RegistryKeys(const std::wstring& modulePath) {
  std::vector<reg::RootedKey> keys =
      reg::StandardClassKeys({&CLSID_ClosePopup, L"Vex.ClosePopup", L"ClosePopup Class"}, modulePath);
  reg::Key helper = reg::DefaultOnly(reg::GuidText(CLSID_ClosePopup), kHelperObjectName, reg::Removal::Whole);
  keys.push_back(reg::RootedKey{reg::Root::LocalMachine, reg::UnderPath(kHelperObjectsPath, std::move(helper))});
  return keys;
}

CClosePopup::CClosePopup(IUnknown* outer) : ComObject(outer) {}

CClosePopup::~CClosePopup() {
  // Hooks may outlive this object inside their page windows; they must not
  // call back into it.
  for (const auto& hook : onloadHooks) {
    if (hook) hook->SetOwner(nullptr);
  }
}

STDMETHODIMP CClosePopup::SetSite(IUnknown* newSite) {
  try {
    // A new browser for an object that is still attached: leave the old
    // window first, so nothing is subclassed or hooked twice.
    if (attached_ && newSite != nullptr) OnDestroy();
    module::ReadPlatform();
    site = newSite;
    browser.Reset();
    if (newSite == nullptr || FAILED(newSite->QueryInterface(IID_PPV_ARGS(&browser))) || !browser) {
      browser.Reset();
      return E_INVALIDARG;
    }
    const HRESULT hr = AttachToWindow();
    if (FAILED(hr)) return hr;
    if (!IsTrayProgramRunning() && IsIEStartupSet()) StartTrayProgram();
    return S_OK;
  } catch (...) {
    // The shared region's creation guard could not be made, or memory ran out.
    RollBackAttach();
    return E_POINTER;
  }
}

HRESULT CClosePopup::AttachToWindow() {
  if (FAILED(browser.As(&cpContainer)) || !cpContainer) return E_POINTER;
  // One object per thread: the hooks and the window procedure find their
  // object in the thread slot. A second window on a thread whose slot is
  // taken is left unwatched rather than served by the first one's object.
  CClosePopup* slotObject = module::ThreadObject();
  if (slotObject != nullptr && slotObject != this) {
    cpContainer.Reset();
    return E_POINTER;
  }

  done_.regionRef = true;  // InitShareInfo takes a reference even when it fails
  if (!InitShareInfo() || CommandMessageId() == 0) return RollBackAndFail();
  SHANDLE_PTR hwnd = 0;
  if (browser->get_HWND(&hwnd) != S_OK) return RollBackAndFail();
  frameWindow = reinterpret_cast<HWND>(hwnd);
  if (!::IsWindow(frameWindow)) return RollBackAndFail();
  if (!InitWininet()) return RollBackAndFail();
  done_.wininet = true;
  done_.gifCache = InitGifCache();
  unicodeWindow = ::IsWindowUnicode(frameWindow) != FALSE;
  if (!Subclass()) return RollBackAndFail();
  done_.registered = RegisterWindow(frameWindow, CommandMessageId());
  if (module::ThreadObject() == nullptr) {
    module::SetThreadObject(this);
    done_.threadSlot = true;
  }
  keyboardHook.reset(::SetWindowsHookExA(WH_KEYBOARD, KeyboardHookProc, nullptr, ::GetCurrentThreadId()));
  if (!keyboardHook) return RollBackAndFail();
  mouseHook.reset(::SetWindowsHookExA(WH_MOUSE, MouseHookProc, nullptr, ::GetCurrentThreadId()));
  if (!mouseHook) return RollBackAndFail();
  if (Connect() != S_OK) return RollBackAndFail();

  attached_ = true;
  keepAlive_ = this;
  return S_OK;
}

HRESULT CClosePopup::RollBackAndFail() {
  RollBackAttach();
  return E_POINTER;
}

void CClosePopup::RollBackAttach() {
  if (eventCookie != 0) Disconnect();
  mouseHook.reset();
  keyboardHook.reset();
  ClearThreadSlot();
  UnregisterFrame();
  RestoreWindowProc();
  ReleaseImageResources();
  ReleaseRegion();
  cpContainer.Reset();
  frameWindow = nullptr;
}

bool CClosePopup::Subclass() {
  const LONG_PTR current = unicodeWindow ? ::GetWindowLongW(frameWindow, GWL_WNDPROC)
                                         : ::GetWindowLongA(frameWindow, GWL_WNDPROC);
  if (current == 0) return false;
  oldWindowProc = reinterpret_cast<WNDPROC>(current);
  const LONG_PTR mine = reinterpret_cast<LONG_PTR>(&CClosePopup::NewProc);
  const LONG_PTR previous = unicodeWindow ? ::SetWindowLongW(frameWindow, GWL_WNDPROC, mine)
                                          : ::SetWindowLongA(frameWindow, GWL_WNDPROC, mine);
  if (previous == 0) return false;
  done_.subclassed = true;
  return true;
}

void CClosePopup::RestoreWindowProc() {
  if (!done_.subclassed) return;
  done_.subclassed = false;
  const LONG_PTR old = reinterpret_cast<LONG_PTR>(oldWindowProc);
  if (unicodeWindow) {
    ::SetWindowLongW(frameWindow, GWL_WNDPROC, old);
  } else {
    ::SetWindowLongA(frameWindow, GWL_WNDPROC, old);
  }
}

void CClosePopup::ReleaseImageResources() {
  if (done_.gifCache) ReleaseGifCache();
  if (done_.wininet) FreeWininet();
  done_.gifCache = done_.wininet = false;
}

void CClosePopup::ReleaseRegion() {
  if (done_.regionRef) ReleaseShareInfo();
  done_.regionRef = false;
}

void CClosePopup::UnregisterFrame() {
  if (done_.registered) UnregisterWindow(frameWindow);
  done_.registered = false;
}

void CClosePopup::ClearThreadSlot() {
  if (done_.threadSlot && module::ThreadObject() == this) module::SetThreadObject(nullptr);
  done_.threadSlot = false;
}

void CClosePopup::OnDestroy() {
  if (!attached_) return;
  attached_ = false;
  RestoreWindowProc();
  keyboardHook.reset();
  mouseHook.reset();
  DisconnectWin();
  Disconnect();
  ReleaseImageResources();
  UnregisterFrame();
  ReleaseRegion();
  ClearThreadSlot();
  // Last: this may free the object.
  IObjectWithSite* self = keepAlive_.Detach();
  if (self != nullptr) self->Release();
}

STDMETHODIMP CClosePopup::GetSite(REFIID riid, void** ppvSite) {
  if (ppvSite == nullptr) return E_POINTER;
  *ppvSite = nullptr;
  if (!site) return E_FAIL;
  return site->QueryInterface(riid, ppvSite);
}

HRESULT STDMETHODCALLTYPE CClosePopup::OnQuitReset() {
  guard.OnBrowserQuit();
  return S_OK;
}

HRESULT STDMETHODCALLTYPE CClosePopup::Connect() {
  try {
    if (!cpContainer) return E_POINTER;
    Microsoft::WRL::ComPtr<IConnectionPoint> point;
    QP_RETURN_IF_FAILED(cpContainer->FindConnectionPoint(DIID_DWebBrowserEvents2, &point));
    if (!point) return E_POINTER;
    return point->Advise(ControllingUnknown(), &eventCookie);
  }
  QP_CATCH_RETURN()
}

HRESULT STDMETHODCALLTYPE CClosePopup::Disconnect() {
  try {
    if (!cpContainer) return E_POINTER;
    Microsoft::WRL::ComPtr<IConnectionPoint> point;
    QP_RETURN_IF_FAILED(cpContainer->FindConnectionPoint(DIID_DWebBrowserEvents2, &point));
    if (!point) return E_POINTER;
    const HRESULT hr = point->Unadvise(eventCookie);
    eventCookie = 0;
    return hr;
  }
  QP_CATCH_RETURN()
}

void CClosePopup::StartTrayProgram() {
  // Without an installation folder nothing is started: "zot.exe" alone would
  // be looked for in whatever folder the browser happens to be in.
  const std::string folder = GetInstallFolder();
  if (folder.empty()) return;
  const std::string program = folder + kTrayProgramFile;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (::CreateProcessA(program.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                       &process)) {
    unique_handle processHandle(process.hProcess);
    unique_handle threadHandle(process.hThread);
  }
}

bool CClosePopup::Enabled() const {
  const ShareInfo* info = GetShareInfo();
  return info != nullptr && info->Enable != 0;
}

STDMETHODIMP CClosePopup::GetTypeInfoCount(UINT* count) { return DispatchTypeInfoCount(count); }

STDMETHODIMP CClosePopup::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return DispatchTypeInfo(IID_IClosePopup, index, info);
}

STDMETHODIMP CClosePopup::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return DispatchIDsOfNames(IID_IClosePopup, riid, names, count, ids);
}

void CClosePopup::OnDocumentEvent(std::int32_t code) {
  if (!browser) return;
  Microsoft::WRL::ComPtr<IDispatch> document;
  if (browser->get_Document(&document) != S_OK || !document) return;
  Microsoft::WRL::ComPtr<IHTMLDocument2> html;
  if (FAILED(document.As(&html)) || !html) return;
  guard.OnWindowEvent(code);
}

void CClosePopup::OnNewWindow2(IDispatch** ppDisp, VARIANT_BOOL* cancel) {
  if (cancel == nullptr) return;
  std::int16_t flag = *cancel;
  guard.OnNewWindow(flag, [this, ppDisp] { OpenPopupHidden(ppDisp); });
  *cancel = flag;
}

void CClosePopup::OnBeforeNavigate(const VARIANT* url) {
  std::string text;
  guard.OnBeforeNavigate(AddressText(url, text) ? text.c_str() : nullptr);
}

void CClosePopup::OpenPopupHidden(IDispatch** ppDisp) {
  if (ppDisp == nullptr) return;
  Microsoft::WRL::ComPtr<IWebBrowser2> hidden;
  const HRESULT hr = ::CoCreateInstance(CLSID_InternetExplorer, nullptr, CLSCTX_ALL, IID_PPV_ARGS(&hidden));
  if (FAILED(hr) || !hidden) {
    *ppDisp = nullptr;
    return;
  }
  hidden->put_RegisterAsBrowser(VARIANT_TRUE);
  *ppDisp = nullptr;
  hidden->get_Application(ppDisp);
  SHANDLE_PTR window = 0;
  hidden->get_HWND(&window);
  PostToTrayProgram(CMD_DELAY_CLOSE, static_cast<LPARAM>(window));
  // The hidden browser is never made visible.
}

}  // namespace qp
