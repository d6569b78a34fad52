// CClosePopup, the Browser Helper Object: one per top-level browser window.
// It holds the window's browser object, its frame window and its own popup
// decision state, receives the browser's and the page windows' events
// through IDispatch::Invoke and the site through IObjectWithSite::SetSite.
// Apartment-threaded: everything runs on the browser window's thread.
//
// Lifetime: an attached object holds a reference on itself, given up as the
// very last step of OnDestroy, so the browser may drop its own reference
// before or after the frame window's WM_DESTROY. A SetSite that fails undoes
// every step it had done, in reverse order: no window procedure, hook, thread
// slot, table record or region reference is left pointing at the object.
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

  // NavigateComplete2 and DocumentComplete of the browser or one of its frames.
  void OnNavigated(IDispatch* pDisp);
  void OnDocumentDone(IDispatch* pDisp);

  // The page-window connections: advise on the page window of one browser
  // object (with an onload hook for a window seen the first time), of a
  // browser and all frames below it, and drop them all.
  HRESULT ConnectWin(IWebBrowser2* pageBrowser);
  HRESULT ReconnectWin(IWebBrowser2* pageBrowser);
  HRESULT DisconnectWin();

  // The detach, run by the window procedure at the frame window's WM_DESTROY.
  void OnDestroy();
  // Starts the tray program from the installation folder.
  static void StartTrayProgram();

  // The frame window's procedure and the thread's hooks; each finds its
  // object in the thread slot.
  static LRESULT CALLBACK NewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK MouseHookProc(int code, WPARAM wParam, LPARAM lParam);
  void VexDlgComm(WPARAM wParam, LPARAM lParam);
  void KeyPress();
  void OnMouse(UINT msg, const MOUSEHOOKSTRUCT& mouse);

  CPopupGuard& popupGuard() noexcept { return guard; }
  bool attached() const noexcept { return attached_; }
  HWND frame() const noexcept { return frameWindow; }
  std::size_t windowConnectionCount() const noexcept { return windowConnections.size(); }
  std::size_t onloadHookCount() const noexcept { return onloadHooks.size(); }

 private:
  // What a SetSite has done so far, so that a failure or the detach undoes
  // exactly that.
  struct AttachSteps {
    bool regionRef = false;
    bool wininet = false;
    bool gifCache = false;
    bool subclassed = false;
    bool registered = false;
    bool threadSlot = false;
  };

  HRESULT AttachToWindow();
  HRESULT RollBackAndFail();
  void RollBackAttach();
  bool Subclass();
  void RestoreWindowProc();
  void ReleaseImageResources();
  void UnregisterFrame();
  void ReleaseRegion();
  void ClearThreadSlot();
  HRESULT AdviseWindow(IUnknown* window, DWORD& cookie);
  HRESULT UnadviseWindow(IUnknown* window, DWORD cookie);
  bool Enabled() const;

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
  AttachSteps done_;
  bool attached_ = false;
  Microsoft::WRL::ComPtr<IObjectWithSite> keepAlive_;  // while attached
};

// The page area of the browser: the class "Internet Explorer_Server", in any case.
bool IsHtmlPaneWindow(HWND hwnd);
// The page element under a screen point; true when the document answered,
// with the element it gave (which may be empty).
bool ElementAtPoint(POINT point, IWebBrowser2* browser, Microsoft::WRL::ComPtr<IHTMLElement>& element);
// The document, of the browser or one of its frames at any depth, shown in
// hwnd. A scan gives up once 3000 ms have passed since the most recently
// started document scan.
bool FindDocumentForWindow(IWebBrowser2* browser, HWND hwnd, Microsoft::WRL::ComPtr<IHTMLDocument2>& document);

// The element at a position of a document's collection: the position in the
// name argument, 0 in the index argument.
HRESULT CollectionItem(IHTMLElementCollection* all, long position, Microsoft::WRL::ComPtr<IDispatch>& element);

constexpr DWORD kScanLimitMs = 3000;

}  // namespace qp
