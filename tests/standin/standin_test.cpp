// The stand-in browser as a Browser Helper Object sees it: the tests register
// recorder.dll as a helper object, play small scenarios with standin.exe and
// read what the recorder was given and what the stand-in reports.
#include <gtest/gtest.h>
#include <windows.h>
#include <wininet.h>
#include <shlwapi.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "dllcomm.h"
#include "recorder_ids.h"
#include "standinsession.h"
#include "wintest.h"

namespace qp {
namespace {

using Json = nlohmann::json;

constexpr DWORD kRunMs = 90000;
constexpr char kHelperKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
constexpr char kClassesKey[] = "Software\\Classes\\CLSID";

// VARIANT types of event arguments as the recorder logs them.
constexpr int kVtDispatch = VT_DISPATCH;                   // 9
constexpr int kVtRefVariant = VT_BYREF | VT_VARIANT;       // 16396
constexpr int kVtRefBool = VT_BYREF | VT_BOOL;             // 16395
constexpr int kVtRefDispatch = VT_BYREF | VT_DISPATCH;     // 16393

std::string Folder() { return test::ProgramFolder(); }

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

// One run of standin.exe, played to its end.
std::unique_ptr<test::StandinSession> RunStandin(const std::string& scenarioText,
                                                 const std::vector<std::string>& args = {}) {
  auto run = std::make_unique<test::StandinSession>(scenarioText, args);
  run->Finish(kRunMs);
  return run;
}

bool SetValue(HKEY root, const std::string& key, const char* name, const std::string& value) {
  HKEY raw = nullptr;
  if (::RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  unique_hkey k(raw);
  return ::RegSetValueExA(k.get(), name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          static_cast<DWORD>(value.size() + 1)) == ERROR_SUCCESS;
}

// Runs standin.exe with a command of its own (--register-ie, --unregister-ie).
int StandinCommand(const std::string& arg) {
  std::string command = "\"" + Folder() + "standin.exe\" " + arg;
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
  ::CloseHandle(pi.hThread);
  unique_handle process(pi.hProcess);
  DWORD code = 99;
  if (::WaitForSingleObject(process.get(), 30000) == WAIT_OBJECT_0) ::GetExitCodeProcess(process.get(), &code);
  return static_cast<int>(code);
}

// The recorder's log split into its fields: instance, what, key=value pairs.
struct Entry {
  int instance = 0;
  std::string what;
  std::vector<std::pair<std::string, std::string>> fields;
  std::string Get(const std::string& key) const {
    for (const auto& [k, v] : fields) {
      if (k == key) return v;
    }
    return "?";
  }
};

std::vector<Entry> ParseLog(const std::string& path) {
  std::vector<Entry> entries;
  for (const std::string& line : Lines(ReadText(path))) {
    std::stringstream in(line);
    Entry e;
    in >> e.instance >> e.what;
    std::string field;
    while (in >> field) {
      const auto eq = field.find('=');
      e.fields.emplace_back(field.substr(0, eq), eq == std::string::npos ? "" : field.substr(eq + 1));
    }
    entries.push_back(std::move(e));
  }
  return entries;
}

class StandinBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = Folder() + test::UniqueName("recorder") + ".log";
    ::SetEnvironmentVariableA("QP_RECORDER_LOG", log_.c_str());
    const std::string classKey = std::string(kClassesKey) + "\\" + kRecorderClsidText;
    ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, classKey, nullptr, "Stand-in test recorder"));
    ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, classKey + "\\InprocServer32", nullptr, Folder() + "recorder.dll"));
    ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, classKey + "\\InprocServer32", "ThreadingModel", "Apartment"));
    ASSERT_TRUE(SetValue(HKEY_LOCAL_MACHINE, std::string(kHelperKey) + "\\" + kRecorderClsidText, nullptr,
                         "Stand-in test recorder"));
  }

  void TearDown() override {
    // Other tests' browser windows must not load the recorder.
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kHelperKey) + "\\" + kRecorderClsidText).c_str());
    ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string(kClassesKey) + "\\" + kRecorderClsidText).c_str());
    for (const char* name : {"QP_RECORDER_LOG", "QP_RECORDER_NEWWINDOW", "QP_RECORDER_WALK", "QP_RECORDER_FETCH"}) {
      ::SetEnvironmentVariableA(name, nullptr);
    }
    ::DeleteFileA(log_.c_str());
  }

  std::vector<Entry> Log() const { return ParseLog(log_); }

  // The entries of one recorder instance whose kind is in whats, in order.
  std::vector<Entry> Of(int instance, std::initializer_list<const char*> whats) const {
    std::vector<Entry> found;
    for (const Entry& e : Log()) {
      if (e.instance != instance) continue;
      for (const char* w : whats) {
        if (e.what == w) found.push_back(e);
      }
    }
    return found;
  }

  std::string log_;
};

