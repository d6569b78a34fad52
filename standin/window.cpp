#include "window.h"

#include <exdispid.h>
#include <windowsx.h>

#include "browser.h"
#include "runtime.h"
#include "stopwatch.h"

namespace standin {

namespace {

constexpr UINT kRunCommand = WM_APP + 1;
constexpr int kToolbarHeight = 30;
constexpr int kFrameWidth = 660;
constexpr int kFrameHeight = 600;
constexpr int kCascade = 40;
constexpr UINT kMenuFirstId = 100;
constexpr int kMenuButtonLeft = 170;
constexpr int kMenuButtonRight = 240;
constexpr wchar_t kHelperKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";

using Command = std::function<void()>;

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    const auto slash = path.find('/', start);
    parts.push_back(path.substr(start, slash - start));
    if (slash == std::string::npos) return parts;
    start = slash + 1;
  }
}

void RunGuarded(const char* where, const Command& command) {
  try {
    command();
  } catch (const std::exception& e) {
    ReportError(where, e.what());
  } catch (...) {
    ReportError(where, "unexpected failure");
  }
}

}  // namespace

void BrowserWindow::RegisterClasses(HINSTANCE instance) {
  WNDCLASSEXW frame = {};
  frame.cbSize = sizeof(frame);
  frame.lpfnWndProc = FrameProc;
  frame.hInstance = instance;
  frame.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  frame.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  frame.lpszClassName = kFrameClass;
  ::RegisterClassExW(&frame);

  WNDCLASSEXW toolbar = {};
  toolbar.cbSize = sizeof(toolbar);
  toolbar.lpfnWndProc = ToolbarProc;
  toolbar.hInstance = instance;
  toolbar.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  toolbar.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  toolbar.lpszClassName = kToolbarClass;
  ::RegisterClassExW(&toolbar);

  WNDCLASSEXW command = {};
  command.cbSize = sizeof(command);
  command.lpfnWndProc = CommandProc;
  command.hInstance = instance;
  command.lpszClassName = kCommandClass;
  ::RegisterClassExW(&command);

  Document::RegisterViewClass(instance);
}

BrowserWindow::BrowserWindow(int id, bool hidden, bool refuseEvents)
    : id_(id), hidden_(hidden), refuseEvents_(refuseEvents) {}

BrowserWindow::~BrowserWindow() = default;

bool BrowserWindow::Start(DWORD ms, const std::string& origin) {
  origin_ = origin;
  readyEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!readyEvent_) return false;
  thread_.reset(::CreateThread(nullptr, 0, ThreadMain, this, 0, nullptr));
  if (!thread_) return false;
  return WaitPumpingSent(readyEvent_.get(), ms) && started_.load();
}

bool BrowserWindow::Post(Command command) {
  if (ended_.load() || !command_) return false;
  auto* heap = new Command(std::move(command));
  if (!::PostMessageW(command_, kRunCommand, 0, reinterpret_cast<LPARAM>(heap))) {
    delete heap;
    return false;
  }
  return true;
}

bool BrowserWindow::Call(Command command, DWORD ms) {
  if (thread_ && ::GetCurrentThreadId() == ::GetThreadId(thread_.get())) {
    command();
    return true;
  }
  // Shared with the window's thread, which may still run it after a time-out.
  struct Done {
    unique_handle event{::CreateEventW(nullptr, TRUE, FALSE, nullptr)};
  };
  auto done = std::make_shared<Done>();
  if (!done->event) return false;
  const bool posted = Post([done, command = std::move(command)] {
    RunGuarded("window command", command);
    ::SetEvent(done->event.get());
  });
  return posted && WaitPumpingSent(done->event.get(), ms);
}

bool BrowserWindow::WaitEnded(DWORD ms) {
  return !thread_ || ::WaitForSingleObject(thread_.get(), ms) == WAIT_OBJECT_0;
}

DWORD WINAPI BrowserWindow::ThreadMain(void* self) {
  auto* window = static_cast<BrowserWindow*>(self);
  RunGuarded("window thread", [window] { window->Run(); });
  window->ended_ = true;
  ::SetEvent(window->readyEvent_.get());
  return 0;
}

