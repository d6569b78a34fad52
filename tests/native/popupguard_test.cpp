#include "popupguard.h"

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "commands.h"

namespace qp {
namespace {

// Records what the guard asks and does; answers from plain fields.
class FakeEnvironment : public PopupEnvironment {
 public:
  FakeEnvironment() {
    info.Enable = 1;
    info.KillPopup = 1;
  }

  ShareInfo* Settings() override { return withRegion ? &info : nullptr; }
  bool ShiftOrCtrlHeld() override {
    asked += "keys ";
    return keyHeld;
  }
  bool PageAddress(std::wstring& out) override {
    asked += "address ";
    if (!addressKnown) return false;
    out = address;
    return true;
  }
  bool IsWhiteListed(const std::wstring& a) override {
    asked += "white ";
    return white.count(a) != 0;
  }
  void PlayKillSound() override { ++sounds; }
  void PostToTray(std::uint32_t code, std::intptr_t lParam) override { posts.emplace_back(code, lParam); }

  ShareInfo info{};
  bool withRegion = true;
  bool keyHeld = false;
  bool addressKnown = true;
  std::wstring address = L"http://pages.example/a.html";
  std::set<std::wstring> white;
  std::string asked;
  int sounds = 0;
  std::vector<std::pair<std::uint32_t, std::intptr_t>> posts;
};

struct DecideCase {
  const char* name;
  void (*arrange)(FakeEnvironment&, CPopupGuard&);
  bool cancelled;
  const char* asked;  // the environment's questions, in order
};

// Each row is one rule of the decision, in the order the rules are tested;
// the questions asked show that the rules before it were passed and the
// ones after it were not consulted.
const DecideCase kDecideCases[] = {
    {"switched off", [](FakeEnvironment& e, CPopupGuard&) { e.info.Enable = 0; }, false, ""},
    {"popup killing off", [](FakeEnvironment& e, CPopupGuard&) { e.info.KillPopup = 0; }, false, ""},
    {"no region", [](FakeEnvironment& e, CPopupGuard&) { e.withRegion = false; }, false, ""},
    {"shift or ctrl while closing",
     [](FakeEnvironment& e, CPopupGuard& g) {
       e.keyHeld = true;
       g.OnBrowserQuit();
     },
     false, "keys "},
    {"address unknown", [](FakeEnvironment& e, CPopupGuard&) { e.addressKnown = false; }, false, "keys address "},
    {"white-listed page while closing",
     [](FakeEnvironment& e, CPopupGuard& g) {
       e.white.insert(e.address);
       g.OnBrowserQuit();
     },
     false, "keys address white "},
    {"script link unloaded the page",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnBeforeNavigate("  JavaScript:openIt()");
       g.OnWindowEvent(kDispIdWindowOnbeforeunload);
     },
     false, "keys address white "},
    {"script-link unload while closing",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnBrowserQuit();
       g.OnBeforeNavigate("javascript:x");
       g.OnWindowEvent(kDispIdWindowOnbeforeunload);
     },
     false, "keys address white "},
    {"closing window after a click",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnUserClick();
       g.OnBrowserQuit();
     },
     true, "keys address white "},
    {"quit clears a script-link unload",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnBeforeNavigate("vbscript:x");
       g.OnWindowEvent(kDispIdWindowOnbeforeunload);
       g.OnBrowserQuit();
     },
     true, "keys address white "},
    {"click", [](FakeEnvironment&, CPopupGuard& g) { g.OnUserClick(); }, false, "keys address white "},
    {"key press", [](FakeEnvironment&, CPopupGuard& g) { g.OnUserKey(); }, false, "keys address white "},
    {"no gesture", [](FakeEnvironment&, CPopupGuard&) {}, true, "keys address white "},
    {"click withdrawn by a move",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnUserClick();
       g.OnUserMove();
     },
     true, "keys address white "},
    {"click before the page loaded",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnUserClick();
       g.OnWindowEvent(kDispIdWindowOnload);
     },
     true, "keys address white "},
    {"click before the page unloaded",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnUserClick();
       g.OnWindowEvent(kDispIdWindowOnunload);
     },
     true, "keys address white "},
    {"click before onbeforeunload without a script link",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnUserClick();
       g.OnWindowEvent(kDispIdWindowOnbeforeunload);
     },
     true, "keys address white "},
    {"click before the onload hook fired",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnUserKey();
       g.OnWindowEvent(ONLOAD_HOOK_CODE);
     },
     true, "keys address white "},
    {"click survives an unknown window event",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnUserClick();
       g.OnWindowEvent(1002);
       g.OnWindowEvent(0);
     },
     false, "keys address white "},
    {"onload hook clears a script-link unload",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnBeforeNavigate("javascript:x");
       g.OnWindowEvent(kDispIdWindowOnbeforeunload);
       g.OnWindowEvent(ONLOAD_HOOK_CODE);
     },
     true, "keys address white "},
    {"navigation complete clears a script-link unload",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnBeforeNavigate("javascript:x");
       g.OnWindowEvent(kDispIdWindowOnbeforeunload);
       g.OnNavigateComplete();
     },
     true, "keys address white "},
    {"document complete clears a script-link unload",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnBeforeNavigate("javascript:x");
       g.OnWindowEvent(kDispIdWindowOnbeforeunload);
       g.OnDocumentComplete();
     },
     true, "keys address white "},
    {"a move clears a script-link unload",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnBeforeNavigate("javascript:x");
       g.OnWindowEvent(kDispIdWindowOnbeforeunload);
       g.OnUserMove();
     },
     true, "keys address white "},
    {"a later ordinary navigation drops the script link",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnBeforeNavigate("javascript:x");
       g.OnBeforeNavigate("http://pages.example/javascript/next.html");
       g.OnWindowEvent(kDispIdWindowOnbeforeunload);
     },
     true, "keys address white "},
    {"a navigation argument without text drops the script link",
     [](FakeEnvironment&, CPopupGuard& g) {
       g.OnBeforeNavigate("javascript:x");
       g.OnBeforeNavigate(nullptr);
       g.OnWindowEvent(kDispIdWindowOnbeforeunload);
     },
     true, "keys address white "},
};