std::string Describe(const std::vector<Entry>& entries) {
  std::string text;
  for (const Entry& e : entries) {
    text += std::to_string(e.instance) + " " + e.what;
    for (const auto& [k, v] : e.fields) text += " " + k + "=" + v;
    text += "\n";
  }
  return text;
}

std::string Types(std::initializer_list<int> types) {
  std::string text;
  for (int t : types) text += (text.empty() ? "" : ",") + std::to_string(t);
  return text;
}

constexpr char kFramesScenario[] = R"({
  "pages": {
    "top": {"url": "http://top.example/", "elements": [
      {"id": "intro", "kind": "text"},
      {"id": "left", "kind": "frame", "page": "left"},
      {"id": "right", "kind": "iframe", "page": "right"}]},
    "left": {"url": "http://left.example/", "onload": true, "elements": [{"id": "l1", "kind": "text"}]},
    "right": {"url": "http://right.example/", "elements": [{"id": "r1", "kind": "text"}]}
  },
  "timeline": [{"do": "open", "page": "top"}]
})";

TEST_F(StandinBrowser, PageWithTwoFramesFiresTheBrowsersEventsInOrderWithTheirArgumentTypes) {
  const auto run = RunStandin(kFramesScenario);
  ASSERT_EQ(run->exitCode(), 0) << run->Dump();

  const std::vector<Entry> site = Of(1, {"setsite"});
  ASSERT_GE(site.size(), 1u) << Describe(Log());
  EXPECT_EQ(site[0].Get("browser"), "1");
  EXPECT_EQ(site[0].Get("frameClass"), "IEFrame");
  EXPECT_EQ(site[0].Get("sameThread"), "1") << "SetSite comes on the window's own thread";
  EXPECT_EQ(site[0].Get("sta"), "1") << "that thread is a single-threaded apartment";
  EXPECT_EQ(site[0].Get("advise"), "0x0");
  EXPECT_EQ(site[0].Get("hooks"), "1");

  // The load, as the helper object sees it.
  std::vector<std::string> seen;
  for (const Entry& e : Of(1, {"BeforeNavigate2", "NavigateComplete2", "DocumentComplete", "DownloadBegin",
                               "DownloadComplete", "window-event", "OnQuit"})) {
    std::string line = e.what;
    if (e.what == "window-event") line += " " + e.Get("id") + " " + e.Get("url");
    if (e.what.find("Navigate") != std::string::npos || e.what == "DocumentComplete") {
      line += " " + e.Get("who") + " " + e.Get("url") + " " + e.Get("vt");
    }
    seen.push_back(line);
  }
  const std::string bn = Types({kVtDispatch, kVtRefVariant, kVtRefVariant, kVtRefVariant, kVtRefVariant,
                                kVtRefVariant, kVtRefBool});
  const std::string nc = Types({kVtDispatch, kVtRefVariant});
  const std::vector<std::string> expected = {
      "BeforeNavigate2 top http://top.example/ " + bn,
      "DownloadBegin",
      "NavigateComplete2 top http://top.example/ " + nc,
      "BeforeNavigate2 frame http://left.example/ " + bn,
      "NavigateComplete2 frame http://left.example/ " + nc,
      "BeforeNavigate2 frame http://right.example/ " + bn,
      "NavigateComplete2 frame http://right.example/ " + nc,
      "window-event 1003 http://left.example/",
      "window-event 1003 http://right.example/",
      "window-event 1003 http://top.example/",
      "DownloadComplete",
      "DocumentComplete frame http://left.example/ " + nc,
      "DocumentComplete frame http://right.example/ " + nc,
      "DocumentComplete top http://top.example/ " + nc,
      // Closing at the end of the run: onbeforeunload, OnQuit, onunload.
      "window-event 1017 http://top.example/",
      "window-event 1017 http://left.example/",
      "window-event 1017 http://right.example/",
      "OnQuit",
      "window-event 1008 http://top.example/",
      "window-event 1008 http://left.example/",
      "window-event 1008 http://right.example/",
  };
  EXPECT_EQ(seen, expected) << Describe(Log());

  // The page's own onload handler (frame "left") was called through the onload property.
  std::vector<std::string> onloads;
  for (const Json& r : run->Events("onload")) onloads.push_back(r["frame"].get<std::string>() + ":" + r["handler"].get<std::string>());
  EXPECT_EQ(onloads, (std::vector<std::string>{"left:page", "right:none", ":none"}));
  EXPECT_EQ(run->Events("script").size(), 1u);
}