void BrowserWindow::Run() {
  const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(init)) {
    ReportError("window " + std::to_string(id_), "CoInitializeEx failed: " + HexValue(init));
    return;
  }
  if (CreateWindows()) {
    top_ = Browser::CreateTop(*this);
    if (refuseEvents_) top_->events().RefuseAdvise();
    if (!hidden_) SetVisible(true, false);
    Record("window")
        .Int("window", id_)
        .Str("state", "opened")
        .Bool("hidden", hidden_)
        .Str("origin", origin_)
        .Str("hwnd", HexValue(static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(frame_))))
        .Int("thread", static_cast<long long>(::GetCurrentThreadId()))
        .Emit();
    LoadHelpers();
    // Installed after the helpers' hooks, so it is called first and times
    // theirs through CallNextHookEx.
    mouseTiming_.reset(::SetWindowsHookExW(WH_MOUSE, TimeMouseHooks, nullptr, ::GetCurrentThreadId()));
    started_ = true;
    ::SetEvent(readyEvent_.get());

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (!closing_) Close(Runtime::Get().scenario().closeOrder);
    // Commands that arrived while the window closed still run, so that no caller waits for them in vain.
    while (command_ && ::PeekMessageW(&msg, command_, kRunCommand, kRunCommand, PM_REMOVE)) {
      ::DispatchMessageW(&msg);
    }
  }
  if (top_) top_->Detach();
  top_.Reset();
  helpers_.clear();
  timers_.clear();
  if (command_) ::DestroyWindow(command_);
  ::CoUninitialize();
}

bool BrowserWindow::CreateWindows() {
  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  const int offset = kCascade * ((id_ - 1) % 8);
  frame_ = ::CreateWindowExW(0, kFrameClass, L"Stand-in browser", WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN,
                             kCascade + offset, kCascade + offset, kFrameWidth, kFrameHeight, nullptr, nullptr,
                             instance, this);
  if (!frame_) {
    ReportError("window " + std::to_string(id_), "the frame window could not be created");
    return false;
  }
  toolbar_ = ::CreateWindowExW(0, kToolbarClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, kToolbarHeight, frame_,
                               nullptr, instance, this);
  command_ = ::CreateWindowExW(0, kCommandClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, instance, this);
  if (!toolbar_ || !command_) {
    ReportError("window " + std::to_string(id_), "the toolbar or command window could not be created");
    return false;
  }
  LayoutChildren();
  return true;
}

RECT BrowserWindow::PageArea() const {
  RECT client = {};
  ::GetClientRect(frame_, &client);
  client.top = kToolbarHeight;
  if (client.bottom < client.top) client.bottom = client.top;
  return client;
}

void BrowserWindow::LayoutChildren() {
  RECT client = {};
  ::GetClientRect(frame_, &client);
  if (toolbar_) ::MoveWindow(toolbar_, 0, 0, client.right, kToolbarHeight, TRUE);
  if (top_ && top_->document() && top_->document()->view()) {
    const RECT area = PageArea();
    ::MoveWindow(top_->document()->view(), area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
  }
}

void BrowserWindow::SetVisible(bool show, bool report) {
  if (!frame_) return;
  ::ShowWindow(frame_, show ? SW_SHOW : SW_HIDE);
  if (show) {
    ::UpdateWindow(frame_);
    everShown_ = true;
  }
  if (report) Record("visible").Int("window", id_).Bool("value", show).Emit();
}

// --- Helper objects ------------------------------------------------------------------

void BrowserWindow::LoadHelpers() {
  HKEY raw = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHelperKey, 0, KEY_READ, &raw) != ERROR_SUCCESS) return;
  unique_hkey key(raw);
  ComPtr<IUnknown> site = Identity(top_->dispatch());
  for (DWORD index = 0;; ++index) {
    wchar_t name[128];
    DWORD length = 128;
    if (::RegEnumKeyExW(key.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    Record record("helper");
    record.Int("window", id_).Str("clsid", std::wstring(name));
    CLSID clsid;
    HRESULT hr = ::CLSIDFromString(name, &clsid);
    ComPtr<IObjectWithSite> helper;
    if (SUCCEEDED(hr)) {
      hr = ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IObjectWithSite,
                              reinterpret_cast<void**>(helper.GetAddressOf()));
    }
    record.Str("created", HexValue(static_cast<unsigned long>(hr)));
    if (SUCCEEDED(hr)) {
      const Stopwatch siting;
      const HRESULT sited = helper->SetSite(site.Get());
      record.Str("setSite", HexValue(static_cast<unsigned long>(sited))).Int("setSiteUs", siting.ElapsedMicros());
      helpers_.push_back(Helper{Narrow(name), helper});
    }
    record.Emit();
  }
}

