// standin.exe: plays a scenario in stand-in browser windows that host the
// registered Browser Helper Objects, and reports what happened as JSON lines.
//
//   standin [--summary] [--time-limit MS] SCENARIO.json
//   standin --register-ie | --unregister-ie
//
// Exit codes: 0 the scenario ran; 1 something could not be carried out in
// time or failed; 2 the scenario (or the command line) is wrong; 3 the run
// hit its time limit and was ended.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/layout.h"
#include "dllcomm.h"
#include "handles.h"
#include "ieserver.h"
#include "loopback.h"
#include "results.h"
#include "runtime.h"
#include "timeline.h"
#include "window.h"

namespace standin {

namespace {

constexpr int kExitRunFailed = 1;
constexpr int kExitBadScenario = 2;
constexpr int kExitTimeLimit = 3;

// The shared region of the two deliverables, mapped read-only once it exists,
// so that its counters can be reported at the end. Never creates it.
class SharedRegion {
 public:
  void TryOpen() {
    if (view_) return;
    mapping_.reset(::OpenFileMappingA(FILE_MAP_READ, FALSE, qp::kRegionName));
    if (!mapping_) return;
    view_.reset(::MapViewOfFile(mapping_.get(), FILE_MAP_READ, 0, 0, qp::kRegionSize));
    if (!view_) mapping_.reset();
  }

  void Report() {
    TryOpen();
    Record record("counters");
    if (!view_) {
      record.Bool("region", false).Emit();
      return;
    }
    const auto* info = reinterpret_cast<const qp::ShareInfo*>(static_cast<const BYTE*>(view_.get()) +
                                                              qp::kShareInfoOffset);
    record.Bool("region", true)
        .Int("BlockCount", info->BlockCount)
        .Int("FlashCount", info->FlashCount)
        .Int("GifCount", info->GifCount)
        .Int("MarqCount", info->MarqCount)
        .Emit();
  }

 private:
  qp::unique_handle mapping_;
  qp::unique_mapview view_;
};

// After the last window has closed, reports for every helper object's
// library whether it is still loaded and, if so, whether it could be
// unloaded now: a library that answers no still has objects alive.
void ReportHelperLibraries() {
  constexpr wchar_t kHelpers[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
  qp::unique_hkey helpers;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kHelpers, 0, KEY_READ, helpers.put()) != ERROR_SUCCESS) return;
  for (DWORD index = 0;; ++index) {
    wchar_t clsid[128];
    DWORD length = 128;
    if (::RegEnumKeyExW(helpers.get(), index, clsid, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      break;
    }
    const std::wstring server = std::wstring(L"CLSID\\") + clsid + L"\\InprocServer32";
    wchar_t path[MAX_PATH] = {};
    LONG size = sizeof(path);
    if (::RegQueryValueW(HKEY_CLASSES_ROOT, server.c_str(), path, &size) != ERROR_SUCCESS) continue;
    // COM itself frees a library whose objects are all gone when the last
    // apartment that used it ends; such a library is no longer loaded.
    HMODULE library = ::GetModuleHandleW(path);
    Record record("unload");
    record.Str("clsid", std::wstring(clsid)).Bool("loaded", library != nullptr);
    using CanUnload = HRESULT(WINAPI*)();
    auto canUnload = library ? reinterpret_cast<CanUnload>(
                                   reinterpret_cast<void*>(::GetProcAddress(library, "DllCanUnloadNow")))
                             : nullptr;
    if (canUnload) record.Bool("canUnload", canUnload() == S_OK);
    record.Emit();
  }
}

// --settings NAME=VALUE,...: the stand-in holds the shared region for the
// run and writes these settings into it, as a running tray program would.
class HeldSettings {
 public:
  ~HeldSettings() {
    if (held_) qp::ReleaseShareInfo();
    qp::DeleteChannelLocks();
  }
  // False, with a message, for a setting that is not known or not a number.
  bool Apply(const std::string& list) {
    qp::CreateChannelLocks();
    held_ = true;
    if (!qp::InitShareInfo()) {
      ReportError("settings", "the shared region could not be mapped");
      return false;
    }
    qp::ShareInfo& info = *qp::GetShareInfo();
    std::size_t start = 0;
    while (start <= list.size()) {
      const std::size_t end = std::min(list.find(',', start), list.size());
      const std::string item = list.substr(start, end - start);
      const std::size_t eq = item.find('=');
      char* rest = nullptr;
      const long value = eq == std::string::npos ? 0 : std::strtol(item.c_str() + eq + 1, &rest, 10);
      if (eq == std::string::npos || rest == item.c_str() + eq + 1 || *rest != '\0' || !Set(info, item.substr(0, eq), value)) {
        ReportError("settings", "\"" + item + "\" is not NAME=NUMBER with a known setting");
        return false;
      }
      start = end + 1;
    }
    return true;
  }

