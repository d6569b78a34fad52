// Many browser windows opened and closed in both teardown orders, some of
// them refusing the helper object's attach at its last step: nothing of the
// helper objects may stay behind.
#include <gtest/gtest.h>
#include <windows.h>

#include "dllcomm.h"
#include "standinsession.h"
#include "wintable.h"
#include "wintest.h"

namespace qp {
namespace {

using test::Json;

constexpr int kWindows = 200;
constexpr int kEveryRefused = 10;  // every tenth window refuses the browser events
constexpr long long kSetSiteFailed = static_cast<unsigned long>(E_POINTER);

TEST(Lifetime, TwoHundredWindowsLeaveNoObjectTableRecordOrRegionReference) {
  ASSERT_TRUE(InitShareInfo());
  ShareInfo* info = GetShareInfo();
  *info = ShareInfo{};
  info->Enable = 1;
  info->KillPopup = 1;

  Json timeline = Json::array();
  for (int i = 0; i < kWindows; ++i) {
    Json open = {{"do", "open"}, {"page", "home"}};
    if (i % kEveryRefused == kEveryRefused - 1) open["refuseEvents"] = true;
    timeline.push_back(open);
    timeline.push_back({{"do", "close"}, {"window", i + 1}, {"order", i % 2 == 0 ? "destroy-first" : "unsite-first"}});
  }
  timeline.push_back({{"do", "wait"}, {"ms", 8000}});
  const Json scenario = {
      {"timeLimitMs", 240000},
      {"pages", {{"home", {{"url", "http://www.site.example/"}, {"elements", Json::array({{{"id", "text"}, {"kind", "text"}}})}}}}},
      {"timeline", timeline}};

  test::StandinSession run(scenario, {"--no-region"});
  ASSERT_TRUE(run.started());
  int closed = 0;
  const Json last = run.WaitFor(
      [&closed](const Json& r) {
        return r.value("event", "") == "window" && r.value("state", "") == "closed" && ++closed == kWindows;
      },
      230000);
  ASSERT_TRUE(last.is_object()) << "closed " << closed << " windows\n" << run.Dump();

  int attached = 0, refused = 0;
  for (const Json& helper : run.Events("helper")) {
    const long long result = test::StandinSession::HexField(helper, "setSite");
    if (result == 0) ++attached;
    if (result == kSetSiteFailed) ++refused;
  }
  EXPECT_EQ(attached, kWindows - kWindows / kEveryRefused);
  EXPECT_EQ(refused, kWindows / kEveryRefused);

  std::vector<CWinHandle> table;
  ASSERT_TRUE(EnumerateWindows(table));
  EXPECT_TRUE(table.empty()) << table.size() << " window records left";

  // Let go of the test's own reference: with every window gone, vex.dll in
  // the still running stand-in must hold none either, so the region goes.
  *info = ShareInfo{};
  ReleaseShareInfo();
  unique_handle region(::OpenFileMappingA(FILE_MAP_READ, FALSE, kRegionName));
  EXPECT_FALSE(region) << "the stand-in's helper objects still hold the shared region";
  region.reset();

  ASSERT_EQ(run.Finish(60000), 0) << run.Dump();
  const std::vector<Json> unloads = run.Events("unload");
  ASSERT_FALSE(unloads.empty()) << run.Dump();
  for (const Json& u : unloads) {
    EXPECT_TRUE(!u.value("loaded", true) || u.value("canUnload", false)) << "an object is still alive: " << u.dump();
  }
}

}  // namespace
}  // namespace qp