void BrowserWindow::UnsiteHelpers() {
  for (Helper& helper : helpers_) {
    const HRESULT hr = helper.site->SetSite(nullptr);
    Record("unsite")
        .Int("window", id_)
        .Str("clsid", helper.clsid)
        .Str("result", HexValue(static_cast<unsigned long>(hr)))
        .Bool("frameAlive", ::IsWindow(frame_) != FALSE)
        .Emit();
  }
}

namespace {
// What the helpers' mouse hooks cost on this thread.
thread_local long long t_mouseMessages = 0;
thread_local long long t_mouseTotalUs = 0;
thread_local long long t_mouseMaxUs = 0;
}  // namespace

LRESULT CALLBACK BrowserWindow::TimeMouseHooks(int code, WPARAM wParam, LPARAM lParam) {
  const Stopwatch hooks;
  const LRESULT result = ::CallNextHookEx(nullptr, code, wParam, lParam);
  if (code >= 0) {
    const long long us = hooks.ElapsedMicros();
    ++t_mouseMessages;
    t_mouseTotalUs += us;
    if (us > t_mouseMaxUs) t_mouseMaxUs = us;
  }
  return result;
}

void BrowserWindow::ReportMouseHookTime() {
  mouseTiming_.reset();
  if (t_mouseMessages == 0) return;
  Record("mousehooks")
      .Int("window", id_)
      .Int("messages", t_mouseMessages)
      .Int("totalUs", t_mouseTotalUs)
      .Int("maxUs", t_mouseMaxUs)
      .Emit();
}

void BrowserWindow::DestroyFrame() {
  if (frame_ && ::IsWindow(frame_)) ::DestroyWindow(frame_);
  Record("destroyed").Int("window", id_).Emit();
}

// --- Closing ---------------------------------------------------------------------------

void BrowserWindow::Close(CloseOrder order) {
  if (closing_) return;
  closing_ = true;
  Record("close")
      .Int("window", id_)
      .Str("order", order == CloseOrder::DestroyFirst ? "destroy-first" : "unsite-first")
      .Emit();
  if (Document* doc = top_->document()) {
    PreOrder(*doc, [](Document& d) { d.pageWindow()->FireBeforeUnload(); });
  }
  FireSimple(DISPID_ONQUIT);
  if (Document* doc = top_->document()) {
    PreOrder(*doc, [](Document& d) { d.pageWindow()->FireUnload(); });
  }
  ReportMouseHookTime();
  if (order == CloseOrder::DestroyFirst) {
    DestroyFrame();
    UnsiteHelpers();
  } else {
    UnsiteHelpers();
    DestroyFrame();
  }
  top_->Detach();
  for (Helper& helper : helpers_) helper.site.Reset();  // the browser's last reference
  helpers_.clear();
  closed_ = true;
  Record("window")
      .Int("window", id_)
      .Str("state", "closed")
      .Bool("hidden", hidden_)
      .Bool("shown", everShown_)
      .Emit();
  ::PostQuitMessage(0);
}

// --- Reports and user-interface pieces -------------------------------------------------------

void BrowserWindow::Report() {
  if (closing_ || !top_->document()) return;
  PreOrder(*top_->document(), [this](Document& doc) {
    Record("page")
        .Int("window", id_)
        .Str("frame", doc.owner().framePath())
        .Str("page", doc.page().name)
        .Str("url", doc.url())
        .Int("windowEventSinks", static_cast<long long>(doc.pageWindow()->Connected()))
        .Emit();
    for (const LaidOut& item : doc.layout()) {
      Record record("element");
      record.Int("window", id_).Str("element", item.face->core.path);
      item.face->Describe(record);
      record.Emit();
    }
  });
}

