// CClosePopup, the Browser Helper Object: one per top-level browser window.
// It holds the window's browser object, its frame window and its own popup
// decision state, receives the browser's and the page windows' events
// through IDispatch::Invoke and the site through IObjectWithSite::SetSite.
// Apartment-threaded: everything runs on the browser window's thread.
#pragma once

#include <windows.h>
#include <exdisp.h>
#include <mshtml.h>
#include <ocidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <vector>

#include "comobject.h"
#include "dispload.h"
#include "guardenv.h"
#include "handles.h"
#include "popupguard.h"
#include "registration.h"
#include "vex.h"

namespace qp {

// One page window this object is advised on for its HTMLWindowEvents.
struct WindowConnection {
  Microsoft::WRL::ComPtr<IUnknown> window;
  DWORD cookie = 0;
};

class CClosePopup final : public IObjectWithSite,
                          public IClosePopup,
                          public com::ComObject<CClosePopup>,
                          public DocumentEventOwner {
 public:
  static const QITAB kInterfaces[];
  static HRESULT Create(IUnknown* outer, REFIID riid, void** ppv) noexcept {
    return com::CreateInstance<CClosePopup>(outer, riid, ppv);
  }
  // "Vex.ClosePopup", "Vex.ClosePopup.1", the class key, and the browser's
  // Browser Helper Objects entry that makes the browser load the class.
  static std::vector<reg::RootedKey> RegistryKeys(const std::wstring& modulePath);

  explicit CClosePopup(IUnknown* outer);
  ~CClosePopup() override;

  QP_DELEGATING_IUNKNOWN

  // IObjectWithSite
  STDMETHODIMP SetSite(IUnknown* site) override;
  STDMETHODIMP GetSite(REFIID riid, void** ppvSite) override;
  // The browser's OnQuit: the window is closing.
  virtual HRESULT STDMETHODCALLTYPE OnQuitReset();
  // Advise and unadvise this object on the browser's DWebBrowserEvents2.
  virtual HRESULT STDMETHODCALLTYPE Connect();
  virtual HRESULT STDMETHODCALLTYPE Disconnect();

  // IDispatch (IClosePopup)
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argError) override;

  // DocumentEventOwner: a page-window event or the onload hook reaches the
  // popup decision while the browser shows an HTML document.
  void OnDocumentEvent(std::int32_t code) override;
  void ShowOrHideAnim(IHTMLWindow2* window) override;

  // NewWindow2: the decision and the steps after it. ppDisp receives the
  // hidden browser's window on the delayed-close path; cancel is the
  // event's Cancel flag, read and written in place.
  void OnNewWindow2(IDispatch** ppDisp, VARIANT_BOOL* cancel);
  // BeforeNavigate2: records whether the address (a VARIANT holding text,
  // directly or by reference) goes to a script.
  void OnBeforeNavigate(const VARIANT* url);
  // The delayed-close path: a new, never shown browser receives the popup
  // and the tray program is told its window to close later. On failure
  // *ppDisp is set to null and nothing is posted.
  void OpenPopupHidden(IDispatch** ppDisp);

  CPopupGuard& popupGuard() noexcept { return guard; }

 private:
  Microsoft::WRL::ComPtr<IUnknown> site;
  Microsoft::WRL::ComPtr<IWebBrowser2> browser;
  Microsoft::WRL::ComPtr<IConnectionPointContainer> cpContainer;
  DWORD eventCookie = 0;
  HWND frameWindow = nullptr;
  unique_hhook mouseHook;
  unique_hhook keyboardHook;
  std::vector<WindowConnection> windowConnections;
  std::vector<Microsoft::WRL::ComPtr<CDispLoad>> onloadHooks;
  bool skipMove = false;
  HWND lastButtonWindow = nullptr;
  BrowserPopupEnvironment guardEnvironment{browser};
  CPopupGuard guard{guardEnvironment};
  WNDPROC oldWindowProc = nullptr;
  bool unicodeWindow = false;
  bool documentCompleted = false;
};

}  // namespace qp
