#include "timeline.h"

#include "browser.h"
#include "input.h"
#include "results.h"
#include "runtime.h"
#include "window.h"

namespace standin {

namespace {

constexpr DWORD kPollMs = 20;
constexpr int kMoveAttempts = 3;
constexpr wchar_t kMenuClass[] = L"#32768";

// A step that does not fit the pages or windows as they are.
class StepMismatch : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// A step that could not be carried out in time.
class StepFailure : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

using WindowPtr = std::shared_ptr<BrowserWindow>;

class Player {
 public:
  explicit Player(const Scenario& sc) : sc_(sc) {}
  void Play(const Step& step);

 private:
  [[noreturn]] void Mismatch(const Step& s, const std::string& message) const {
    throw StepMismatch(sc_.Place(s.where, message));
  }
  [[noreturn]] void Failure(const Step& s, const std::string& message) const {
    throw StepFailure(sc_.Place(s.where, message));
  }

  WindowPtr Window(const Step& s) const;
  // Runs fn on the window's thread and hands back its answer.
  template <class T>
  T Ask(const Step& s, const WindowPtr& w, std::function<T()> fn) const {
    auto answer = std::make_shared<T>();
    if (!w->Call([answer, fn] { *answer = fn(); }, kCommandMs)) {
      Failure(s, "window " + std::to_string(w->id()) + " did not answer within " + std::to_string(kCommandMs) + " ms");
    }
    return *answer;
  }
  void Do(const Step& s, const WindowPtr& w, std::function<void()> fn) const {
    Ask<bool>(s, w, [fn] {
      fn();
      return true;
    });
  }
  // Lets the window finish what the last input started (posted reactions).
  void Settle(const Step& s, const WindowPtr& w) const {
    Do(s, w, [] {});
  }

  void WaitWatch(const Step& s, const std::shared_ptr<InputWatch>& watch, const char* what) const;
  void MoveTo(const Step& s, const WindowPtr& w, POINT to, HWND expected) const;
  void Click(const Step& s, const WindowPtr& w, POINT at, HWND expected, bool right, bool twice = false) const;
  void Hold(const Step& s, const WindowPtr& w, bool down) const;
  ElementTarget Target(const Step& s, const WindowPtr& w) const;
  // A point of the top page given in its client coordinates, on the screen.
  POINT PagePoint(const Step& s, const WindowPtr& w) const;

  void Open(const Step& s);
  void Load(const Step& s);
  void ClickElement(const Step& s);
  void Key(const Step& s);
  void Move(const Step& s);
  void Popup(const Step& s);
  void Menu(const Step& s);
  void Toolbar(const Step& s);
  void Close(const Step& s);
  void Wait(const Step& s);
  void WaitClosed(const Step& s);
  void ReportAll(const Step& s);