void BrowserWindow::TrackMenu() {
  const Scenario& sc = Runtime::Get().scenario();
  qp::unique_hmenu menu(::CreatePopupMenu());
  if (!menu) throw std::runtime_error("the menu could not be created");
  for (std::size_t i = 0; i < sc.menu.size(); ++i) {
    ::AppendMenuW(menu.get(), MF_STRING, kMenuFirstId + i, Widen(sc.menu[i]).c_str());
  }
  RECT bar = {};
  ::GetWindowRect(toolbar_, &bar);
  ::SetForegroundWindow(frame_);
  trackedMenu_ = menu.get();
  const UINT chosen = static_cast<UINT>(::TrackPopupMenu(menu.get(),
                                                         TPM_RETURNCMD | TPM_LEFTALIGN | TPM_TOPALIGN | TPM_LEFTBUTTON,
                                                         bar.left + kMenuButtonLeft, bar.bottom, 0, frame_, nullptr));
  trackedMenu_ = nullptr;
  ::PostMessageW(frame_, WM_NULL, 0, 0);
  Record record("menu");
  record.Int("window", id_).Bool("chosen", chosen != 0);
  if (chosen >= kMenuFirstId && chosen < kMenuFirstId + sc.menu.size()) {
    record.Str("item", sc.menu[chosen - kMenuFirstId]);
  }
  record.Emit();
}

