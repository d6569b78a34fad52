#include "ieserver.h"

#include <exdisp.h>

#include <cstdio>

#include "browser.h"
#include "com.h"
#include "runtime.h"
#include "window.h"

namespace standin {

namespace {

constexpr char kClassKey[] = "Software\\Classes\\CLSID\\{0002DF01-0000-0000-C000-000000000046}";
constexpr char kServerKey[] = "Software\\Classes\\CLSID\\{0002DF01-0000-0000-C000-000000000046}\\InprocServer32";
constexpr char kShimName[] = "standin_ie.dll";

class HiddenBrowserFactory final : public IClassFactory {
 public:
  STANDIN_IUNKNOWN(HiddenBrowserFactory)
  static const QITAB* QiTable() {
    static const QITAB table[] = {QITABENT(HiddenBrowserFactory, IClassFactory), {}};
    return table;
  }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    STANDIN_COM_BEGIN
    if (!out) return E_POINTER;
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    if (!Runtime::Get().ready()) return CO_E_SERVER_STOPPING;
    // A new top-level window that is never shown: the browser's own way to
    // give a script a window of its own.
    std::shared_ptr<BrowserWindow> window = Runtime::Get().OpenWindow(true, "CoCreateInstance");
    if (!window || !window->top()) return E_FAIL;
    return window->top()->QueryInterface(riid, out);
    STANDIN_COM_END
  }

  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  ~HiddenBrowserFactory() = default;
  RefCount refs_;
};

std::string ShimPath() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path);
  folder = folder.substr(0, folder.find_last_of("\\/") + 1);
  return folder + kShimName;
}

bool EndsWithShimName(const std::string& value) {
  const std::size_t n = sizeof(kShimName) - 1;
  return value.size() >= n && ::lstrcmpiA(value.c_str() + value.size() - n, kShimName) == 0;
}

}  // namespace

int RegisterBrowserClass(bool install) {
  const std::string shim = ShimPath();
  if (install) {
    if (::GetFileAttributesA(shim.c_str()) == INVALID_FILE_ATTRIBUTES) {
      std::fprintf(stderr, "standin: %s is missing\n", shim.c_str());
      return 2;
    }
    HKEY raw = nullptr;
    if (::RegCreateKeyExA(HKEY_LOCAL_MACHINE, kServerKey, 0, nullptr, 0, KEY_WRITE, nullptr, &raw, nullptr) !=
        ERROR_SUCCESS) {
      std::fprintf(stderr, "standin: cannot write HKLM\\%s\n", kServerKey);
      return 1;
    }
    unique_hkey key(raw);
    const char model[] = "Apartment";
    if (::RegSetValueExA(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(shim.c_str()),
                         static_cast<DWORD>(shim.size() + 1)) != ERROR_SUCCESS ||
        ::RegSetValueExA(key.get(), "ThreadingModel", 0, REG_SZ, reinterpret_cast<const BYTE*>(model),
                         sizeof(model)) != ERROR_SUCCESS) {
      std::fprintf(stderr, "standin: cannot write HKLM\\%s\n", kServerKey);
      return 1;
    }
    std::printf("registered %s as the in-process server of the browser application class\n", shim.c_str());
    return 0;
  }
  HKEY raw = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServerKey, 0, KEY_READ, &raw) != ERROR_SUCCESS) return 0;
  unique_hkey key(raw);
  char value[MAX_PATH * 2] = {};
  DWORD size = sizeof(value) - 1;
  DWORD type = 0;
  const bool read = ::RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
                    ERROR_SUCCESS;
  key.reset();
  if (!read || type != REG_SZ || !EndsWithShimName(value)) {
    std::fprintf(stderr, "standin: the class's InprocServer32 is not the stand-in's; left as it is\n");
    return 1;
  }
  HKEY parent = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, kClassKey, 0, KEY_WRITE, &parent) != ERROR_SUCCESS) return 1;
  unique_hkey parentKey(parent);
  if (::RegDeleteKeyA(parentKey.get(), "InprocServer32") != ERROR_SUCCESS) {
    std::fprintf(stderr, "standin: cannot remove HKLM\\%s\n", kServerKey);
    return 1;
  }
  std::printf("removed the stand-in's in-process server of the browser application class\n");
  return 0;
}

}  // namespace standin

extern "C" __declspec(dllexport) HRESULT StandinGetClassObject(const CLSID* clsid, const IID* iid, void** out) {
  try {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!clsid || !iid || *clsid != CLSID_InternetExplorer) return CLASS_E_CLASSNOTAVAILABLE;
    auto factory = standin::MakeObject<standin::HiddenBrowserFactory>();
    return factory->QueryInterface(*iid, out);
  } catch (...) {
    return E_OUTOFMEMORY;
  }
}