 private:
  static bool Set(qp::ShareInfo& info, const std::string& name, long value) {
    const auto byte = static_cast<std::uint8_t>(value != 0);
    if (name == "Enable") info.Enable = byte;
    else if (name == "KillPopup") info.KillPopup = byte;
    else if (name == "DELAYCLOSE") info.DELAYCLOSE = byte;
    else if (name == "BEEP") info.BEEP = byte;
    else if (name == "FlashIcon") info.FlashIcon = byte;
    else if (name == "InPageEnable") info.InPageEnable = byte;
    else if (name == "RunMarq") info.RunMarq = byte;
    else if (name == "IFLASH") info.IFLASH = static_cast<std::int32_t>(value);
    else if (name == "IGIF") info.IGIF = static_cast<std::int32_t>(value);
    else return false;
    return true;
  }

  bool held_ = false;
};

struct Options {
  std::string settings;  // --settings
  bool region = true;  // map the shared region to report its counters
  bool summary = false;
  unsigned timeLimitMs = 0;
  std::string scenario;
};

DWORD g_timeLimitMs = 0;
std::string g_scenarioFile;

DWORD WINAPI Watchdog(void*) {
  ::Sleep(g_timeLimitMs);
  ReportError("run", g_scenarioFile + ": the time limit of " + std::to_string(g_timeLimitMs) +
                         " ms was reached; the run is ended");
  PrintSummary();
  std::fflush(stdout);
  std::fflush(stderr);
  ::TerminateProcess(::GetCurrentProcess(), kExitTimeLimit);
  return 0;
}

int Usage() {
  std::fprintf(stderr,
               "usage: standin [--summary] [--no-region] [--settings NAME=N,...] [--time-limit MS] SCENARIO.json\n"
               "       standin --register-ie | --unregister-ie\n");
  return kExitBadScenario;
}

int Run(const Options& options) {
  Scenario scenario;
  try {
    scenario = LoadScenario(options.scenario);
  } catch (const ScenarioError& e) {
    ReportError("scenario", e.what());
    return kExitBadScenario;
  }
  g_timeLimitMs = options.timeLimitMs ? options.timeLimitMs : scenario.timeLimitMs;
  g_scenarioFile = scenario.file;
  qp::unique_handle watchdog(::CreateThread(nullptr, 0, Watchdog, nullptr, 0, nullptr));
  if (!watchdog) {
    ReportError("run", "the time limit cannot be enforced (no watchdog thread)");
    return kExitRunFailed;
  }

  HeldSettings held;
  if (!options.settings.empty() && !held.Apply(options.settings)) return kExitBadScenario;

  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  Runtime::Get().Init(scenario, instance);
  BrowserWindow::RegisterClasses(instance);
  LoopbackServer::Start(scenario);
  SharedRegion region;
  const bool mapRegion = options.region;
  if (mapRegion) region.TryOpen();
  const TimelineResult result = RunTimeline(scenario, [&region, mapRegion] {
    if (mapRegion) region.TryOpen();
  });
  LoopbackServer::Stop();
  ReportHelperLibraries();
  if (mapRegion) region.Report();
  Record("end").Int("errors", ErrorCount()).Emit();
  PrintSummary();
  if (result == TimelineResult::ScenarioFailure) return kExitBadScenario;
  return result == TimelineResult::Done && ErrorCount() == 0 ? 0 : kExitRunFailed;
}

}  // namespace

}  // namespace standin

int main(int argc, char** argv) {
  using namespace standin;
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--register-ie") return RegisterBrowserClass(true);
    if (arg == "--unregister-ie") return RegisterBrowserClass(false);
    if (arg == "--summary") {
      options.summary = true;
    } else if (arg == "--no-region") {
      options.region = false;
    } else if (arg == "--settings" && i + 1 < argc) {
      options.settings = argv[++i];
    } else if (arg == "--time-limit" && i + 1 < argc) {
      options.timeLimitMs = static_cast<unsigned>(std::strtoul(argv[++i], nullptr, 10));
      if (options.timeLimitMs == 0) return Usage();
    } else if (!arg.empty() && arg[0] != '-' && options.scenario.empty()) {
      options.scenario = arg;
    } else {
      return Usage();
    }
  }
  if (options.scenario.empty()) return Usage();
  EnableSummary(options.summary);
  try {
    return Run(options);
  } catch (const std::exception& e) {
    ReportError("run", e.what());
  } catch (...) {
    ReportError("run", "unexpected failure");
  }
  return kExitRunFailed;
}
