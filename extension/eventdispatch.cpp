// The browser's and the page windows' events, as they reach the helper
// object through IDispatch::Invoke, and the two small steps the dispatch
// owns for completed navigations.
#include <exdispid.h>
#include <mshtmdid.h>

#include "closepopup.h"
#include "dllcomm.h"

namespace qp {

namespace {

// Event arguments arrive in reverse order: element 0 is the event's last
// argument. Null when the browser passed fewer arguments than the event has.
const VARIANT* Argument(const DISPPARAMS& params, UINT index) {
  if (params.rgvarg == nullptr || index >= params.cArgs) return nullptr;
  return &params.rgvarg[index];
}

// The dispatch object of a VT_DISPATCH (or VT_UNKNOWN) argument.
IDispatch* DispatchArgument(const VARIANT* arg) {
  if (arg == nullptr) return nullptr;
  if (V_VT(arg) == VT_DISPATCH) return V_DISPATCH(arg);
  if (V_VT(arg) == (VT_BYREF | VT_DISPATCH) && V_DISPATCHREF(arg) != nullptr) return *V_DISPATCHREF(arg);
  return nullptr;
}

// Positions of the arguments used, counted from the last one.
constexpr UINT kBeforeNavigateUrl = 5;
constexpr UINT kNewWindowPpDisp = 1;
constexpr UINT kNewWindowCancel = 0;
constexpr UINT kNavigatedBrowser = 1;

}  // namespace

STDMETHODIMP CClosePopup::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT*, EXCEPINFO*, UINT*) {
  if (!Enabled()) return S_OK;
  if (params == nullptr) return E_INVALIDARG;
  try {
    switch (id) {
      case DISPID_DOWNLOADCOMPLETE:
      case DISPID_DOWNLOADBEGIN:
        break;
      case DISPID_BEFORENAVIGATE2:
        OnBeforeNavigate(Argument(*params, kBeforeNavigateUrl));
        break;
      case DISPID_NEWWINDOW2: {
        // The two by-reference arguments are written through, so their
        // types are checked rather than taken on trust.
        const VARIANT* ppDisp = Argument(*params, kNewWindowPpDisp);
        const VARIANT* cancel = Argument(*params, kNewWindowCancel);
        if (ppDisp == nullptr || cancel == nullptr) break;
        if (V_VT(ppDisp) != (VT_BYREF | VT_DISPATCH) || V_VT(cancel) != (VT_BYREF | VT_BOOL)) break;
        if (V_BOOLREF(cancel) == nullptr) break;
        OnNewWindow2(V_DISPATCHREF(ppDisp), V_BOOLREF(cancel));
        break;
      }
      case DISPID_NAVIGATECOMPLETE2:
        OnNavigated(DispatchArgument(Argument(*params, kNavigatedBrowser)));
        break;
      case DISPID_ONQUIT:
        OnQuitReset();
        break;
      case DISPID_DOCUMENTCOMPLETE:
        OnDocumentDone(DispatchArgument(Argument(*params, kNavigatedBrowser)));
        break;
      case DISPID_HTMLWINDOWEVENTS_ONLOAD:
      case DISPID_HTMLWINDOWEVENTS_ONUNLOAD:
      case DISPID_HTMLWINDOWEVENTS_ONBEFOREUNLOAD:
        OnDocumentEvent(id);
        break;
      default:
        break;
    }
  }
  QP_CATCH_ALL()
  return S_OK;
}

void CClosePopup::OnNavigated(IDispatch* pDisp) {
  if (pDisp == nullptr) return;
  Microsoft::WRL::ComPtr<IWebBrowser2> navigated;
  if (FAILED(pDisp->QueryInterface(IID_PPV_ARGS(&navigated))) || !navigated) return;
  ConnectWin(navigated.Get());
  guard.OnNavigateComplete();
}

void CClosePopup::OnDocumentDone(IDispatch* pDisp) {
  Microsoft::WRL::ComPtr<IWebBrowser2> completed;
  if (pDisp != nullptr && SUCCEEDED(pDisp->QueryInterface(IID_PPV_ARGS(&completed))) && completed) {
    VARIANT_BOOL topLevel = VARIANT_FALSE;
    if (SUCCEEDED(completed->get_TopLevelContainer(&topLevel)) && topLevel != VARIANT_FALSE) {
      DisconnectWin();
      ReconnectWin(completed.Get());
    }
  }
  guard.OnDocumentComplete();
  documentCompleted = true;
}

}  // namespace qp