  const Scenario& sc_;
};

WORD HoldKey(const std::string& hold) { return hold == "shift" ? VK_SHIFT : VK_CONTROL; }

WindowPtr Player::Window(const Step& s) const {
  WindowPtr w = Runtime::Get().FindWindow(s.window);
  if (!w) Mismatch(s, "there is no window " + std::to_string(s.window));
  if (w->closed()) Mismatch(s, "window " + std::to_string(s.window) + " is closed");
  return w;
}

void Player::WaitWatch(const Step& s, const std::shared_ptr<InputWatch>& watch, const char* what) const {
  if (!WaitPumpingSent(watch->event.get(), kInputMs)) {
    Failure(s, std::string(what) + " did not arrive within " + std::to_string(kInputMs) + " ms");
  }
}

// The pointer at a point, its movement seen there by the window: the system
// may still deliver an older position afterwards (Wine applies the X
// server's pointer events late), so the message must carry this point.
void Player::MoveTo(const Step& s, const WindowPtr& w, POINT to, HWND expected) const {
  for (int attempt = 0; attempt < kMoveAttempts; ++attempt) {
    POINT now = {};
    ::GetCursorPos(&now);
    if (now.x == to.x && now.y == to.y && attempt == 0) return;  // no movement, no message
    if (now.x == to.x && now.y == to.y) {
      // Step aside, so that coming back is a movement.
      if (!MovePointer(POINT{to.x + 1, to.y})) continue;
    }
    auto watch = w->ArmAt(WM_MOUSEMOVE, expected, to);
    if (!MovePointer(to)) continue;
    if (WaitPumpingSent(watch->event.get(), kInputMs / kMoveAttempts)) return;
  }
  Failure(s, "the pointer movement did not arrive at " + std::to_string(to.x) + "," + std::to_string(to.y));
}

void Player::Click(const Step& s, const WindowPtr& w, POINT at, HWND expected, bool right, bool twice) const {
  if (::WindowFromPoint(at) != expected) Failure(s, "another window covers the point to click");
  MoveTo(s, w, at, expected);
  for (int i = 0; i < (twice ? 2 : 1); ++i) {
    POINT now = {};
    ::GetCursorPos(&now);
    if (now.x != at.x || now.y != at.y) MoveTo(s, w, at, expected);
    auto watch = w->ArmAt(right ? WM_RBUTTONUP : WM_LBUTTONUP, expected, at);
    if (!PressButton(right, true) || !PressButton(right, false)) Failure(s, "SendInput refused the click");
    WaitWatch(s, watch, "the click at the element");
  }
}

void Player::Hold(const Step& s, const WindowPtr& w, bool down) const {
  if (s.hold.empty()) return;
  const WORD vk = HoldKey(s.hold);
  if (down) {
    auto watch = w->Arm(WM_KEYDOWN, vk, nullptr);
    if (!PressKey(vk, true)) Failure(s, "SendInput refused the key");
    WaitWatch(s, watch, "the held key");
    return;
  }
  // The request may have opened a window that now has the keyboard focus.
  std::vector<HANDLE> events;
  std::vector<std::shared_ptr<InputWatch>> watches;
  for (const WindowPtr& any : Runtime::Get().Windows()) {
    if (any->closed() || any->hidden()) continue;
    watches.push_back(any->Arm(WM_KEYUP, vk, nullptr));
    events.push_back(watches.back()->event.get());
  }
  if (!PressKey(vk, false)) Failure(s, "SendInput refused the key");
  if (events.empty()) return;
  const DWORD r = ::WaitForMultipleObjects(static_cast<DWORD>(events.size()), events.data(), FALSE, kInputMs);
  if (r >= WAIT_OBJECT_0 + events.size()) Failure(s, "the release of the held key did not arrive");
}

ElementTarget Player::Target(const Step& s, const WindowPtr& w) const {
  const std::string path = s.element;
  const ElementTarget t = Ask<ElementTarget>(s, w, [w, path] {
    ElementTarget found = w->Locate(path);
    if (found.found) w->BringToFront(found.view);
    return found;
  });
  if (!t.found) Mismatch(s, "no element \"" + s.element + "\" in the page shown in window " + std::to_string(w->id()));
  if (w->hidden()) Mismatch(s, "window " + std::to_string(w->id()) + " is hidden and gets no input");
  return t;
}

void Player::Open(const Step& s) {
  WindowPtr w = Runtime::Get().OpenWindow(false, s.where, s.refuseEvents);
  if (!w) Failure(s, "the window did not open");
  const PageDesc* page = sc_.FindPage(s.page);
  const std::wstring url = Widen(page->url);
  Do(s, w, [w, page, url] { w->Navigate(*w->top(), *page, url); });
}

void Player::Load(const Step& s) {
  WindowPtr w = Window(s);
  const PageDesc* page = sc_.FindPage(s.page);
  const std::wstring url = Widen(page->url);
  const std::string frame = s.frame;
  const bool found = Ask<bool>(s, w, [w, page, url, frame] {
    Browser* target = w->FindFrame(frame);
    if (!target) return false;
    w->Navigate(*target, *page, url);
    return true;
  });
  if (!found) Mismatch(s, "no frame \"" + s.frame + "\" in the page shown in window " + std::to_string(w->id()));
}

POINT Player::PagePoint(const Step& s, const WindowPtr& w) const {
  const int x = s.atX, y = s.atY;
  const ElementTarget t = Ask<ElementTarget>(s, w, [w, x, y] {
    ElementTarget page;
    Document* doc = w->top()->document();
    if (!doc || !doc->view()) return page;
    w->BringToFront(nullptr);
    page.found = true;
    page.center = POINT{x, y};
    ::ClientToScreen(doc->view(), &page.center);
    return page;
  });
  if (!t.found) Mismatch(s, "window " + std::to_string(w->id()) + " shows no page");
  return t.center;
}

void Player::ClickElement(const Step& s) {
  WindowPtr w = Window(s);
  ElementTarget t;
  if (s.hasAt) {
    t.center = PagePoint(s, w);
    t.view = ::WindowFromPoint(t.center);
  } else {
    t = Target(s, w);
  }
  Hold(s, w, true);
  Click(s, w, t.center, t.view, s.button == "right", s.twice);
  Hold(s, w, false);
  Settle(s, w);
}

void Player::Key(const Step& s) {
  WindowPtr w = Window(s);
  if (w->hidden()) Mismatch(s, "window " + std::to_string(w->id()) + " is hidden and gets no input");
  Do(s, w, [w] { w->BringToFront(nullptr); });
  const WORD vk = s.key == "N" ? static_cast<WORD>('N') : static_cast<WORD>(VK_RETURN);
  Hold(s, w, true);
  auto watch = w->Arm(WM_KEYUP, vk, nullptr);
  if (!PressKey(vk, true) || !PressKey(vk, false)) Failure(s, "SendInput refused the key");
  WaitWatch(s, watch, "the key");
  Hold(s, w, false);
  Settle(s, w);
}

void Player::Move(const Step& s) {
  WindowPtr w = Window(s);
  POINT to = {};
  HWND expected = nullptr;
  if (!s.element.empty()) {
    const ElementTarget t = Target(s, w);
    to = t.center;
    expected = t.view;
  } else {
    to = PagePoint(s, w);
    expected = ::WindowFromPoint(to);
  }
  POINT now = {};
  ::GetCursorPos(&now);
  if (now.x == to.x && now.y == to.y) {
    // Already there: step aside first, so that the step is a real movement.
    MoveTo(s, w, POINT{to.x, to.y + 2}, ::WindowFromPoint(POINT{to.x, to.y + 2}));
  }
  MoveTo(s, w, to, expected);
  Settle(s, w);
}

void Player::Popup(const Step& s) {
  WindowPtr w = Window(s);
  if (!s.hold.empty()) {
    if (w->hidden()) Mismatch(s, "window " + std::to_string(w->id()) + " is hidden and gets no input");
    Do(s, w, [w] { w->BringToFront(nullptr); });
  }
  Hold(s, w, true);
  const std::string frame = s.frame, url = s.url, page = s.page, from = s.from;
  const int delay = s.delayMs;
  const bool found = Ask<bool>(s, w, [w, frame, url, page, from, delay] {
    Browser* requester = w->FindFrame(frame);
    if (!requester || !requester->document()) return false;
    if (from == "timer") {
      w->StartPopupTimer(*requester, url, page, delay);
    } else {
      w->RequestNewWindow(*requester, url, page, "script");
    }
    return true;
  });
  Hold(s, w, false);
  if (!found) Mismatch(s, "no page in frame \"" + s.frame + "\" of window " + std::to_string(w->id()));
}

void Player::Menu(const Step& s) {
  WindowPtr w = Window(s);
  if (w->hidden()) Mismatch(s, "window " + std::to_string(w->id()) + " is hidden and gets no input");
  auto closedMenu = std::make_shared<unique_handle>(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!w->Post([w, closedMenu] {
        w->TrackMenu();
        ::SetEvent(closedMenu->get());
      })) {
    Failure(s, "window " + std::to_string(w->id()) + " takes no commands");
  }
  // The menu window appears on the window's thread.
  HWND menuWindow = nullptr;
  for (DWORD waited = 0; waited < kInputMs && !menuWindow; waited += kPollMs) {
    HWND candidate = ::FindWindowW(kMenuClass, nullptr);
    if (candidate && ::IsWindowVisible(candidate) && w->trackedMenu()) menuWindow = candidate;
    else ::Sleep(kPollMs);
  }
  if (!menuWindow) Failure(s, "the menu did not open");
  // The item's rows, found by asking the menu which item lies under each row
  // of its window (item rectangles of popup menus are not reliable across systems).
  RECT whole = {};
  ::GetWindowRect(menuWindow, &whole);
  const LONG x = (whole.left + whole.right) / 2;
  LONG first = -1, last = -1;
  for (LONG y = whole.top; y < whole.bottom; ++y) {
    if (::MenuItemFromPoint(w->frame(), w->trackedMenu(), POINT{x, y}) == s.itemIndex) {
      if (first < 0) first = y;
      last = y;
    }
  }
  if (first < 0) {
    const LONG height = (whole.bottom - whole.top) / static_cast<LONG>(sc_.menu.size());
    first = whole.top + height * s.itemIndex;
    last = first + height - 1;
  }
  const POINT at = {x, (first + last) / 2};
  // The menu's window is not the stand-in's, so no message tells that the
  // pointer arrived: it must be found there a moment after the movement.
  bool there = false;
  for (int attempt = 0; attempt < kMoveAttempts && !there; ++attempt) {
    POINT now = {};
    there = MovePointer(at) && (::Sleep(2 * kPollMs), ::GetCursorPos(&now)) && now.x == at.x && now.y == at.y;
  }
  if (!there) Failure(s, "the pointer did not stay on the menu item");
  if (!PressButton(false, true) || !PressButton(false, false)) Failure(s, "SendInput refused the click");
  if (!WaitPumpingSent(closedMenu->get(), kInputMs)) Failure(s, "the menu did not close after the click");
  Settle(s, w);
}

void Player::Toolbar(const Step& s) {
  WindowPtr w = Window(s);
  if (w->hidden()) Mismatch(s, "window " + std::to_string(w->id()) + " is hidden and gets no input");
  const POINT at = Ask<POINT>(s, w, [w] {
    w->BringToFront(nullptr);
    RECT bar = {};
    ::GetWindowRect(w->toolbar(), &bar);
    return POINT{bar.left + 40, (bar.top + bar.bottom) / 2};
  });
  Click(s, w, at, w->toolbar(), false);
  Settle(s, w);
}

void Player::Close(const Step& s) {
  WindowPtr w = Window(s);
  const CloseOrder order = s.order ? *s.order : sc_.closeOrder;
  if (!s.hold.empty()) Do(s, w, [w] { w->BringToFront(nullptr); });
  Hold(s, w, true);
  Do(s, w, [w, order] { w->Close(order); });
  Hold(s, w, false);
  if (!w->WaitEnded(kCommandMs)) Failure(s, "the window's thread did not end after closing");
}

void Player::Wait(const Step& s) { ::Sleep(static_cast<DWORD>(s.ms)); }

void Player::WaitClosed(const Step& s) {
  WindowPtr w = Runtime::Get().FindWindow(s.window);
  if (!w) Mismatch(s, "there is no window " + std::to_string(s.window));
  DWORD waited = 0;
  while (!w->closed() && waited < static_cast<DWORD>(s.ms)) {
    ::Sleep(kPollMs);
    waited += kPollMs;
  }
  Record("waitClosed").Int("window", s.window).Bool("closed", w->closed()).Emit();
}

void Player::ReportAll(const Step& s) {
  for (const WindowPtr& w : Runtime::Get().Windows()) {
    if (!w->closed()) Do(s, w, [w] { w->Report(); });
  }
}

void Player::Play(const Step& s) {
  if (s.what == "open") Open(s);
  else if (s.what == "load") Load(s);
  else if (s.what == "click") ClickElement(s);
  else if (s.what == "key") Key(s);
  else if (s.what == "move") Move(s);
  else if (s.what == "popup") Popup(s);
  else if (s.what == "menu") Menu(s);
  else if (s.what == "toolbar") Toolbar(s);
  else if (s.what == "close") Close(s);
  else if (s.what == "wait") Wait(s);
  else if (s.what == "waitClosed") WaitClosed(s);
  else if (s.what == "report") ReportAll(s);
}

// Reports what the pages hold at the end, then closes every window still open.
bool Finish(const Scenario& sc) {
  bool ok = true;
  auto windows = Runtime::Get().Windows();
  for (const WindowPtr& w : windows) {
    if (!w->closed() && !w->Call([w] { w->Report(); }, kCommandMs)) ok = false;
  }
  for (const WindowPtr& w : windows) {
    if (w->ended()) continue;
    const CloseOrder order = sc.closeOrder;
    w->Call([w, order] { w->Close(order); }, kCommandMs);
    if (!w->WaitEnded(kCommandMs)) {
      ReportError("window " + std::to_string(w->id()), "its thread did not end after closing");
      ok = false;
    }
  }
  // Windows opened while others closed (a page's onunload may ask for one).
  for (const WindowPtr& w : Runtime::Get().Windows()) {
    if (w->ended()) continue;
    w->Call([w, order = sc.closeOrder] { w->Close(order); }, kCommandMs);
    if (!w->WaitEnded(kCommandMs)) ok = false;
  }
  return ok;
}

}  // namespace

TimelineResult RunTimeline(const Scenario& scenario, const std::function<void()>& afterStep) {
  Player player(scenario);
  TimelineResult result = TimelineResult::Done;
  for (const Step& step : scenario.steps) {
    try {
      player.Play(step);
    } catch (const StepMismatch& e) {
      ReportError(step.where, e.what());
      result = TimelineResult::ScenarioFailure;
    } catch (const StepFailure& e) {
      ReportError(step.where, e.what());
      result = TimelineResult::RunFailure;
    } catch (const std::exception& e) {
      ReportError(step.where, e.what());
      result = TimelineResult::RunFailure;
    }
    afterStep();
    if (result != TimelineResult::Done) break;
  }
  if (!Finish(scenario) && result == TimelineResult::Done) result = TimelineResult::RunFailure;
  afterStep();
  return result;
}

}  // namespace standin
