// vex.dll in the stand-in browser: registered with the system's regsvr32, it
// is loaded by every browser window the stand-in opens and decides each
// new-window request from the real input and page events of a scenario. The
// test program holds the shared region and writes the settings into it.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "commands.h"
#include "dllcomm.h"
#include "standinsession.h"
#include "wintable.h"
#include "wintest.h"

namespace qp {
namespace {

using test::Json;

constexpr DWORD kRunMs = 120000;

// vex.dll registered as a Browser Helper Object and the stand-in registered
// as the browser application class, for the whole test program.
class Registration : public ::testing::Environment {
 public:
  void SetUp() override {
    ASSERT_EQ(test::RunProgram("regsvr32.exe", "/s \"" + test::ProgramsFolder() + "vex.dll\""), 0);
    ASSERT_EQ(test::RunProgram(test::ProgramsFolder() + "standin.exe", "--register-ie"), 0);
  }
  void TearDown() override {
    EXPECT_EQ(test::RunProgram("regsvr32.exe", "/u /s \"" + test::ProgramsFolder() + "vex.dll\""), 0);
    EXPECT_EQ(test::RunProgram(test::ProgramsFolder() + "standin.exe", "--unregister-ie"), 0);
  }
};
const auto* const kRegistration = ::testing::AddGlobalTestEnvironment(new Registration);

Json Action(const char* url, const char* page) { return {{"open", url}, {"page", page}}; }

// The pages every scenario can use.
Json Pages() {
  return {
      {"home",
       {{"url", "http://www.site.example/"},
        {"elements", Json::array({
                         {{"id", "text"}, {"kind", "text"}, {"size", {300, 60}}},
                         {{"id", "link"}, {"kind", "link"}, {"href", "http://www.site.example/next"},
                          {"target", "_blank"}, {"page", "next"}},
                         {{"id", "script"}, {"kind", "link"}, {"href", "javascript:openAd()"},
                          {"onclick", Action("http://ads.example/pop", "ad")}},
                     })}}},
      {"next", {{"url", "http://www.site.example/next"}}},
      {"ad", {{"url", "http://ads.example/pop"}}},
      {"greedy", {{"url", "http://greedy.example/"}, {"onload", Action("http://ads.example/pop", "ad")}}},
      {"leaving",
       {{"url", "http://leaving.example/"},
        {"elements", Json::array({{{"id", "text"}, {"kind", "text"}}})},
        {"onunload", Action("http://ads.example/pop", "ad")}}},
  };
}

Json Scenario(Json timeline) {
  return {{"timeLimitMs", 60000}, {"pages", Pages()}, {"timeline", std::move(timeline)}};
}

Json Open(const char* page) { return {{"do", "open"}, {"page", page}}; }
Json Popup() { return {{"do", "popup"}, {"page", "ad"}}; }

class BrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitShareInfo());
    info_ = GetShareInfo();
    *info_ = ShareInfo{};
    info_->Enable = 1;
    info_->KillPopup = 1;
    info_->TrayWnd = static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(tray_.hwnd()));
    ASSERT_TRUE(GetUrlList(kWhiteList).Clear());
  }
  void TearDown() override {
    *info_ = ShareInfo{};
    GetUrlList(kWhiteList).Clear();
    ReleaseShareInfo();
  }

  // The outcomes of the new-window requests of a finished run, in order.
  static std::vector<std::string> Outcomes(const test::StandinSession& run) {
    std::vector<std::string> outcomes;
    for (const Json& r : run.Events("newwindow")) outcomes.push_back(r.value("outcome", "?"));
    return outcomes;
  }

  std::vector<MSG> TrayPosts() { return tray_.Take(CommandMessageId()); }

  ShareInfo* info_ = nullptr;
  test::PostBox tray_;
};

struct DecisionCase {
  const char* name;
  void (*settings)(ShareInfo&, UrlList& whiteList);
  Json timeline;
  std::vector<std::string> outcomes;
  int blocked;
};

void Defaults(ShareInfo&, UrlList&) {}