constexpr char kInputScenario[] = R"S({
  "pages": {
    "home": {"elements": [
      {"id": "a", "kind": "text"},
      {"id": "b", "kind": "link", "href": "javascript:void(0)"},
      {"id": "f", "kind": "iframe", "page": "inner"}]},
    "inner": {"elements": [{"id": "deep", "kind": "text"}]}
  },
  "timeline": [
    {"do": "open", "page": "home"},
    {"do": "click", "element": "a"},
    {"do": "click", "element": "f/deep"},
    {"do": "key", "key": "N"},
    {"do": "key", "key": "Enter"},
    {"do": "click", "element": "b", "button": "right"},
    {"do": "click", "element": "a", "double": true},
    {"do": "toolbar"},
    {"do": "menu", "item": "Properties"},
    {"do": "click", "element": "b"}
  ]
})S";

TEST_F(StandinBrowser, RealClicksAndKeysReachTheHelpersThreadHooks) {
  const auto run = RunStandin(kInputScenario);
  ASSERT_EQ(run->exitCode(), 0) << run->Dump();

  std::vector<std::string> seen;
  for (const Entry& e : Of(1, {"mouse", "key"})) {
    seen.push_back(e.what == "key" ? "key " + e.Get("vk")
                                   : e.Get("msg") + " " + e.Get("class") + " " + e.Get("hit") + " " + e.Get("element"));
  }
  const std::vector<std::string> expected = {
      "lbuttondown Internet_Explorer_Server 1 a",
      "lbuttonup Internet_Explorer_Server 1 a",
      // Inside the inline frame: its own page window, found through the frame's browser object.
      "lbuttondown Internet_Explorer_Server 1 deep",
      "lbuttonup Internet_Explorer_Server 1 deep",
      "key 0x4E",
      "key 0xD",
      "rbuttondown Internet_Explorer_Server 1 b",
      "rbuttonup Internet_Explorer_Server 1 b",
      "lbuttondown Internet_Explorer_Server 1 a",
      "lbuttonup Internet_Explorer_Server 1 a",
      "lbuttondblclk Internet_Explorer_Server 1 a",
      "lbuttonup Internet_Explorer_Server 1 a",
      "lbuttondown StandinToolbar 1 -",
      "lbuttonup StandinToolbar 1 -",
      "lbuttondown #32768 1 -",
      "lbuttonup #32768 1 -",
      "lbuttondown Internet_Explorer_Server 1 b",
      "lbuttonup Internet_Explorer_Server 1 b",
  };
  EXPECT_EQ(seen, expected) << Describe(Log());

  // The click on the javascript: link: BeforeNavigate2 with that address, then onbeforeunload.
  std::vector<std::string> script;
  for (const Entry& e : Of(1, {"BeforeNavigate2", "window-event"})) {
    if (e.what == "BeforeNavigate2") script.push_back(e.Get("url"));
    if (e.what == "window-event" && e.Get("id") != "1003") script.push_back(e.Get("id") + " " + e.Get("url"));
  }
  const auto link = std::find(script.begin(), script.end(), "javascript:void(0)");
  ASSERT_TRUE(link != script.end() && link + 1 != script.end()) << Describe(Log());
  EXPECT_EQ(*(link + 1), "1017 http://home.standin.test/") << Describe(Log());
  const std::vector<Json> menu = run->Events("menu");
  ASSERT_EQ(menu.size(), 1u);
  EXPECT_EQ(menu[0]["item"], "Properties");
}

