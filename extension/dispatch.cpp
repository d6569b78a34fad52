#include "dispatch.h"

#include <wrl/client.h>

#include "comerror.h"
#include "module.h"

namespace qp {

HRESULT DispatchTypeInfoCount(UINT* count) noexcept {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT DispatchTypeInfo(REFIID iid, UINT index, ITypeInfo** info) noexcept {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  try {
    return module::GetTypeInfoOf(iid, info);
  }
  QP_CATCH_RETURN()
}

HRESULT DispatchIDsOfNames(REFIID iid, REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) noexcept {
  if (!IsEqualIID(riid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
  if (names == nullptr || ids == nullptr) return E_POINTER;
  try {
    Microsoft::WRL::ComPtr<ITypeInfo> info;
    QP_RETURN_IF_FAILED(module::GetTypeInfoOf(iid, &info));
    return info->GetIDsOfNames(names, count, ids);
  }
  QP_CATCH_RETURN()
}

}  // namespace qp