TEST(PopupGuard, DecideFollowsItsRulesInOrder) {
  for (const DecideCase& c : kDecideCases) {
    SCOPED_TRACE(c.name);
    FakeEnvironment env;
    CPopupGuard guard(env);
    c.arrange(env, guard);
    env.asked.clear();
    std::int16_t cancel = kCancelClear;
    guard.Decide(cancel);
    EXPECT_EQ(cancel, c.cancelled ? kCancelSet : kCancelClear);
    EXPECT_EQ(env.asked, c.asked);
    // Every decision consumes the gesture and the script-link unload.
    EXPECT_FALSE(guard.allow());
    EXPECT_FALSE(guard.scriptUnload());
  }
}

TEST(PopupGuard, DecideNeverClearsACancelThatCameSet) {
  for (const DecideCase& c : kDecideCases) {
    SCOPED_TRACE(c.name);
    FakeEnvironment env;
    CPopupGuard guard(env);
    c.arrange(env, guard);
    std::int16_t cancel = kCancelSet;
    guard.Decide(cancel);
    EXPECT_EQ(cancel, kCancelSet);
  }
}

TEST(PopupGuard, OneGestureOpensOneWindow) {
  FakeEnvironment env;
  CPopupGuard guard(env);
  guard.OnUserClick();
  std::int16_t first = kCancelClear, second = kCancelClear;
  guard.Decide(first);
  guard.Decide(second);
  EXPECT_EQ(first, kCancelClear);
  EXPECT_EQ(second, kCancelSet);

  // A script-link unload also lets exactly one window through.
  guard.OnBeforeNavigate("\tJavaScript:go()");
  guard.OnWindowEvent(kDispIdWindowOnbeforeunload);
  EXPECT_FALSE(guard.scriptLink()) << "onbeforeunload consumes the script link";
  std::int16_t third = kCancelClear, fourth = kCancelClear;
  guard.Decide(third);
  guard.Decide(fourth);
  EXPECT_EQ(third, kCancelClear);
  EXPECT_EQ(fourth, kCancelSet);
}

TEST(PopupGuard, SwitchedOffStillConsumesTheGesture) {
  FakeEnvironment env;
  env.info.KillPopup = 0;
  CPopupGuard guard(env);
  guard.OnUserClick();
  guard.OnBeforeNavigate("javascript:x");
  guard.OnWindowEvent(kDispIdWindowOnbeforeunload);
  ASSERT_TRUE(guard.allow() == false && guard.scriptUnload());
  guard.OnUserClick();
  std::int16_t cancel = kCancelClear;
  guard.Decide(cancel);
  EXPECT_EQ(cancel, kCancelClear);
  EXPECT_FALSE(guard.allow());
  EXPECT_FALSE(guard.scriptUnload());

  env.info.KillPopup = 1;
  guard.Decide(cancel);
  EXPECT_EQ(cancel, kCancelSet) << "the earlier click was used up while switched off";
}

TEST(PopupGuard, QuittingIsNeverCleared) {
  FakeEnvironment env;
  CPopupGuard guard(env);
  guard.OnBrowserQuit();
  guard.OnNavigateComplete();
  guard.OnDocumentComplete();
  guard.OnWindowEvent(ONLOAD_HOOK_CODE);
  std::int16_t cancel = kCancelClear;
  guard.Decide(cancel);
  EXPECT_TRUE(guard.quitting());
  EXPECT_EQ(cancel, kCancelSet);
}