constexpr char kPopupScenario[] = R"({
  "pages": {
    "home": {"url": "http://home.example/"},
    "ad": {"url": "http://ads.example/pop", "elements": [{"id": "x", "kind": "text"}]}
  },
  "timeline": [
    {"do": "open", "page": "home"},
    {"do": "popup", "page": "ad"},
    {"do": "popup", "page": "ad"}
  ]
})";

TEST_F(StandinBrowser, NewWindowCancelledByTheHelperStaysUnopenedAndAnAllowedOneOpensWithItsOwnHelper) {
  ::SetEnvironmentVariableA("QP_RECORDER_NEWWINDOW", "cancel,allow");
  const auto run = RunStandin(kPopupScenario);
  ASSERT_EQ(run->exitCode(), 0) << run->Dump();

  const std::vector<Json> requests = run->Events("newwindow");
  ASSERT_EQ(requests.size(), 2u) << run->Dump();
  EXPECT_EQ(requests[0]["outcome"], "cancelled");
  EXPECT_EQ(requests[1]["outcome"], "opened");
  EXPECT_EQ(requests[1]["into"], 2);

  const std::vector<Entry> asked = Of(1, {"NewWindow2"});
  ASSERT_EQ(asked.size(), 2u) << Describe(Log());
  EXPECT_EQ(asked[0].Get("vt"), Types({kVtRefDispatch, kVtRefBool}));
  EXPECT_EQ(asked[0].Get("location"), "http://home.example/");

  // The opened window has a helper object of its own, on a thread of its own.
  std::vector<Json> opened;
  for (const Json& w : run->Events("window")) {
    if (w["state"] == "opened") opened.push_back(w);
  }
  ASSERT_EQ(opened.size(), 2u);
  const std::vector<Entry> first = Of(1, {"setsite"}), second = Of(2, {"setsite"});
  ASSERT_FALSE(first.empty());
  ASSERT_FALSE(second.empty()) << Describe(Log());
  EXPECT_NE(first[0].Get("thread"), second[0].Get("thread"));
  EXPECT_EQ(second[0].Get("thread"), std::to_string(opened[1]["thread"].get<long long>()));
  EXPECT_EQ(second[0].Get("sameThread"), "1");
  const std::vector<Entry> loaded = Of(2, {"NavigateComplete2"});
  ASSERT_EQ(loaded.size(), 1u);
  EXPECT_EQ(loaded[0].Get("url"), "http://ads.example/pop");
  EXPECT_TRUE(Of(1, {"NavigateComplete2"}).size() == 1u) << "the popup's events go to its own window's helper";
}

