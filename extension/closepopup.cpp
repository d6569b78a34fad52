#include "closepopup.h"

#include <string>

#include "commands.h"
#include "dispatch.h"
#include "module.h"
#include "wintable.h"

namespace qp {

namespace {

constexpr wchar_t kHelperObjectsPath[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
constexpr wchar_t kHelperObjectName[] = L"Close Popup Windows";

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
    module::ReadPlatform();
    site = newSite;
    browser.Reset();
    if (newSite == nullptr || FAILED(newSite->QueryInterface(IID_PPV_ARGS(&browser))) || !browser) {
      browser.Reset();
      return E_INVALIDARG;
    }
    // The attach to the browser window (connection points, shared region,
    // window subclass, hooks, events) is not part of this object yet.
    return E_NOTIMPL;
  }
  QP_CATCH_RETURN()
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

HRESULT STDMETHODCALLTYPE CClosePopup::Connect() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE CClosePopup::Disconnect() { return E_NOTIMPL; }

STDMETHODIMP CClosePopup::GetTypeInfoCount(UINT* count) { return DispatchTypeInfoCount(count); }

STDMETHODIMP CClosePopup::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return DispatchTypeInfo(IID_IClosePopup, index, info);
}

STDMETHODIMP CClosePopup::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return DispatchIDsOfNames(IID_IClosePopup, riid, names, count, ids);
}

STDMETHODIMP CClosePopup::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) {
  // The dispatch of the browser's and the page windows' events is not part
  // of this object yet.
  return E_NOTIMPL;
}

void CClosePopup::OnDocumentEvent(std::int32_t code) {
  if (!browser) return;
  Microsoft::WRL::ComPtr<IDispatch> document;
  if (browser->get_Document(&document) != S_OK || !document) return;
  Microsoft::WRL::ComPtr<IHTMLDocument2> html;
  if (FAILED(document.As(&html)) || !html) return;
  guard.OnWindowEvent(code);
}

void CClosePopup::ShowOrHideAnim(IHTMLWindow2*) {
  // No in-page pass over Flash movies, images and marquees is built into
  // this object yet; the page window is left as it is.
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