void BrowserWindow::BringToFront(HWND focus) {
  if (!hidden_) {
    ::SetWindowPos(frame_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    ::SetForegroundWindow(frame_);
    ::SetActiveWindow(frame_);
  }
  if (!focus && top_->document()) focus = top_->document()->view();
  if (focus) ::SetFocus(focus);
}

void BrowserWindow::StartPopupTimer(Browser& from, const std::string& url, const std::string& pageName, int delayMs) {
  const UINT_PTR id = nextTimer_++;
  timers_.push_back(PopupTimer{id, ComPtr<Browser>(&from), url, pageName});
  ::SetTimer(command_, id, static_cast<UINT>(delayMs), nullptr);
}

Browser* BrowserWindow::FindFrame(const std::string& path) {
  Browser* browser = top_.Get();
  if (path.empty()) return browser;
  for (const std::string& id : SplitPath(path)) {
    Document* doc = browser ? browser->document() : nullptr;
    const LaidOut* item = doc ? doc->FindElement(id) : nullptr;
    if (!item || !item->frame) return nullptr;
    browser = item->frame;
  }
  return browser;
}

ElementTarget BrowserWindow::Locate(const std::string& path) {
  ElementTarget target;
  const auto slash = path.find_last_of('/');
  Browser* owner = FindFrame(slash == std::string::npos ? std::string() : path.substr(0, slash));
  Document* doc = owner ? owner->document() : nullptr;
  const LaidOut* item = doc ? doc->FindElement(path.substr(slash == std::string::npos ? 0 : slash + 1)) : nullptr;
  if (!item || !doc->view()) return target;
  target.found = true;
  target.view = doc->view();
  RECT box = item->face->core.box;
  ::MapWindowPoints(doc->view(), nullptr, reinterpret_cast<POINT*>(&box), 2);
  target.screenBox = box;
  target.center = POINT{(box.left + box.right) / 2, (box.top + box.bottom) / 2};
  return target;
}

// --- Input watches -------------------------------------------------------------------------------

std::shared_ptr<InputWatch> BrowserWindow::Arm(UINT msg, WPARAM key, HWND hwnd) {
  auto watch = std::make_shared<InputWatch>();
  watch->msg = msg;
  watch->key = key;
  watch->hwnd = hwnd;
  watch->event.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::lock_guard<std::mutex> lock(watchLock_);
  watches_.push_back(watch);
  return watch;
}

std::shared_ptr<InputWatch> BrowserWindow::ArmAt(UINT msg, HWND hwnd, POINT screen) {
  ::ScreenToClient(hwnd, &screen);
  auto watch = std::make_shared<InputWatch>();
  watch->msg = msg;
  watch->hwnd = hwnd;
  watch->atPoint = true;
  watch->point = screen;
  watch->event.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  std::lock_guard<std::mutex> lock(watchLock_);
  watches_.push_back(watch);
  return watch;
}

void BrowserWindow::NoteInput(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  const bool key = msg == WM_KEYDOWN || msg == WM_KEYUP || msg == WM_SYSKEYDOWN || msg == WM_SYSKEYUP;
  std::lock_guard<std::mutex> lock(watchLock_);
  for (auto it = watches_.begin(); it != watches_.end();) {
    const InputWatch& w = **it;
    const bool at = !w.atPoint || (GET_X_LPARAM(lParam) == w.point.x && GET_Y_LPARAM(lParam) == w.point.y);
    if (w.msg == msg && (!w.hwnd || w.hwnd == hwnd) && (!key || !w.key || w.key == wParam) && at) {
      ::SetEvent(w.event.get());
      it = watches_.erase(it);
    } else {
      ++it;
    }
  }
}

// --- Window procedures ------------------------------------------------------------------------------

// The browser window that owns one of its windows: handed over at creation,
// kept in GWLP_USERDATA.
BrowserWindow* BrowserWindow::OwnerOf(HWND hwnd, UINT msg, LPARAM lParam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  return reinterpret_cast<BrowserWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

LRESULT CALLBACK BrowserWindow::FrameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  try {
    return OnFrameMessage(hwnd, msg, wParam, lParam);
  } catch (...) {
    ReportError("frame window", "unexpected failure");
  }
  return 0;
}

LRESULT BrowserWindow::OnFrameMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  BrowserWindow* self = OwnerOf(hwnd, msg, lParam);
  if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_SIZE:
      self->LayoutChildren();
      return 0;
    case WM_CLOSE:
      // Closed from the window's own loop, never inside a caller's window procedure.
      self->Post([self] { self->Close(Runtime::Get().scenario().closeOrder); });
      return 0;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_LBUTTONUP:
    case WM_MOUSEMOVE:
      self->NoteInput(hwnd, msg, wParam, lParam);
      break;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

void BrowserWindow::PaintToolbar(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = ::BeginPaint(hwnd, &ps);
  RECT client;
  ::GetClientRect(hwnd, &client);
  ::FillRect(dc, &client, ::GetSysColorBrush(COLOR_BTNFACE));
  ::SelectObject(dc, ::GetStockObject(DEFAULT_GUI_FONT));
  ::SetBkMode(dc, TRANSPARENT);
  struct Button {
    int left, right;
    const wchar_t* text;
  };
  const Button buttons[] = {{4, 80, L"Back"}, {86, 164, L"Forward"}, {kMenuButtonLeft, kMenuButtonRight, L"Menu"}};
  for (const Button& b : buttons) {
    RECT r = {b.left, 3, b.right, kToolbarHeight - 3};
    ::DrawEdge(dc, &r, EDGE_RAISED, BF_RECT);
    ::DrawTextW(dc, b.text, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  }
  std::wstring address = L"Address: ";
  if (top_ && top_->document()) address += top_->document()->url();
  RECT r = {kMenuButtonRight + 10, 3, client.right - 4, kToolbarHeight - 3};
  ::DrawTextW(dc, address.c_str(), -1, &r, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
  ::EndPaint(hwnd, &ps);
}

LRESULT CALLBACK BrowserWindow::ToolbarProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  try {
    return OnToolbarMessage(hwnd, msg, wParam, lParam);
  } catch (...) {
    ReportError("toolbar", "unexpected failure");
  }
  return 0;
}

LRESULT BrowserWindow::OnToolbarMessage(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  BrowserWindow* self = OwnerOf(hwnd, msg, lParam);
  if (!self) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
  switch (msg) {
    case WM_PAINT:
      self->PaintToolbar(hwnd);
      return 0;
    case WM_LBUTTONUP:
      Record("toolbar")
          .Int("window", self->id_)
          .Int("x", GET_X_LPARAM(lParam))
          .Int("y", GET_Y_LPARAM(lParam))
          .Emit();
      self->NoteInput(hwnd, msg, wParam, lParam);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
      self->NoteInput(hwnd, msg, wParam, lParam);
      return 0;
    case WM_NCDESTROY:
      ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
      break;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

LRESULT CALLBACK BrowserWindow::CommandProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  BrowserWindow* self = OwnerOf(hwnd, msg, lParam);
  if (msg == kRunCommand) {
    std::unique_ptr<Command> command(reinterpret_cast<Command*>(lParam));
    RunGuarded("window command", *command);
    return 0;
  }
  if (msg == WM_TIMER && self) {
    ::KillTimer(hwnd, wParam);
    for (auto it = self->timers_.begin(); it != self->timers_.end(); ++it) {
      if (it->id != wParam) continue;
      PopupTimer timer = std::move(*it);
      self->timers_.erase(it);
      if (!self->closing_) {
        RunGuarded("page timer", [&] { self->RequestNewWindow(*timer.from.Get(), timer.url, timer.page, "timer"); });
      }
      break;
    }
    return 0;
  }
  if (msg == WM_NCDESTROY) {
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
    if (self) self->command_ = nullptr;
  }
  return ::DefWindowProcW(hwnd, msg, wParam, lParam);
}

}  // namespace standin