TEST_F(StandinBrowser, ClosingOffersBothOrdersOfSetSiteNullAndTheFrameWindowsDestruction) {
  struct Case {
    const char* order;
    const char* frameAliveAtSetSiteNull;
  };
  for (const Case& c : {Case{"destroy-first", "0"}, Case{"unsite-first", "1"}}) {
    ::DeleteFileA(log_.c_str());
    const std::string scenario = std::string(R"({"pages": {"p": {}}, "timeline": [
        {"do": "open", "page": "p"}, {"do": "close", "order": ")") + c.order + R"("}]})";
    const auto run = RunStandin(scenario);
    ASSERT_EQ(run->exitCode(), 0) << c.order << "\n" << run->Dump();
    std::vector<std::string> seen;
    for (const Entry& e : Of(1, {"OnQuit", "setsite", "released"})) {
      if (e.what == "setsite") {
        seen.push_back(e.Get("browser") == "1" ? "setsite browser" : "setsite null alive=" + e.Get("frameAlive"));
      } else {
        seen.push_back(e.what == "OnQuit" ? "OnQuit alive=" + e.Get("frameAlive") : e.what);
      }
    }
    const std::vector<std::string> expected = {"setsite browser", "OnQuit alive=1",
                                               std::string("setsite null alive=") + c.frameAliveAtSetSiteNull,
                                               "released"};
    EXPECT_EQ(seen, expected) << c.order << "\n" << Describe(Log());
  }
}

TEST_F(StandinBrowser, HiddenBrowserOfTheApplicationClassTakesThePopupUnseenAndClosesOnWmClose) {
  ASSERT_EQ(StandinCommand("--register-ie"), 0);
  ::SetEnvironmentVariableA("QP_RECORDER_NEWWINDOW", "hidden");
  const auto run = RunStandin(R"({
    "pages": {"home": {}, "ad": {"url": "http://ads.example/pop"}},
    "timeline": [
      {"do": "open", "page": "home"},
      {"do": "popup", "page": "ad"},
      {"do": "waitClosed", "window": 2, "ms": 5000}
    ]})");
  EXPECT_EQ(StandinCommand("--unregister-ie"), 0);
  ASSERT_EQ(run->exitCode(), 0) << run->Dump();

  const std::vector<Json> requests = run->Events("newwindow");
  ASSERT_EQ(requests.size(), 1u) << run->Dump();
  EXPECT_EQ(requests[0]["outcome"], "opened hidden");
  EXPECT_EQ(requests[0]["into"], 2);

  const std::vector<Entry> hidden = Of(1, {"hidden"});
  ASSERT_EQ(hidden.size(), 1u) << Describe(Log());
  EXPECT_EQ(hidden[0].Get("created"), "0x0");
  EXPECT_EQ(hidden[0].Get("frameClass"), "IEFrame");
  EXPECT_EQ(hidden[0].Get("visible"), "0");
  // The hidden window is a browser window of its own, with its own helper object.
  const std::vector<Entry> site = Of(2, {"setsite"}), loaded = Of(2, {"NavigateComplete2"});
  ASSERT_FALSE(site.empty()) << Describe(Log());
  EXPECT_EQ(site[0].Get("browser"), "1");
  EXPECT_EQ(site[0].Get("visible"), "0");
  ASSERT_EQ(loaded.size(), 1u) << Describe(Log());
  EXPECT_EQ(loaded[0].Get("url"), "http://ads.example/pop");

  const std::vector<Json> waited = run->Events("waitClosed");
  ASSERT_EQ(waited.size(), 1u);
  EXPECT_EQ(waited[0]["closed"], true) << "WM_CLOSE closed it";
  for (const Json& w : run->Events("window")) {
    if (w["window"] == 2 && w["state"] == "closed") {
      EXPECT_EQ(w["shown"], false) << "never shown";
    }
  }
}

