// vex.dll in the stand-in browser under Wine: how long SetSite takes, how
// long the helper answers a NewWindow2, and what its mouse hook costs per
// mouse message when a click makes it walk a page of 5,000 elements.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "dllcomm.h"
#include "standinsession.h"
#include "wintest.h"

using namespace qp;
using test::Json;
using test::StandinSession;

namespace {

constexpr DWORD kRunMs = 300000;

long long Percentile(std::vector<long long> values, double p) {
  if (values.empty()) return -1;
  std::sort(values.begin(), values.end());
  const std::size_t index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
  return values[index];
}

std::vector<long long> Field(const StandinSession& run, const char* event, const char* field) {
  std::vector<long long> values;
  for (const Json& r : run.Events(event)) {
    if (r.contains(field) && r[field].is_number_integer()) values.push_back(r[field].get<long long>());
  }
  return values;
}

bool Run(const Json& scenario, StandinSession*& out) {
  out = new StandinSession(scenario);
  if (!out->started() || out->Finish(kRunMs) != 0) {
    std::fprintf(stderr, "the stand-in run failed:\n%s\n", out->Dump().c_str());
    return false;
  }
  return true;
}

Json Page(Json elements) { return {{"elements", std::move(elements)}}; }

}  // namespace

int main() {
  CreateChannelLocks();
  const std::string folder = test::ProgramsFolder();
  if (test::RunProgram("regsvr32.exe", "/s \"" + folder + "vex.dll\"") != 0 ||
      test::RunProgram(folder + "standin.exe", "--register-ie") != 0) {
    std::fprintf(stderr, "vex.dll or the stand-in could not be registered\n");
    return 1;
  }
  if (!InitShareInfo()) return 1;
  ShareInfo* info = GetShareInfo();
  info->Enable = 1;
  info->KillPopup = 1;
  std::printf("vex.dll in the stand-in browser (Wine)\n");

  // SetSite of 100 browser windows.
  Json timeline = Json::array();
  for (int i = 0; i < 100; ++i) {
    timeline.push_back({{"do", "open"}, {"page", "home"}});
    timeline.push_back({{"do", "close"}, {"window", i + 1}});
  }
  const Json text = {{"id", "text"}, {"kind", "text"}};
  StandinSession* run = nullptr;
  if (!Run({{"timeLimitMs", 240000}, {"pages", {{"home", Page({text})}}}, {"timeline", timeline}}, run)) return 1;
  std::vector<long long> siting = Field(*run, "helper", "setSiteUs");
  std::printf("%-58s %zu windows\n", "SetSite", siting.size());
  std::printf("%-58s %10.3f ms\n", "  median", Percentile(siting, 0.5) / 1000.0);
  std::printf("%-58s %10.3f ms\n", "  95th percentile", Percentile(siting, 0.95) / 1000.0);
  delete run;

  // 100 new-window requests without a gesture, each answered by the helper.
  timeline = Json::array({{{"do", "open"}, {"page", "home"}}});
  for (int i = 0; i < 100; ++i) timeline.push_back({{"do", "popup"}, {"url", "about:blank"}});
  if (!Run({{"timeLimitMs", 240000}, {"pages", {{"home", Page({text})}}}, {"timeline", timeline}}, run)) return 1;
  std::vector<long long> answering = Field(*run, "newwindow", "eventUs");
  std::printf("%-58s %zu requests\n", "NewWindow2 through Invoke (cancelled)", answering.size());
  std::printf("%-58s %10.3f ms\n", "  median", Percentile(answering, 0.5) / 1000.0);
  std::printf("%-58s %10.3f ms\n", "  95th percentile", Percentile(answering, 0.95) / 1000.0);
  delete run;

  // Clicks into a frame that the document scan reaches only after walking
  // the 5,000 elements of another frame.
  Json thousands = Json::array();
  for (int i = 0; i < 5000; ++i) thousands.push_back({{"id", "e" + std::to_string(i)}, {"kind", "text"}});
  timeline = Json::array({{{"do", "open"}, {"page", "big"}}});
  for (int i = 0; i < 20; ++i) {
    timeline.push_back({{"do", "click"}, {"element", "b/t"}});
    timeline.push_back({{"do", "move"}, {"at", {300, 20 + i}}});
  }
  const Json pages = {
      {"big", Page({{{"id", "a"}, {"kind", "iframe"}, {"page", "thousands"}, {"size", {200, 60}}},
                    {{"id", "b"}, {"kind", "iframe"}, {"page", "target"}, {"size", {300, 120}}}})},
      {"thousands", Page(thousands)},
      {"target", Page({{{"id", "t"}, {"kind", "text"}, {"size", {200, 40}}}})},
  };
  if (!Run({{"timeLimitMs", 240000}, {"pages", pages}, {"timeline", timeline}}, run)) return 1;
  for (const Json& hooks : run->Events("mousehooks")) {
    const long long messages = hooks.value("messages", 0LL);
    const long long total = hooks.value("totalUs", 0LL);
    std::printf("%-58s %lld messages\n", "mouse hook, page of 5,000 elements", messages);
    std::printf("%-58s %10.3f ms\n", "  mean per mouse message", messages ? total / 1000.0 / messages : 0.0);
    std::printf("%-58s %10.3f ms\n", "  slowest message (a click: full scan)", hooks.value("maxUs", 0LL) / 1000.0);
  }
  delete run;

  ReleaseShareInfo();
  test::RunProgram("regsvr32.exe", "/u /s \"" + folder + "vex.dll\"");
  test::RunProgram(folder + "standin.exe", "--unregister-ie");
  DeleteChannelLocks();
  return 0;
}
