// The library as a COM server, loaded into the test process: class objects,
// the module lock, aggregation, the interfaces and type information of each
// class, the version resource and the refusal to load into the shell.
#include <gtest/gtest.h>
#include <windows.h>
#include <ocidl.h>
#include <ole2.h>
#include <wrl/client.h>

#include <string>
#include <vector>

#include "vex.h"
#include "vextest.h"
#include "wintest.h"

namespace qp {
namespace {

using Microsoft::WRL::ComPtr;
using test::ComApartment;
using test::VexLibrary;

struct ClassCase {
  const char* name;
  const CLSID* clsid;
  const IID* iid;  // the class's own dual interface
  const wchar_t* interfaceName;
  const wchar_t* interfaceHelp;
  const wchar_t* coclassName;
  const wchar_t* classHelp;
};

const ClassCase kClasses[] = {
    {"ClosePopup", &CLSID_ClosePopup, &IID_IClosePopup, L"IClosePopup", L"IClosePopup Interface",
     L"ClosePopup", L"ClosePopup Class"},
    {"DispLoad", &CLSID_DispLoad, &IID_IDispLoad, L"IDispLoad", L"IDispLoad Interface", L"DispLoad",
     L"DispLoad Class"},
    {"DispLoad2", &CLSID_DispLoad2, &IID_IDispLoad2, L"IDispLoad2", L"IDispLoad2 Interface", L"DispLoad2",
     L"DispLoad2 Class"},
};

// Interfaces no class of the library may answer.
const IID* const kForeign[] = {&IID_IClassFactory, &IID_IConnectionPointContainer, &IID_IPersist,
                               &IID_IMarshal, &IID_IProvideClassInfo, &IID_IOleObject,
                               &IID_IClosePopup, &IID_IDispLoad, &IID_IDispLoad2, &IID_IObjectWithSite};

// The interfaces the class answers among those it might be asked for.
std::vector<const IID*> Expected(const ClassCase& c) {
  std::vector<const IID*> iids = {&IID_IUnknown, &IID_IDispatch, c.iid};
  if (c.clsid == &CLSID_ClosePopup) iids.push_back(&IID_IObjectWithSite);
  return iids;
}

bool Contains(const std::vector<const IID*>& iids, const IID* iid) {
  for (const IID* i : iids) {
    if (IsEqualIID(*i, *iid)) return true;
  }
  return false;
}

ComPtr<IClassFactory> Factory(VexLibrary& vex, const CLSID& clsid) {
  ComPtr<IClassFactory> factory;
  EXPECT_EQ(vex.DllGetClassObject(clsid, IID_PPV_ARGS(&factory)), S_OK);
  return factory;
}

// Outer object of an aggregate: counts its references and answers IUnknown.
class Outer : public IUnknown {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown)) return E_NOINTERFACE;
    *ppv = this;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
  STDMETHODIMP_(ULONG) Release() override { return --refs; }
  ULONG refs = 1;
};

TEST(VexModule, ExportsAreThereUnderTheirPlainNames) {
  VexLibrary vex;
  ASSERT_TRUE(vex.loaded());
  EXPECT_NE(vex.DllCanUnloadNow, nullptr);
  EXPECT_NE(vex.DllGetClassObject, nullptr);
  EXPECT_NE(vex.DllRegisterServer, nullptr);
  EXPECT_NE(vex.DllUnregisterServer, nullptr);
  EXPECT_NE(vex.CreateShortcut, nullptr);
}

TEST(VexModule, UnknownClassIsNotAvailable) {
  VexLibrary vex;
  ASSERT_TRUE(vex.loaded());
  const CLSID unknown = {0x6e3b1d52, 0x0b0c, 0x4c5e, {0x9a, 0x11, 0x2f, 0x71, 0x44, 0x1e, 0x0d, 0x93}};
  void* object = reinterpret_cast<void*>(0x1234);
  EXPECT_EQ(vex.DllGetClassObject(unknown, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(vex.DllGetClassObject(IID_IClosePopup, IID_IClassFactory, &object), CLASS_E_CLASSNOTAVAILABLE)
      << "an interface id is not a class id";
  EXPECT_EQ(vex.DllGetClassObject(CLSID_ClosePopup, IID_IClassFactory, nullptr), E_POINTER);
  EXPECT_EQ(vex.DllGetClassObject(CLSID_ClosePopup, IID_IDispatch, &object), E_NOINTERFACE);
  EXPECT_EQ(object, nullptr);
  EXPECT_EQ(vex.DllCanUnloadNow(), S_OK);
}

TEST(VexModule, CanUnloadOnlyWithoutObjectsFactoriesOrLocks) {
  ComApartment com;
  VexLibrary vex;
  ASSERT_TRUE(vex.loaded());
  ASSERT_EQ(vex.DllCanUnloadNow(), S_OK);
  for (const ClassCase& c : kClasses) {
    SCOPED_TRACE(c.name);
    ComPtr<IClassFactory> factory = Factory(vex, *c.clsid);
    ASSERT_TRUE(factory);
    EXPECT_EQ(vex.DllCanUnloadNow(), S_FALSE) << "a class object is held";
    IUnknown* object = nullptr;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&object)), S_OK);
    factory.Reset();
    EXPECT_EQ(vex.DllCanUnloadNow(), S_FALSE) << "an object is alive";
    EXPECT_EQ(object->Release(), 0u) << "the creation left exactly one reference";
    EXPECT_EQ(vex.DllCanUnloadNow(), S_OK);

    factory = Factory(vex, *c.clsid);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(vex.DllCanUnloadNow(), S_FALSE) << "the server is locked";
    factory = Factory(vex, *c.clsid);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(vex.DllCanUnloadNow(), S_OK);
  }
}