TEST_F(StandinBrowser, ReportsWhatAHelperDidToThePageAndTheSharedCounters) {
  ::SetEnvironmentVariableA("QP_RECORDER_WALK", "1");
  ASSERT_TRUE(InitShareInfo());
  GetShareInfo()->BlockCount = 5;
  GetShareInfo()->MarqCount = 2;
  const auto run = RunStandin(R"({
    "pages": {
      "home": {"elements": [
        {"id": "banner", "kind": "img", "src": "http://ads.example/a.gif"},
        {"id": "ticker", "kind": "marquee"},
        {"id": "movie", "kind": "object", "control": "flash"},
        {"id": "widget", "kind": "object"},
        {"id": "side", "kind": "iframe", "page": "side"}]},
      "side": {"elements": [{"id": "small", "kind": "img", "src": "http://ads.example/b.gif"}]}
    },
    "timeline": [{"do": "open", "page": "home"}]
  })");
  ReleaseShareInfo();
  ASSERT_EQ(run->exitCode(), 0) << run->Dump();

  const std::vector<Entry> walk = Of(1, {"walk"});
  ASSERT_EQ(walk.size(), 1u) << Describe(Log());
  EXPECT_EQ(walk[0].Get("images"), "2");
  EXPECT_EQ(walk[0].Get("marquees"), "1");
  EXPECT_EQ(walk[0].Get("flash"), "1") << "only the Flash control answers IShockwaveFlash";

  std::vector<std::string> changes;
  for (const Json& r : run->Events("visibility")) changes.push_back(r["element"].get<std::string>() + "=" + r["value"].get<std::string>());
  EXPECT_EQ(changes, (std::vector<std::string>{"banner=hidden", "side/small=hidden"}));
  const std::vector<Json> flash = run->Events("flash");
  ASSERT_EQ(flash.size(), 1u);
  EXPECT_EQ(flash[0]["call"], "StopPlay");
  EXPECT_EQ(flash[0]["element"], "movie");
  const std::vector<Json> marquee = run->Events("marquee");
  ASSERT_EQ(marquee.size(), 1u);
  EXPECT_EQ(marquee[0]["state"], "stopped");

  // The end-of-run report shows the state the page was left in.
  for (const Json& e : run->Events("element")) {
    const std::string id = e["element"];
    if (id == "banner" || id == "side/small") {
      EXPECT_EQ(e["visibility"], "hidden") << id;
    } else if (id == "ticker") {
      EXPECT_EQ(e["marquee"], "stopped");
    } else if (id == "movie") {
      EXPECT_EQ(e["flash"], "stopped");
    }
  }
  const std::vector<Json> counters = run->Events("counters");
  ASSERT_EQ(counters.size(), 1u);
  EXPECT_EQ(counters[0]["region"], true);
  EXPECT_EQ(counters[0]["BlockCount"], 5);
  EXPECT_EQ(counters[0]["MarqCount"], 2);
}

