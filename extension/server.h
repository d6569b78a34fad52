// The COM server of the library: its class table, the class objects, and
// the registration of the classes and the type library. The exports of the
// library are thin wrappers around these.
#pragma once

#include <windows.h>

#include <string>

#include "registration.h"

namespace qp::server {

// The class object of a class of the table; CLASS_E_CLASSNOTAVAILABLE for
// any other class.
HRESULT GetClassObject(REFCLSID clsid, REFIID riid, void** ppv);
// S_OK when no object, no class-object reference and no server lock remain.
HRESULT CanUnloadNow();

// Writes every class's registry entries, in table order, for the library at
// modulePath; stops at the first failure and returns it.
HRESULT RegisterClasses(const reg::Roots& roots, const std::wstring& modulePath);
// Removes every class's registry entries; missing ones count as removed.
void UnregisterClasses(const reg::Roots& roots, const std::wstring& modulePath);

// Registers or unregisters the type library of the library at modulePath.
HRESULT RegisterTypeLibrary(const std::wstring& modulePath);
HRESULT UnregisterTypeLibrary(const std::wstring& modulePath);

}  // namespace qp::server