TEST(VexModule, EachClassAnswersExactlyItsInterfaces) {
  ComApartment com;
  VexLibrary vex;
  ASSERT_TRUE(vex.loaded());
  for (const ClassCase& c : kClasses) {
    SCOPED_TRACE(c.name);
    ComPtr<IClassFactory> factory = Factory(vex, *c.clsid);
    ComPtr<IUnknown> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&object)), S_OK);
    const std::vector<const IID*> expected = Expected(c);
    for (const IID* iid : expected) {
      ComPtr<IUnknown> answered;
      ASSERT_EQ(object->QueryInterface(*iid, &answered), S_OK);
      ComPtr<IUnknown> identity;
      ASSERT_EQ(answered->QueryInterface(IID_PPV_ARGS(&identity)), S_OK);
      EXPECT_EQ(identity.Get(), object.Get()) << "one identity through every interface";
    }
    for (const IID* iid : kForeign) {
      if (Contains(expected, iid)) continue;
      void* answered = reinterpret_cast<void*>(0x1234);
      EXPECT_EQ(object->QueryInterface(*iid, &answered), E_NOINTERFACE);
      EXPECT_EQ(answered, nullptr);
    }
    ComPtr<IDispatch> dispatch;
    ComPtr<IUnknown> own;
    ASSERT_EQ(object.As(&dispatch), S_OK);
    ASSERT_EQ(object->QueryInterface(*c.iid, &own), S_OK);
    EXPECT_EQ(static_cast<IUnknown*>(dispatch.Get()), own.Get()) << "IDispatch is the dual interface's part";
    EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    factory.Reset();
    dispatch.Reset();
    own.Reset();
    EXPECT_EQ(object.Reset(), 0u);
  }
  EXPECT_EQ(vex.DllCanUnloadNow(), S_OK);
}

TEST(VexModule, ObjectsCanBeAggregated) {
  ComApartment com;
  VexLibrary vex;
  ASSERT_TRUE(vex.loaded());
  for (const ClassCase& c : kClasses) {
    SCOPED_TRACE(c.name);
    ComPtr<IClassFactory> factory = Factory(vex, *c.clsid);
    Outer outer;
    void* refused = reinterpret_cast<void*>(0x1234);
    EXPECT_EQ(factory->CreateInstance(&outer, *c.iid, &refused), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(refused, nullptr);

    IUnknown* inner = nullptr;
    ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
    EXPECT_NE(inner, static_cast<IUnknown*>(&outer));
    EXPECT_EQ(outer.refs, 1u) << "the inner object does not hold its outer";

    IDispatch* part = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&part)), S_OK);
    EXPECT_EQ(outer.refs, 2u) << "an interface of the aggregate counts on the outer object";
    IUnknown* identity = nullptr;
    ASSERT_EQ(part->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)), S_OK);
    EXPECT_EQ(identity, static_cast<IUnknown*>(&outer)) << "the aggregate's identity is the outer object";
    identity->Release();
    part->Release();
    EXPECT_EQ(outer.refs, 1u);
    EXPECT_EQ(inner->Release(), 0u);
    factory.Reset();
    EXPECT_EQ(vex.DllCanUnloadNow(), S_OK);
  }
}

