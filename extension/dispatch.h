// The IDispatch methods that the library's dual interfaces share: type
// information and names come from the library's type library. The
// interfaces declare no members of their own.
#pragma once

#include <windows.h>
#include <oaidl.h>

namespace qp {

// GetTypeInfoCount: one type information, the interface's.
HRESULT DispatchTypeInfoCount(UINT* count) noexcept;
// GetTypeInfo(index 0) for the dual interface iid.
HRESULT DispatchTypeInfo(REFIID iid, UINT index, ITypeInfo** info) noexcept;
// GetIDsOfNames on the dual interface iid; riid must be IID_NULL.
HRESULT DispatchIDsOfNames(REFIID iid, REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) noexcept;

}  // namespace qp
