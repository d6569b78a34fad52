// The frame window's procedure, which receives the tray program's commands,
// and the keyboard and mouse hooks of the browser window's thread, which
// tell a user's key press or click from what the page does by itself.
// Each finds its object in the thread slot; none lets an exception out.
#include <cstring>

#include "closepopup.h"
#include "commands.h"
#include "dllcomm.h"
#include "module.h"
#include "wintable.h"

namespace qp {

namespace {

using Microsoft::WRL::ComPtr;

constexpr char kHtmlPaneClass[] = "Internet Explorer_Server";
constexpr char kMenuClass[] = "#32768";
constexpr int kPaneClassRoom = 1024;
constexpr int kMenuClassRoom = 256;
constexpr WPARAM kKeyN = 'N';
constexpr LPARAM kKeyUpBit = static_cast<LPARAM>(1u << 31);
constexpr LPARAM kRepeatBit = 1 << 30;

// Process-wide, like the scans they time.
volatile DWORD ScanStartTick = 0;
volatile DWORD ScanItemTick = 0;

// The class name of a window with white space trimmed at both ends; false
// when it cannot be read.
bool TrimmedClassName(HWND hwnd, int room, std::string& name) {
  std::string buffer(static_cast<std::size_t>(room) + 1, '\0');
  const int length = ::GetClassNameA(hwnd, &buffer[0], room);
  if (length <= 0) return false;
  buffer.resize(static_cast<std::size_t>(length));
  const char* space = " \t\r\n\v\f";
  const std::size_t first = buffer.find_first_not_of(space);
  if (first == std::string::npos) {
    name.clear();
    return true;
  }
  name = buffer.substr(first, buffer.find_last_not_of(space) - first + 1);
  return true;
}

bool IsMenuWindow(HWND hwnd) {
  std::string name;
  return TrimmedClassName(hwnd, kMenuClassRoom, name) && name == kMenuClass;
}

bool IsButtonMessage(UINT msg) {
  return msg == WM_LBUTTONDOWN || msg == WM_LBUTTONUP || msg == WM_RBUTTONDOWN || msg == WM_RBUTTONUP;
}

bool ScanDocument(IHTMLDocument2* document, HWND hwnd, ComPtr<IHTMLDocument2>& found);

// A frame or inline frame element is a browser object of its own.
bool ScanElement(IDispatch* element, HWND hwnd, ComPtr<IHTMLDocument2>& found) {
  ComPtr<IWebBrowser2> frame;
  if (FAILED(element->QueryInterface(IID_PPV_ARGS(&frame))) || !frame) return false;
  return FindDocumentForWindow(frame.Get(), hwnd, found);
}

bool ScanDocument(IHTMLDocument2* document, HWND hwnd, ComPtr<IHTMLDocument2>& found) {
  ScanStartTick = ::GetTickCount();
  ComPtr<IOleWindow> oleWindow;
  if (SUCCEEDED(document->QueryInterface(IID_PPV_ARGS(&oleWindow))) && oleWindow) {
    HWND shown = nullptr;
    if (FAILED(oleWindow->GetWindow(&shown))) return false;
    if (shown == hwnd) {
      found = document;
      return true;
    }
  }
  ComPtr<IHTMLElementCollection> all;
  long length = 0;
  if (FAILED(document->get_all(&all)) || !all || FAILED(all->get_length(&length))) return false;
  for (long i = 0; i < length; ++i) {
    ScanItemTick = ::GetTickCount();
    ComPtr<IDispatch> element;
    if (CollectionItem(all.Get(), i, element) != S_OK) return false;
    if (ScanItemTick - ScanStartTick > kScanLimitMs) return false;
    if (element && ScanElement(element.Get(), hwnd, found)) return true;
  }
  return false;
}

}  // namespace

bool IsHtmlPaneWindow(HWND hwnd) {
  std::string name;
  return TrimmedClassName(hwnd, kPaneClassRoom, name) && ::lstrcmpiA(name.c_str(), kHtmlPaneClass) == 0;
}

bool FindDocumentForWindow(IWebBrowser2* browser, HWND hwnd, ComPtr<IHTMLDocument2>& document) {
  if (browser == nullptr) return false;
  ComPtr<IDispatch> dispatch;
  if (browser->get_Document(&dispatch) != S_OK || !dispatch) return false;
  ComPtr<IHTMLDocument2> html;
  if (FAILED(dispatch.As(&html)) || !html) return false;
  return ScanDocument(html.Get(), hwnd, document);
}

bool ElementAtPoint(POINT point, IWebBrowser2* browser, ComPtr<IHTMLElement>& element) {
  const HWND hwnd = ::WindowFromPoint(point);
  if (hwnd == nullptr) return false;
  ComPtr<IHTMLDocument2> document;
  if (!FindDocumentForWindow(browser, hwnd, document)) return false;
  if (!::ScreenToClient(hwnd, &point)) return false;
  element.Reset();
  return document->elementFromPoint(point.x, point.y, &element) == S_OK;
}

LRESULT CALLBACK CClosePopup::NewProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  CClosePopup* object = module::ThreadObject();
  if (object == nullptr) return 0;
  if (msg == CommandMessageId()) {
    try {
      object->VexDlgComm(wParam, lParam);
    }
    QP_CATCH_ALL()
    return 0;
  }
  // OnDestroy may free the object: what the last step needs is read first.
  const WNDPROC previous = object->oldWindowProc;
  const bool unicode = object->unicodeWindow;
  if (msg == WM_DESTROY) {
    try {
      object->OnDestroy();
    }
    QP_CATCH_ALL()
  }
  return unicode ? ::CallWindowProcW(previous, hwnd, msg, wParam, lParam)
                 : ::CallWindowProcA(previous, hwnd, msg, wParam, lParam);
}