TEST_F(BrowserTest, NewWindowRequestsAreDecidedFromRealInputAndPageEvents) {
  const Json moveAway1 = {{"do", "move"}, {"at", {150, 20}}};
  const Json moveAway2 = {{"do", "move"}, {"at", {160, 30}}};
  const std::vector<DecisionCase> cases = {
      {"a link with a target opens; a second request without input is cancelled", Defaults,
       {Open("home"), {{"do", "click"}, {"element", "link"}}, Popup()}, {"opened", "cancelled"}, 1},
      {"a request from the page's onload is cancelled", Defaults, {Open("greedy")}, {"cancelled"}, 1},
      // Wine may follow a click with a movement of its own at the same point,
      // which takes the click's skipped movement; the key press sets the skip
      // again once input has settled.
      {"the first movement after a gesture is skipped", Defaults,
       {Open("home"), {{"do", "click"}, {"element", "text"}}, {{"do", "key"}, {"key", "N"}}, moveAway1, Popup()},
       {"opened"}, 0},
      {"the second movement withdraws the click; a timer's request is cancelled", Defaults,
       {Open("home"), {{"do", "click"}, {"element", "text"}}, moveAway1, moveAway2,
        {{"do", "popup"}, {"page", "ad"}, {"from", "timer"}, {"delayMs", 200}}, {{"do", "wait"}, {"ms", 1500}}},
       {"cancelled"}, 1},
      {"N and Enter count, each for one request", Defaults,
       {Open("home"), {{"do", "key"}, {"key", "N"}}, Popup(), {{"do", "key"}, {"key", "Enter"}}, Popup(), Popup()},
       {"opened", "opened", "cancelled"}, 1},
      {"a click on the toolbar does not count, a menu item does", Defaults,
       {Open("home"), {{"do", "toolbar"}}, Popup(), {{"do", "menu"}, {"item", "Properties"}}, Popup()},
       {"cancelled", "opened"}, 1},
      {"a right click on an element counts", Defaults,
       {Open("home"), {{"do", "click"}, {"element", "text"}, {"button", "right"}}, Popup()}, {"opened"}, 0},
      {"a javascript: link lets exactly one request through", Defaults,
       {Open("home"), {{"do", "click"}, {"element", "script"}}, Popup()}, {"opened", "cancelled"}, 1},
      {"Shift held forces the window open", Defaults,
       {Open("home"), {{"do", "popup"}, {"page", "ad"}, {"hold", "shift"}}}, {"opened"}, 0},
      {"Ctrl held forces the window open", Defaults,
       {Open("home"), {{"do", "popup"}, {"page", "ad"}, {"hold", "ctrl"}}}, {"opened"}, 0},
      {"a closing window's request is cancelled even right after a click", Defaults,
       {Open("leaving"), {{"do", "click"}, {"element", "text"}}, {{"do", "close"}}}, {"cancelled"}, 1},
      {"Shift held opens the window also while the window is closing", Defaults,
       {Open("leaving"), {{"do", "close"}, {"hold", "shift"}}}, {"opened"}, 0},
      {"a click on the page where no element is does not count", Defaults,
       {Open("home"), {{"do", "click"}, {"at", {200, 400}}}, Popup()}, {"cancelled"}, 1},
      {"a white-listed host opens in any letter case",
       [](ShareInfo&, UrlList& white) { white.Add("WWW.Site.EXAMPLE"); }, {Open("home"), Popup()}, {"opened"}, 0},
      {"the white-listed parent domain does not open the window",
       [](ShareInfo&, UrlList& white) { white.Add("site.example"); }, {Open("home"), Popup()}, {"cancelled"}, 1},
      {"Enable 0 changes nothing and counts nothing", [](ShareInfo& s, UrlList&) { s.Enable = 0; },
       {Open("greedy"), Popup()}, {"opened", "opened"}, 0},
      {"KillPopup 0 opens everything", [](ShareInfo& s, UrlList&) { s.KillPopup = 0; },
       {Open("greedy"), Popup()}, {"opened", "opened"}, 0},
  };
  for (const DecisionCase& c : cases) {
    SCOPED_TRACE(c.name);
    *info_ = ShareInfo{};
    info_->Enable = 1;
    info_->KillPopup = 1;
    info_->FlashIcon = 1;
    info_->TrayWnd = static_cast<std::uint32_t>(reinterpret_cast<UINT_PTR>(tray_.hwnd()));
    ASSERT_TRUE(GetUrlList(kWhiteList).Clear());
    c.settings(*info_, GetUrlList(kWhiteList));
    TrayPosts();

    test::StandinSession run(Scenario(c.timeline));
    ASSERT_TRUE(run.started());
    ASSERT_EQ(run.Finish(kRunMs), 0) << run.Dump();
    EXPECT_EQ(Outcomes(run), c.outcomes) << run.Dump();
    EXPECT_EQ(info_->BlockCount, c.blocked) << "one count per cancelled request";
    EXPECT_EQ(TrayPosts().size(), static_cast<std::size_t>(c.blocked)) << "one icon flash per cancelled request";
    for (const Json& helper : run.Events("helper")) {
      EXPECT_EQ(test::StandinSession::HexField(helper, "setSite"), 0) << helper.dump();
    }
  }
}