struct NewWindowCase {
  const char* name;
  std::uint8_t delayClose, beep, flashIcon, killPopup;
  bool gesture;
  std::int16_t cancelOnArrival;
  std::int16_t cancelAfter;
  bool hiddenOpened;
  int sounds;
  bool flashPosted;
  int counted;
};

const NewWindowCase kNewWindowCases[] = {
    // name                         delay beep flash kill gesture arrival      after        hidden sound flash count
    {"killed quietly",              0,    0,   0,    1,   false,  kCancelClear, kCancelSet,  false, 0,    false, 1},
    {"killed with sound and flash", 0,    1,   1,    1,   false,  kCancelClear, kCancelSet,  false, 1,    true,  1},
    {"let open",                    0,    1,   1,    1,   true,   kCancelClear, kCancelClear, false, 0,   false, 0},
    {"delayed close of a kill",     1,    1,   1,    1,   false,  kCancelClear, kCancelClear, true, 0,    false, 0},
    {"delayed close, let open",     1,    1,   1,    1,   true,   kCancelClear, kCancelClear, false, 0,   false, 0},
    {"cancel set by another handler", 0,  1,   1,    0,   true,   kCancelSet,  kCancelSet,  false, 1,    true,  1},
    {"cancel set by another, delayed", 1, 1,   1,    0,   true,   kCancelSet,  kCancelClear, true, 0,    false, 0},
    {"any non-zero cancel counts",  0,    0,   1,    0,   true,   1,           1,           false, 0,    true,  1},
};

TEST(PopupGuard, StepsAfterTheDecision) {
  for (const NewWindowCase& c : kNewWindowCases) {
    SCOPED_TRACE(c.name);
    FakeEnvironment env;
    env.info.DELAYCLOSE = c.delayClose;
    env.info.BEEP = c.beep;
    env.info.FlashIcon = c.flashIcon;
    env.info.KillPopup = c.killPopup;
    env.info.BlockCount = 41;
    CPopupGuard guard(env);
    if (c.gesture) guard.OnUserClick();
    int hidden = 0;
    std::int16_t cancel = c.cancelOnArrival;
    guard.OnNewWindow(cancel, [&] { ++hidden; });
    EXPECT_EQ(cancel, c.cancelAfter);
    EXPECT_EQ(hidden, c.hiddenOpened ? 1 : 0);
    EXPECT_EQ(env.sounds, c.sounds);
    const std::vector<std::pair<std::uint32_t, std::intptr_t>> flash = {{CMD_FLASH_ICON, 0}};
    EXPECT_EQ(env.posts, c.flashPosted ? flash : decltype(flash){});
    EXPECT_EQ(env.info.BlockCount, 41 + c.counted);
  }
}

TEST(PopupGuard, EachKillCountsOnceAndTheCountWraps) {
  FakeEnvironment env;
  env.info.BlockCount = INT_MAX - 1;
  CPopupGuard guard(env);
  for (int i = 0; i < 3; ++i) {
    std::int16_t cancel = kCancelClear;
    guard.OnNewWindow(cancel, [] {});
    EXPECT_EQ(cancel, kCancelSet);
  }
  EXPECT_EQ(env.info.BlockCount, INT_MIN + 1);
}

TEST(PopupGuard, NoRegionMeansNoAfterSteps) {
  FakeEnvironment env;
  env.withRegion = false;
  CPopupGuard guard(env);
  std::int16_t cancel = kCancelSet;
  int hidden = 0;
  guard.OnNewWindow(cancel, [&] { ++hidden; });
  EXPECT_EQ(cancel, kCancelSet);
  EXPECT_EQ(hidden, 0);
  EXPECT_EQ(env.sounds, 0);
  EXPECT_TRUE(env.posts.empty());
}

TEST(PopupGuard, ScriptAddresses) {
  const std::pair<const char*, bool> cases[] = {
      {"javascript:void(0)", true},
      {"  JavaScript:open()", true},
      {"\t\r\n vbscript:msgbox", true},
      {"VBSCRIPT", true},
      {"javascript", true},  // the word alone counts, no colon needed
      {"javascripts-are-fun.example", true},
      {"http://pages.example/javascript/menu.html", false},
      {"http://javascript.example/", false},
      {"xjavascript:", false},
      {"java", false},
      {"vb script:", false},
      {"", false},
      {"   ", false},
  };
  for (const auto& [address, script] : cases) {
    EXPECT_EQ(IsScriptAddress(address), script) << address;
    FakeEnvironment env;
    CPopupGuard guard(env);
    guard.OnBeforeNavigate(address);
    EXPECT_EQ(guard.scriptLink(), script) << address;
  }
}

}  // namespace
}  // namespace qp
