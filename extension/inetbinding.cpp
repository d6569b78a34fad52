#include "inetbinding.h"

#include "dllcomm.h"

namespace qp {

namespace {

constexpr char kWininetModule[] = "wininet.dll";

HMODULE g_module = nullptr;   // the bound module, loaded here or found in the process
unique_hmodule g_loadedHere;  // held only when this library loaded the module
int g_bindings = 0;
WininetEntries g_entries;

template <typename Fn>
void Lookup(Fn& entry, const char* name) {
  entry = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(g_module, name)));
}

}  // namespace

bool InitWininet() {
  CriticalSectionLock lock(CommUnitLock());
  if (g_module == nullptr) {
    g_module = ::GetModuleHandleA(kWininetModule);
    if (g_module == nullptr) {
      g_loadedHere.reset(::LoadLibraryA(kWininetModule));
      if (!g_loadedHere) return false;
      g_module = g_loadedHere.get();
    }
    Lookup(g_entries.InternetOpenA, "InternetOpenA");
    Lookup(g_entries.InternetOpenUrlA, "InternetOpenUrlA");
    Lookup(g_entries.InternetReadFile, "InternetReadFile");
    Lookup(g_entries.InternetCloseHandle, "InternetCloseHandle");
  }
  ++g_bindings;
  return true;
}

void FreeWininet() {
  CriticalSectionLock lock(CommUnitLock());
  if (g_bindings > 0) --g_bindings;
  if (g_bindings > 0 || !g_loadedHere) return;
  g_loadedHere.reset();
  g_module = nullptr;
  g_entries = WininetEntries();
}

WininetEntries BoundWininet() {
  CriticalSectionLock lock(CommUnitLock());
  return g_entries;
}

int WininetBindings() {
  CriticalSectionLock lock(CommUnitLock());
  return g_bindings;
}

}  // namespace qp