TEST_F(BrowserTest, DelayedCloseOpensTheRequestHiddenAndHandsItsWindowToTheTrayProgram) {
  info_->DELAYCLOSE = 1;
  info_->FlashIcon = 1;
  test::StandinSession run(Scenario({Open("home"), Popup()}));
  ASSERT_EQ(run.Finish(kRunMs), 0) << run.Dump();
  ASSERT_EQ(Outcomes(run), std::vector<std::string>{"opened hidden"}) << run.Dump();
  EXPECT_EQ(info_->BlockCount, 0) << "the tray program counts delayed closes itself";

  Json hidden;
  for (const Json& w : run.Events("window")) {
    if (w.value("state", "") == "opened" && w.value("hidden", false)) hidden = w;
  }
  ASSERT_TRUE(hidden.is_object()) << run.Dump();
  const std::vector<MSG> posts = TrayPosts();
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(posts[0].wParam, static_cast<WPARAM>(CMD_DELAY_CLOSE));
  EXPECT_EQ(static_cast<long long>(static_cast<unsigned long>(posts[0].lParam)),
            test::StandinSession::HexField(hidden, "hwnd"));
}

TEST_F(BrowserTest, EveryPageWindowOfAFramedPageIsConnectedAndHookedOnce) {
  Json scenario = Scenario({Open("framed")});
  scenario["pages"]["framed"] = {
      {"url", "http://framed.example/"},
      {"onload", true},
      {"elements", Json::array({{{"id", "left"}, {"kind", "frame"}, {"page", "next"}},
                                {{"id", "right"}, {"kind", "iframe"}, {"page", "ad"}}})}};
  test::StandinSession run(scenario);
  ASSERT_EQ(run.Finish(kRunMs), 0) << run.Dump();

  std::vector<Json> pages = run.Events("page");
  ASSERT_EQ(pages.size(), 3u) << run.Dump();
  for (const Json& page : pages) {
    EXPECT_EQ(page.value("windowEventSinks", -1), 1) << "one connection per page window: " << page.dump();
  }
  const std::vector<Json> loads = run.Events("onload");
  ASSERT_EQ(loads.size(), 3u) << run.Dump();
  for (const Json& load : loads) EXPECT_EQ(load.value("handler", ""), "other") << "the hook is in place\n" << run.Dump();
  for (const Json& loaded : run.Events("onloaded")) {
    const bool top = loaded.value("frame", "?").empty();
    EXPECT_EQ(loaded.value("holder", ""), top ? "page" : "none") << "the page's own handler is put back: " << loaded.dump();
  }
  int pageHandlerRuns = 0;
  for (const Json& s : run.Events("script")) {
    if (s.value("handler", "") == "onload") ++pageHandlerRuns;
  }
  EXPECT_EQ(pageHandlerRuns, 1) << "the page's own handler runs once, through the hook";
}

TEST_F(BrowserTest, TrayCommandsReachTheBrowserWindowAndCodeElevenRegistersItAgain) {
  test::StandinSession run(Scenario({Open("home"), {{"do", "wait"}, {"ms", 8000}}}));
  const Json window = run.WaitFor(
      [](const Json& r) { return r.value("event", "") == "window" && r.value("state", "") == "opened"; }, 30000);
  ASSERT_TRUE(window.is_object()) << run.Dump();
  // The helper object attaches once the window exists; wait for its report.
  ASSERT_TRUE(run.WaitFor([](const Json& r) { return r.value("event", "") == "helper"; }, 30000).is_object());
  const HWND frame = reinterpret_cast<HWND>(static_cast<UINT_PTR>(test::StandinSession::HexField(window, "hwnd")));

  std::vector<CWinHandle> table;
  ASSERT_TRUE(EnumerateWindows(table));
  ASSERT_EQ(table.size(), 1u);
  EXPECT_EQ(table[0].hwnd, frame);

  ASSERT_TRUE(UnregisterWindow(frame));
  DWORD_PTR answer = 1;
  ASSERT_TRUE(::SendMessageTimeoutA(frame, CommandMessageId(), CMD_REGISTER_AGAIN, 0, SMTO_NORMAL, 5000, &answer));
  EXPECT_EQ(answer, 0u);
  table.clear();
  ASSERT_TRUE(EnumerateWindows(table));
  ASSERT_EQ(table.size(), 1u) << "code 11 put the window back into the table";

  BroadcastToWindows(CMD_FLASH_HIDE);
  EXPECT_EQ(info_->IFLASH, kModeHide);
  ASSERT_EQ(run.Finish(kRunMs), 0) << run.Dump();
  table.clear();
  ASSERT_TRUE(EnumerateWindows(table));
  EXPECT_TRUE(table.empty()) << "the closed window left the table";
}

}  // namespace
}  // namespace qp
