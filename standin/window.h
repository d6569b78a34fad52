// One top-level browser window: its own thread with a message loop and a
// single-threaded apartment, the frame window ("IEFrame") with a toolbar and
// the page area, the browser object, and the helper objects loaded from the
// registry. Everything but the marked members runs on the window's thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "com.h"
#include "document.h"
#include "scenario.h"

namespace standin {

class Browser;

// A message that a test step waits for: the window procedure of the window
// that receives it sets the event.
struct InputWatch {
  UINT msg = 0;
  WPARAM key = 0;      // for key messages: the virtual key; 0 for any
  HWND hwnd = nullptr;  // the receiving window; null for any window of this browser window
  bool atPoint = false;  // for mouse messages: only at this client point of hwnd
  POINT point = {};
  unique_handle event;
};

// Where an element is on the screen, for pointer input.
struct ElementTarget {
  bool found = false;
  HWND view = nullptr;
  POINT center = {};  // screen coordinates
  RECT screenBox = {};
};

class BrowserWindow {
 public:
  static constexpr wchar_t kFrameClass[] = L"IEFrame";
  static constexpr wchar_t kToolbarClass[] = L"StandinToolbar";
  static constexpr wchar_t kCommandClass[] = L"StandinCommand";
  static void RegisterClasses(HINSTANCE instance);

  // refuseEvents: the browser's event connection point takes no sink.
  BrowserWindow(int id, bool hidden, bool refuseEvents = false);
  ~BrowserWindow();
  BrowserWindow(const BrowserWindow&) = delete;
  // Times the helpers' mouse hooks on the window's thread; reported at close.
  static LRESULT CALLBACK TimeMouseHooks(int code, WPARAM wParam, LPARAM lParam);
  static BrowserWindow* OwnerOf(HWND hwnd, UINT msg, LPARAM lParam);
  BrowserWindow& operator=(const BrowserWindow&) = delete;

  // --- Any thread ---
  // Starts the window's thread; true once its windows exist and its helper
  // objects are attached.
  bool Start(DWORD ms, const std::string& origin);
  // Runs fn on the window's thread and waits for it; false when the window
  // has ended or fn did not finish within ms.
  bool Call(std::function<void()> fn, DWORD ms);
  // Queues fn on the window's thread.
  bool Post(std::function<void()> fn);
  bool WaitEnded(DWORD ms);
  int id() const { return id_; }
  bool hidden() const { return hidden_; }
  bool closed() const { return closed_.load(); }
  bool ended() const { return ended_.load(); }
  HWND frame() const { return frame_; }
  HWND toolbar() const { return toolbar_; }
  HMENU trackedMenu() const { return trackedMenu_.load(); }
  // Input the test steps wait for.
  std::shared_ptr<InputWatch> Arm(UINT msg, WPARAM key, HWND hwnd);
  // A mouse message at a screen point (converted to hwnd's client coordinates).
  std::shared_ptr<InputWatch> ArmAt(UINT msg, HWND hwnd, POINT screen);
  void NoteInput(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);

  // --- The window's thread ---
  Browser* top() const { return top_.Get(); }
  // Shows page in target (the top browser or a frame) with the browser's events in order.
  bool Navigate(Browser& target, const PageDesc& page, const std::wstring& url);
  // A script of the page shown in from asks for a new window.
  void RequestNewWindow(Browser& from, const std::string& url, const std::string& pageName, const char* source);
  // Runs one of the page's own handlers.
  void RunPageAction(Browser& from, const Action& action, const char* source);
  // The user clicked the page area of doc at a client point.
  void OnPageClick(Document& doc, POINT client);
  void Close(CloseOrder order);
  // Reports the state of every element of every page of the window.
  void Report();
  // Opens the menu (modal until an item is chosen or the menu is dismissed).
  void TrackMenu();
  // Shows or hides the frame window (the browser's Visible property).
  void SetVisible(bool show, bool report);
  // Puts the frame in front and the keyboard focus on focus (or the top page).
  void BringToFront(HWND focus);
  // A timer of the page in frame asks for a new window after delayMs.
  void StartPopupTimer(Browser& from, const std::string& url, const std::string& pageName, int delayMs);
  Browser* FindFrame(const std::string& path);
  ElementTarget Locate(const std::string& path);
  RECT PageArea() const;
  void LayoutChildren();

 private:
  void ReportMouseHookTime();
  static DWORD WINAPI ThreadMain(void* self);
  static LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK ToolbarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT OnFrameMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT OnToolbarMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK CommandProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
  void Run();
  bool CreateWindows();
  void LoadHelpers();
  void UnsiteHelpers();
  void DestroyFrame();
  void PaintToolbar(HWND hwnd);
  bool LoadInto(Browser& target, const std::string& url, const std::string& pageName);

  // Browser events through the top browser's connection point.
  bool FireBeforeNavigate2(Browser& target, const std::wstring& url);
  void FireNavigated(DISPID id, Browser& target, const std::wstring& url);
  void FireSimple(DISPID id);
  void LoadFrames(Document& doc);
  void StoreDownloads(Document& doc);

  struct Helper {
    std::string clsid;
    ComPtr<IObjectWithSite> site;
  };
  struct PopupTimer {
    UINT_PTR id;
    ComPtr<Browser> from;
    std::string url;
    std::string page;
  };

  const int id_;
  const bool hidden_;
  const bool refuseEvents_;
  std::string origin_;
  unique_handle thread_;
  unique_handle readyEvent_;
  std::atomic<bool> started_{false};
  std::atomic<bool> closed_{false};
  std::atomic<bool> ended_{false};
  HWND frame_ = nullptr;
  HWND toolbar_ = nullptr;
  HWND command_ = nullptr;
  std::atomic<HMENU> trackedMenu_{nullptr};
  bool closing_ = false;
  bool everShown_ = false;
  ComPtr<Browser> top_;
  std::vector<Helper> helpers_;
  qp::unique_hhook mouseTiming_;
  std::vector<PopupTimer> timers_;
  UINT_PTR nextTimer_ = 1;

  std::mutex watchLock_;
  std::vector<std::shared_ptr<InputWatch>> watches_;
};

}  // namespace standin
