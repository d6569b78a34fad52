// One move-only owner per kind of Windows handle. Closing keeps the thread's
// last-error value, so a caller can still read why the call before failed.
#pragma once

#include <windows.h>
#include <oleauto.h>

#include <utility>

namespace qp {

template <typename Traits>
class unique_any {
 public:
  using pointer = typename Traits::pointer;

  unique_any() noexcept = default;
  explicit unique_any(pointer p) noexcept : p_(p) {}
  ~unique_any() { reset(); }

  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  unique_any(unique_any&& other) noexcept : p_(other.release()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }

  pointer get() const noexcept { return p_; }
  explicit operator bool() const noexcept { return Traits::IsValid(p_); }

  pointer release() noexcept {
    pointer p = p_;
    p_ = Traits::Invalid();
    return p;
  }

  void reset(pointer p = Traits::Invalid()) noexcept {
    pointer old = p_;
    p_ = p;
    if (Traits::IsValid(old)) {
      const DWORD lastError = GetLastError();
      Traits::Close(old);
      SetLastError(lastError);
    }
  }

  // For out-parameters: frees what is held and hands out the empty slot.
  pointer* put() noexcept {
    reset();
    return &p_;
  }

 private:
  pointer p_ = Traits::Invalid();
};

template <typename T, T invalid, void (*close)(T)>
struct SimpleTraits {
  using pointer = T;
  static pointer Invalid() noexcept { return invalid; }
  static bool IsValid(pointer p) noexcept { return p != invalid; }
  static void Close(pointer p) noexcept { close(p); }
};

namespace detail {
inline void CloseKernelHandle(HANDLE h) { ::CloseHandle(h); }
inline void UnmapView(void* p) { ::UnmapViewOfFile(p); }
inline void CloseKey(HKEY k) { ::RegCloseKey(k); }
inline void Unhook(HHOOK h) { ::UnhookWindowsHookEx(h); }
inline void CloseModule(HMODULE m) { ::FreeLibrary(m); }
inline void FreeBstr(BSTR s) { ::SysFreeString(s); }
inline void DestroyWnd(HWND w) { ::DestroyWindow(w); }
inline void DestroyMenuHandle(HMENU m) { ::DestroyMenu(m); }
inline void FreeFindFile(HANDLE h) { ::FindClose(h); }
}  // namespace detail

// Mutexes, events, mappings, processes, threads: null means none.
using unique_handle = unique_any<SimpleTraits<HANDLE, nullptr, detail::CloseKernelHandle>>;
// Files: INVALID_HANDLE_VALUE means none.
struct FileTraits {
  using pointer = HANDLE;
  static pointer Invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool IsValid(pointer p) noexcept { return p != INVALID_HANDLE_VALUE && p != nullptr; }
  static void Close(pointer p) noexcept { ::CloseHandle(p); }
};
using unique_hfile = unique_any<FileTraits>;
using unique_mapview = unique_any<SimpleTraits<void*, nullptr, detail::UnmapView>>;
using unique_hkey = unique_any<SimpleTraits<HKEY, nullptr, detail::CloseKey>>;
using unique_hhook = unique_any<SimpleTraits<HHOOK, nullptr, detail::Unhook>>;
using unique_hmodule = unique_any<SimpleTraits<HMODULE, nullptr, detail::CloseModule>>;
using unique_bstr = unique_any<SimpleTraits<BSTR, nullptr, detail::FreeBstr>>;
using unique_hwnd = unique_any<SimpleTraits<HWND, nullptr, detail::DestroyWnd>>;
using unique_hmenu = unique_any<SimpleTraits<HMENU, nullptr, detail::DestroyMenuHandle>>;

// A VARIANT that is cleared when it goes.
class unique_variant {
 public:
  unique_variant() noexcept { ::VariantInit(&v_); }
  ~unique_variant() { ::VariantClear(&v_); }
  unique_variant(const unique_variant&) = delete;
  unique_variant& operator=(const unique_variant&) = delete;

  VARIANT* get() noexcept { return &v_; }
  const VARIANT* get() const noexcept { return &v_; }
  VARIANT* operator&() noexcept { return &v_; }
  VARIANT* put() noexcept {
    ::VariantClear(&v_);
    return &v_;
  }
  void clear() noexcept { ::VariantClear(&v_); }

 private:
  VARIANT v_;
};

// Holds a critical section for one scope.
class CriticalSectionLock {
 public:
  explicit CriticalSectionLock(CRITICAL_SECTION& cs) noexcept : cs_(cs) { ::EnterCriticalSection(&cs_); }
  ~CriticalSectionLock() { ::LeaveCriticalSection(&cs_); }
  CriticalSectionLock(const CriticalSectionLock&) = delete;
  CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

 private:
  CRITICAL_SECTION& cs_;
};

}  // namespace qp