void CClosePopup::VexDlgComm(WPARAM wParam, LPARAM) {
  switch (wParam) {
    case CMD_KILLPOPUP_CHANGED:
      break;
    case CMD_REGISTER_AGAIN:
      RegisterWindow(frameWindow, CommandMessageId());
      break;
    default:
      documentCompleted = false;
      break;
  }
}

LRESULT CALLBACK CClosePopup::KeyboardHookProc(int code, WPARAM wParam, LPARAM lParam) {
  CClosePopup* object = module::ThreadObject();
  if (object != nullptr && code >= 0 && (lParam & kKeyUpBit) == 0 && (lParam & kRepeatBit) == 0 &&
      (wParam == kKeyN || wParam == VK_RETURN)) {
    try {
      object->KeyPress();
    }
    QP_CATCH_ALL()
  }
  return ::CallNextHookEx(object != nullptr ? object->keyboardHook.get() : nullptr, code, wParam, lParam);
}

void CClosePopup::KeyPress() {
  guard.OnUserKey();
  skipMove = true;
}

LRESULT CALLBACK CClosePopup::MouseHookProc(int code, WPARAM wParam, LPARAM lParam) {
  CClosePopup* object = module::ThreadObject();
  if (object != nullptr && code >= 0 && lParam != 0) {
    const MOUSEHOOKSTRUCT& mouse = *reinterpret_cast<const MOUSEHOOKSTRUCT*>(lParam);
    if (mouse.wHitTestCode == HTCLIENT && mouse.hwnd != object->frameWindow && object->Enabled()) {
      try {
        object->OnMouse(static_cast<UINT>(wParam), mouse);
      }
      QP_CATCH_ALL()
    }
  }
  return ::CallNextHookEx(object != nullptr ? object->mouseHook.get() : nullptr, code, wParam, lParam);
}

void CClosePopup::OnMouse(UINT msg, const MOUSEHOOKSTRUCT& mouse) {
  const HWND under = ::WindowFromPoint(mouse.pt);
  if (msg == WM_MOUSEMOVE && under == lastButtonWindow) {
    if (skipMove) {
      skipMove = false;
    } else {
      guard.OnUserMove();
    }
    return;
  }
  if (!IsButtonMessage(msg)) return;
  lastButtonWindow = under;
  if (under != nullptr && IsHtmlPaneWindow(under)) {
    skipMove = true;
    ComPtr<IHTMLElement> element;
    if (ElementAtPoint(mouse.pt, browser.Get(), element) && element) guard.OnUserClick();
    return;
  }
  if (under != nullptr && IsMenuWindow(under)) guard.OnUserClick();
}

}  // namespace qp