// Under Wine an offline read goes to the network instead of the cache, so a
// downloaded image on the loopback address is also served by the stand-in.
TEST_F(StandinBrowser, DownloadedImagesGoToTheCacheAndLoopbackOnesCanBeReadOfflineDuringTheRun) {
  const std::string file = test::UniqueName("anim") + ".gif";
  const std::string bytes = std::string("GIF89a\x21\xF9\x04\x00\x00\x00\x00\x00\x21\xF9\x04\x3B", 19);
  ASSERT_TRUE(WriteText(Folder() + file, bytes));
  const std::string cached = "http://ads.example/" + file;
  const std::string loopback = "http://127.0.0.1:" + std::to_string(20000 + ::GetCurrentProcessId() % 20000) + "/";
  // Only the loopback images are read: another host would cost a name lookup.
  ::SetEnvironmentVariableA("QP_RECORDER_FETCH", loopback.c_str());
  const std::string served = loopback + file, missing = loopback + "not-downloaded.gif";
  const auto run = RunStandin(R"({"pages": {"home": {"elements": [
      {"id": "a", "kind": "img", "src": ")" + cached + R"(", "downloaded": ")" + file + R"("},
      {"id": "b", "kind": "img", "src": ")" + served + R"(", "downloaded": ")" + file + R"("},
      {"id": "c", "kind": "img", "src": ")" + missing + R"("}]}},
      "timeline": [{"do": "open", "page": "home"}]})");
  ::DeleteFileA((Folder() + file).c_str());
  ASSERT_EQ(run->exitCode(), 0) << run->Dump();
  const std::vector<Json> stored = run->Events("cache");
  ASSERT_EQ(stored.size(), 2u);
  EXPECT_EQ(stored[0]["stored"], true) << run->Dump();

  // The committed entry holds the file's bytes.
  DWORD size = 0;
  ::GetUrlCacheEntryInfoA(cached.c_str(), nullptr, &size);
  ASSERT_GT(size, 0u);
  std::vector<char> buffer(size);
  auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
  ASSERT_TRUE(::GetUrlCacheEntryInfoA(cached.c_str(), info, &size));
  EXPECT_EQ(ReadText(info->lpszLocalFileName), bytes);
  ::DeleteUrlCacheEntryA(cached.c_str());
  ::DeleteUrlCacheEntryA(served.c_str());

  // Read offline by a helper object while the page is shown: the downloaded
  // loopback image is found, the one never downloaded is not.
  std::map<std::string, Entry> fetched;
  for (const Entry& e : Of(1, {"fetch"})) fetched[e.Get("url")] = e;
  ASSERT_EQ(fetched.count(served), 1u) << Describe(Log());
  EXPECT_EQ(fetched[served].Get("bytes"), std::to_string(bytes.size()));
  EXPECT_EQ(fetched[served].Get("head"), "GIF89a");
  ASSERT_EQ(fetched.count(missing), 1u);
  EXPECT_EQ(fetched[missing].Get("bytes"), "?") << "an image the page never downloaded cannot be read";
}

TEST_F(StandinBrowser, AScenarioThatDoesNotFitIsRefusedNamingFileAndPlace) {
  struct Case {
    const char* scenario;
    int exitCode;
    const char* place;
    const char* message;
  };
  const Case cases[] = {
      {R"({"pages": {"p": {}}, "timeline": [)", 2, "malformed JSON", "line 1"},
      {R"({"pages": {"p": {}}, "timeline": [{"do": "open", "page": "q"}]})", 2, "timeline[0].page",
       "no page named \"q\""},
      {R"({"pages": {"p": {"elements": [{"id": "a", "kind": "text"}]}},
          "timeline": [{"do": "open", "page": "p"}, {"do": "click", "element": "nope"}]})",
       2, "timeline[1].element", "no page has an element \"nope\""},
      // Known in another page, but not in the page the window shows.
      {R"({"pages": {"p": {}, "q": {"elements": [{"id": "a", "kind": "text"}]}},
          "timeline": [{"do": "open", "page": "p"}, {"do": "click", "element": "a"}]})",
       2, "timeline[1]", "no element \"a\" in the page shown in window 1"},
      {R"({"pages": {"p": {"elements": [{"id": "a", "kind": "blink"}]}}, "timeline": []})", 2,
       "pages.p.elements[0].kind", "unknown element kind"},
      {R"({"pages": {"p": {}}, "timeline": [{"do": "open", "page": "p"}, {"do": "wait", "ms": 20000}]})", 3, "run",
       "time limit"},
  };
  for (const Case& c : cases) {
    const auto run = RunStandin(c.scenario, {"--time-limit", "4000"});
    EXPECT_EQ(run->exitCode(), c.exitCode) << c.scenario << "\n" << run->Dump();
    EXPECT_NE(run->ErrorText().find("scenario_"), std::string::npos) << "names the file: " << run->ErrorText();
    EXPECT_NE(run->ErrorText().find(c.place), std::string::npos) << run->ErrorText();
    EXPECT_NE(run->ErrorText().find(c.message), std::string::npos) << run->ErrorText();
  }
}

}  // namespace
}  // namespace qp
