// Error policy of the extension library: results are HRESULTs at every COM
// boundary. C++ exceptions (allocation failures, the shared region's
// creation-guard error) may be raised inside, but every entry from outside
// (export, COM method, event sink) catches everything with QP_CATCH_RETURN or
// QP_CATCH_ALL, so no exception ever unwinds through the browser's frames.
#pragma once

#include <windows.h>

#include <new>

namespace qp {

// The HRESULT for the exception being handled; call only inside a catch block.
inline HRESULT ResultFromCaughtException() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

// The HRESULT of the thread's last Win32 error, never a success code.
inline HRESULT LastErrorResult() noexcept {
  const DWORD error = ::GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace qp

// try { ... } QP_CATCH_RETURN() : a caught exception becomes the method's result.
#define QP_CATCH_RETURN()                        \
  catch (...) {                                  \
    return ::qp::ResultFromCaughtException();    \
  }

// try { ... } QP_CATCH_ALL() : a caught exception is dropped.
#define QP_CATCH_ALL() \
  catch (...) {        \
  }

#define QP_RETURN_IF_FAILED(expr)         \
  do {                                    \
    const HRESULT qp_hr_ = (expr);        \
    if (FAILED(qp_hr_)) return qp_hr_;    \
  } while (0)

#define QP_RETURN_IF_WIN32_ERROR(expr)                          \
  do {                                                          \
    const LONG qp_error_ = (expr);                              \
    if (qp_error_ != ERROR_SUCCESS) return HRESULT_FROM_WIN32(qp_error_); \
  } while (0)
