// The popup decision and the extension library. Natively: Decide alone. On
// Windows also one whole new-window request against a full white list, and
// the time from LoadLibrary to a created helper object.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "benchutil.h"
#include "popupguard.h"

#ifdef _WIN32
#include <windows.h>
#include <objbase.h>
#include <wrl/client.h>

#include "closepopup.h"
#include "dllcomm.h"
#include "fakes.h"
#include "module.h"
#include "urlop.h"
#include "vex.h"
#endif

using namespace qp;

namespace {

// Answers like a page that is not white-listed, with no key held.
class PlainEnvironment : public PopupEnvironment {
 public:
  PlainEnvironment() {
    info.Enable = 1;
    info.KillPopup = 1;
  }
  ShareInfo* Settings() override { return &info; }
  bool ShiftOrCtrlHeld() override { return false; }
  bool PageAddress(std::wstring& address) override {
    address = L"http://www.pages.example/index.html";
    return true;
  }
  bool IsWhiteListed(const std::wstring&) override { return false; }
  void PlayKillSound() override {}
  void PostToTray(std::uint32_t, std::intptr_t) override {}
  ShareInfo info{};
};

void DecideBench() {
  PlainEnvironment env;
  CPopupGuard guard(env);
  bench::Time("Decide, no gesture (cancelled)", 21, 10000, [&] {
    std::int16_t cancel = 0;
    guard.Decide(cancel);
    bench::Keep(cancel);
  });
  bench::Time("Decide after a click (let open)", 21, 10000, [&] {
    guard.OnUserClick();
    std::int16_t cancel = 0;
    guard.Decide(cancel);
    bench::Keep(cancel);
  });
}

#ifdef _WIN32

using Microsoft::WRL::ComPtr;

std::string ProgramFolder() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string text = path;
  return text.substr(0, text.find_last_of("\\/") + 1);
}

bool NewWindowBench() {
  if (!module::Attach(::GetModuleHandleA(nullptr)) || !InitShareInfo()) {
    std::fprintf(stderr, "the shared region could not be mapped\n");
    return false;
  }
  ShareInfo* info = GetShareInfo();
  info->Enable = 1;
  info->KillPopup = 1;
  UrlList& white = GetUrlList(kWhiteList);
  white.Clear();
  for (std::uint32_t i = 0; i < white.capacity(); ++i) white.Add(("host" + std::to_string(i) + ".example.com").c_str());

  FakeBrowserState* state = nullptr;
  IWebBrowser2* browser = FakeBrowser_New(&state);
  ComPtr<IObjectWithSite> created;
  CClosePopup::Create(nullptr, IID_PPV_ARGS(&created));
  CClosePopup* object = static_cast<CClosePopup*>(created.Get());
  object->SetSite(browser);  // keeps the browser; the rest of the attach is not needed here

  state->location = L"http://www.absent.example/page.html";
  bench::Time("OnNewWindow2, full white list, host absent (killed)", 21, 1000, [&] {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    IDispatch* popup = nullptr;
    object->OnNewWindow2(&popup, &cancel);
    bench::Keep(cancel);
  });
  state->location = L"http://HOST127.example.com/page.html";
  bench::Time("OnNewWindow2, full white list, last entry (let open)", 21, 1000, [&] {
    VARIANT_BOOL cancel = VARIANT_FALSE;
    IDispatch* popup = nullptr;
    object->OnNewWindow2(&popup, &cancel);
    bench::Keep(cancel);
  });

  object->SetSite(nullptr);
  created.Reset();
  browser->Release();
  white.Clear();
  info->BlockCount = 0;
  ReleaseShareInfo();
  module::Detach(false);
  return true;
}

// LoadLibrary, the class object, one CClosePopup, and everything given back.
struct LoadTimes {
  double loaded;   // LoadLibrary returned
  double created;  // the object exists
};

LoadTimes LoadAndCreateOnce(const std::string& dll, bool& ok) {
  const auto start = std::chrono::steady_clock::now();
  HMODULE module = ::LoadLibraryA(dll.c_str());
  const auto loaded = std::chrono::steady_clock::now();
  using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
  auto getClassObject =
      module ? reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(::GetProcAddress(module, "DllGetClassObject")))
             : nullptr;
  ComPtr<IClassFactory> factory;
  ComPtr<IUnknown> object;
  ok = getClassObject != nullptr && SUCCEEDED(getClassObject(CLSID_ClosePopup, IID_PPV_ARGS(&factory))) &&
       SUCCEEDED(factory->CreateInstance(nullptr, IID_PPV_ARGS(&object)));
  const auto created = std::chrono::steady_clock::now();
  object.Reset();
  factory.Reset();
  if (module) ::FreeLibrary(module);
  return {std::chrono::duration<double, std::nano>(loaded - start).count(),
          std::chrono::duration<double, std::nano>(created - start).count()};
}

bool LoadBench() {
  const std::string dll = ProgramFolder() + "vex.dll";
  bool ok = false;
  const LoadTimes first = LoadAndCreateOnce(dll, ok);
  if (!ok) {
    std::fprintf(stderr, "vex.dll could not be loaded or gave no object\n");
    return false;
  }
  bench::Report("LoadLibrary to a created CClosePopup, first time", first.created);
  std::vector<double> loaded, created;
  for (int i = 0; i < 21 && ok; ++i) {
    const LoadTimes t = LoadAndCreateOnce(dll, ok);
    loaded.push_back(t.loaded);
    created.push_back(t.created);
  }
  std::sort(loaded.begin(), loaded.end());
  std::sort(created.begin(), created.end());
  bench::Report("LoadLibrary to a created CClosePopup, again (median)", created[created.size() / 2]);
  bench::Report("  of which LoadLibrary itself (median)", loaded[loaded.size() / 2]);
  return ok;
}

#endif

}  // namespace

int main() {
#ifdef _WIN32
  std::printf("vex (Windows build)\n");
#else
  std::printf("vex (native build)\n");
#endif
  DecideBench();
#ifdef _WIN32
  if (!NewWindowBench() || !LoadBench()) return 1;
#endif
  return 0;
}