TEST(VexModule, TypeInformationComesFromTheLibrarysTypeLibrary) {
  ComApartment com;
  VexLibrary vex;
  ASSERT_TRUE(vex.loaded());
  for (const ClassCase& c : kClasses) {
    SCOPED_TRACE(c.name);
    ComPtr<IClassFactory> factory = Factory(vex, *c.clsid);
    ComPtr<IDispatch> object;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&object)), S_OK);

    UINT count = 0;
    EXPECT_EQ(object->GetTypeInfoCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(object->GetTypeInfoCount(nullptr), E_POINTER);
    ComPtr<ITypeInfo> wrong;
    EXPECT_EQ(object->GetTypeInfo(1, 0, &wrong), DISP_E_BADINDEX);

    ComPtr<ITypeInfo> info;
    ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, &info), S_OK);
    unique_bstr name, help;
    ASSERT_EQ(info->GetDocumentation(MEMBERID_NIL, name.put(), help.put(), nullptr, nullptr), S_OK);
    EXPECT_STREQ(name.get(), c.interfaceName);
    EXPECT_STREQ(help.get(), c.interfaceHelp);
    TYPEATTR* attributes = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(attributes->guid, *c.iid));
    EXPECT_EQ(attributes->cFuncs, 7u) << "only the IUnknown and IDispatch methods";
    EXPECT_TRUE(attributes->wTypeFlags & TYPEFLAG_FDUAL);
    info->ReleaseTypeAttr(attributes);

    wchar_t unknownName[] = L"NoSuchMember";
    LPOLESTR names[] = {unknownName};
    DISPID id = 0;
    EXPECT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(object->GetIDsOfNames(IID_IDispatch, names, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNINTERFACE);

    ComPtr<ITypeLib> library;
    UINT index = 0;
    ASSERT_EQ(info->GetContainingTypeLib(&library, &index), S_OK);
    TLIBATTR* libAttributes = nullptr;
    ASSERT_EQ(library->GetLibAttr(&libAttributes), S_OK);
    EXPECT_TRUE(IsEqualGUID(libAttributes->guid, LIBID_VEXLib));
    EXPECT_EQ(libAttributes->wMajorVerNum, 1);
    EXPECT_EQ(libAttributes->wMinorVerNum, 0);
    EXPECT_EQ(libAttributes->lcid, 1033u);
    library->ReleaseTLibAttr(libAttributes);
    unique_bstr libName, libHelp;
    ASSERT_EQ(library->GetDocumentation(-1, libName.put(), libHelp.put(), nullptr, nullptr), S_OK);
    EXPECT_STREQ(libName.get(), L"VEXLib");
    EXPECT_STREQ(libHelp.get(), L"vex 1.0 Type Library");

    ComPtr<ITypeInfo> coclass;
    ASSERT_EQ(library->GetTypeInfoOfGuid(*c.clsid, &coclass), S_OK);
    unique_bstr className, classHelp;
    ASSERT_EQ(coclass->GetDocumentation(MEMBERID_NIL, className.put(), classHelp.put(), nullptr, nullptr), S_OK);
    EXPECT_STREQ(className.get(), c.coclassName);
    EXPECT_STREQ(classHelp.get(), c.classHelp);
    TYPEATTR* classAttributes = nullptr;
    ASSERT_EQ(coclass->GetTypeAttr(&classAttributes), S_OK);
    EXPECT_TRUE(classAttributes->wTypeFlags & TYPEFLAG_FCANCREATE);
    coclass->ReleaseTypeAttr(classAttributes);
  }
}

TEST(VexModule, VersionResourceCarriesTheProductValues) {
  const std::string path = test::VexPath();
  DWORD handle = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &handle);
  ASSERT_GT(size, 0u);
  std::vector<char> data(size);
  ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, data.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, MAKELONG(4, 1));
  EXPECT_EQ(fixed->dwFileVersionLS, MAKELONG(96, 1));
  EXPECT_EQ(fixed->dwProductVersionMS, MAKELONG(4, 1));
  EXPECT_EQ(fixed->dwProductVersionLS, MAKELONG(96, 1));

  const std::pair<const char*, const char*> strings[] = {
      {"FileVersion", "1.4.1.96"},      {"ProductVersion", "1.4.1.96"}, {"FileDescription", "vex Module"},
      {"ProductName", "vex Module"},    {"OriginalFilename", "vex.DLL"}, {"CompanyName", "Lumenfold"},
      {"OLESelfRegister", ""},
  };
  for (const auto& [key, expected] : strings) {
    char* value = nullptr;
    const std::string query = std::string("\\StringFileInfo\\040904B0\\") + key;
    ASSERT_TRUE(::VerQueryValueA(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)) << key;
    EXPECT_STREQ(length > 0 ? value : "", expected) << key;
  }
}

// Child: loads the library given as the argument; 0 when it loaded.
QP_CHILD_ROLE(LoadVex) {
  if (args.size() != 1) return 2;
  HMODULE module = ::LoadLibraryA(args[0].c_str());
  if (module == nullptr) return 1;
  ::FreeLibrary(module);
  return 0;
}

TEST(VexModule, RefusesToLoadIntoTheShellOnly) {
  test::TempFolder folder("hosts");
  const std::pair<const char*, int> hosts[] = {
      {"EXPLORER.EXE", 1}, {"explorer.exe", 1}, {"Explorer.Exe", 1}, {"iexplore.exe", 0}, {"zot.exe", 0},
      {"explorer.exe.exe", 0},
  };
  for (const auto& [name, refused] : hosts) {
    SCOPED_TRACE(name);
    const std::string copy = folder.path() + name;
    ASSERT_TRUE(::CopyFileA(test::TestProgramPath().c_str(), copy.c_str(), FALSE));
    EXPECT_EQ(test::RunProgram(copy, "--child LoadVex \"" + test::VexPath() + "\""), refused);
    ::DeleteFileA(copy.c_str());
  }
}

}  // namespace
}  // namespace qp
