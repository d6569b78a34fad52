// Registration of the library with the system's regsvr32, creation of its
// classes through the registry from another process, and the registry
// writer on scratch keys (failures part-way, keys that are not ours).
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>

#include "server.h"
#include "vex.h"
#include "vextest.h"
#include "wintest.h"

namespace qp {
namespace {

using Microsoft::WRL::ComPtr;

constexpr char kHelperObjects[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Browser Helper Objects";
constexpr char kForeignHelper[] = "{0D5C8C43-6A19-4F4B-9E2E-5B1F7A0C4E21}";
constexpr char kLibId[] = "{17DF129A-2C0F-406E-8355-E003381CBD37}";

struct ClassKeys {
  const char* progId;
  const char* displayName;
  const CLSID* clsid;
  bool helperObject;
};

const ClassKeys kClasses[] = {
    {"Vex.ClosePopup", "ClosePopup Class", &CLSID_ClosePopup, true},
    {"Vex.DispLoad", "DispLoad Class", &CLSID_DispLoad, false},
    {"Vex.DispLoad2", "DispLoad2 Class", &CLSID_DispLoad2, false},
};

std::string ClsidText(const CLSID& clsid) {
  wchar_t wide[40] = {};
  ::StringFromGUID2(clsid, wide, 40);
  char text[40] = {};
  ::WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
  return text;
}

bool KeyExists(HKEY root, const std::string& path) {
  unique_hkey key;
  return ::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

// A string value; "<missing>" when the key or value is not there.
std::string ReadString(HKEY root, const std::string& path, const char* name = "") {
  char data[1024] = {};
  DWORD size = sizeof(data) - 1;
  if (::SHGetValueA(root, path.c_str(), name, nullptr, data, &size) != ERROR_SUCCESS) return "<missing>";
  return data;
}

std::set<std::string> Subkeys(HKEY root, const std::string& path) {
  std::set<std::string> names;
  unique_hkey key;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof(name);
    if (::RegEnumKeyExA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.insert(name);
  }
  return names;
}

std::set<std::string> ValueNames(HKEY root, const std::string& path) {
  std::set<std::string> names;
  unique_hkey key;
  if (::RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, key.put()) != ERROR_SUCCESS) return names;
  char name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = sizeof(name);
    if (::RegEnumValueA(key.get(), i, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    names.insert(name);
  }
  return names;
}

int Regsvr32(const std::string& arguments) { return test::RunProgram("regsvr32.exe", arguments); }

void ExpectRegistered(const std::string& dllPath) {
  const std::string libId = kLibId;
  for (const ClassKeys& c : kClasses) {
    SCOPED_TRACE(c.progId);
    const std::string clsid = ClsidText(*c.clsid);
    const std::string versioned = std::string(c.progId) + ".1";
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, versioned), c.displayName);
    EXPECT_EQ(Subkeys(HKEY_CLASSES_ROOT, versioned), std::set<std::string>{"CLSID"});
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, versioned + "\\CLSID"), clsid);

    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, c.progId), c.displayName);
    EXPECT_EQ(Subkeys(HKEY_CLASSES_ROOT, c.progId), (std::set<std::string>{"CLSID", "CurVer"}));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, std::string(c.progId) + "\\CLSID"), clsid);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, std::string(c.progId) + "\\CurVer"), versioned);

    const std::string classKey = "CLSID\\" + clsid;
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, classKey), c.displayName);
    EXPECT_EQ(ValueNames(HKEY_CLASSES_ROOT, classKey), std::set<std::string>{""});
    EXPECT_EQ(Subkeys(HKEY_CLASSES_ROOT, classKey),
              (std::set<std::string>{"InprocServer32", "ProgID", "Programmable", "TypeLib",
                                     "VersionIndependentProgID"}));
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, classKey + "\\ProgID"), versioned);
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, classKey + "\\VersionIndependentProgID"), c.progId);
    EXPECT_TRUE(ValueNames(HKEY_CLASSES_ROOT, classKey + "\\Programmable").empty());
    EXPECT_TRUE(Subkeys(HKEY_CLASSES_ROOT, classKey + "\\Programmable").empty());
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, classKey + "\\TypeLib"), libId);
    EXPECT_EQ(ValueNames(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32"),
              (std::set<std::string>{"", "ThreadingModel"}));
    EXPECT_EQ(::lstrcmpiA(ReadString(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32").c_str(), dllPath.c_str()), 0)
        << ReadString(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32");
    EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, classKey + "\\InprocServer32", "ThreadingModel"), "Apartment");

    const std::string helper = std::string(kHelperObjects) + "\\" + clsid;
    if (c.helperObject) {
      EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, helper), "Close Popup Windows");
      EXPECT_TRUE(Subkeys(HKEY_LOCAL_MACHINE, helper).empty());
    } else {
      EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, helper));
    }
  }
  EXPECT_EQ(ReadString(HKEY_CLASSES_ROOT, "TypeLib\\" + libId + "\\1.0"), "vex 1.0 Type Library");
}

void ExpectUnregistered() {
  for (const ClassKeys& c : kClasses) {
    SCOPED_TRACE(c.progId);
    const std::string clsid = ClsidText(*c.clsid);
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string(c.progId) + ".1"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, c.progId));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "CLSID\\" + clsid));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, std::string(kHelperObjects) + "\\" + clsid));
  }
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, std::string("TypeLib\\") + kLibId));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "CLSID"));
}

// Child: creates every class through the registry and checks what it gets.
QP_CHILD_ROLE(CreateRegistered) {
  if (args.size() != 1) return 2;
  test::ComApartment com;
  if (!com.ok()) return 3;
  int code = 10;
  for (const ClassKeys& c : kClasses) {
    ComPtr<IUnknown> object;
    HRESULT hr = ::CoCreateInstance(*c.clsid, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&object));
    if (FAILED(hr)) {
      std::fprintf(stderr, "%s: CoCreateInstance 0x%08lx\n", c.progId, hr);
      return code;
    }
    CLSID fromProgId = {};
    wchar_t progId[64] = {};
    ::MultiByteToWideChar(CP_ACP, 0, c.progId, -1, progId, 64);
    if (FAILED(::CLSIDFromProgID(progId, &fromProgId)) || !IsEqualCLSID(fromProgId, *c.clsid)) return code + 1;
    ComPtr<IDispatch> dispatch;
    ComPtr<IObjectWithSite> withSite;
    if (FAILED(object.As(&dispatch))) return code + 2;
    if (SUCCEEDED(object.As(&withSite)) != c.helperObject) return code + 3;
    ComPtr<ITypeInfo> info;
    unique_bstr help;
    if (FAILED(dispatch->GetTypeInfo(0, 0, &info)) ||
        FAILED(info->GetDocumentation(MEMBERID_NIL, nullptr, help.put(), nullptr, nullptr))) {
      return code + 4;
    }
    code += 10;
  }
  // The objects came from the registered file.
  return ::GetModuleHandleA(args[0].c_str()) != nullptr ? 0 : 99;
}

TEST(VexRegistration, Regsvr32WritesTheTablesAndUnregistrationTakesThemAway) {
  const bool helpersKeyBefore = KeyExists(HKEY_LOCAL_MACHINE, kHelperObjects);
  // A folder whose name holds a single quote, which must reach the registry unchanged.
  test::TempFolder folder("it's");
  const std::string dll = folder.path() + "vex.dll";
  ASSERT_TRUE(::CopyFileA(test::VexPath().c_str(), dll.c_str(), FALSE));

  ASSERT_EQ(Regsvr32("/s \"" + dll + "\""), 0);
  ExpectRegistered(dll);
  EXPECT_EQ(test::RunChild("CreateRegistered", {dll}), 0);
  ASSERT_EQ(Regsvr32("/s \"" + dll + "\""), 0) << "registering again replaces what is there";
  ExpectRegistered(dll);

  ASSERT_EQ(Regsvr32("/u /s \"" + dll + "\""), 0);
  ExpectUnregistered();
  EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, kHelperObjects), helpersKeyBefore)
      << "the Browser Helper Objects key goes only when we made it and it is left empty";
}

TEST(VexRegistration, UnregistrationLeavesWhatIsNotOurs) {
  const std::string foreign = std::string(kHelperObjects) + "\\" + kForeignHelper;
  ASSERT_EQ(::SHSetValueA(HKEY_LOCAL_MACHINE, foreign.c_str(), "", REG_SZ, "Other Helper", 13), ERROR_SUCCESS);
  const std::string dll = test::VexPath();

  EXPECT_EQ(Regsvr32("/u /s \"" + dll + "\""), 0) << "never registered: nothing to do, still a success";
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, foreign), "Other Helper");

  ASSERT_EQ(Regsvr32("/s \"" + dll + "\""), 0);
  ASSERT_EQ(Regsvr32("/u /s \"" + dll + "\""), 0);
  ExpectUnregistered();
  EXPECT_EQ(ReadString(HKEY_LOCAL_MACHINE, foreign), "Other Helper");
  EXPECT_EQ(Subkeys(HKEY_LOCAL_MACHINE, kHelperObjects), std::set<std::string>{kForeignHelper});
  ::SHDeleteKeyA(HKEY_LOCAL_MACHINE, foreign.c_str());
  ::SHDeleteEmptyKeyA(HKEY_LOCAL_MACHINE, kHelperObjects);
}

// Scratch keys standing for HKEY_CLASSES_ROOT and HKEY_LOCAL_MACHINE: a
// normal pair, and a volatile pair under which no lasting key can be made.
class ScratchRoots {
 public:
  ScratchRoots() : path_("Software\\QuellpaneTest\\" + test::UniqueName("roots")) {
    Make("cr", 0, classes_);
    Make("lm", 0, machine_);
    Make("crv", REG_OPTION_VOLATILE, classesVolatile_);
    Make("lmv", REG_OPTION_VOLATILE, machineVolatile_);
  }
  ~ScratchRoots() {
    classes_.reset();
    machine_.reset();
    classesVolatile_.reset();
    machineVolatile_.reset();
    ::SHDeleteKeyA(HKEY_CURRENT_USER, path_.c_str());
    ::SHDeleteEmptyKeyA(HKEY_CURRENT_USER, "Software\\QuellpaneTest");
  }
  bool ok() const { return classes_ && machine_ && classesVolatile_ && machineVolatile_; }
  reg::Roots Writable() const { return {classes_.get(), machine_.get()}; }
  reg::Roots ClassesFail() const { return {classesVolatile_.get(), machine_.get()}; }
  reg::Roots MachineFails() const { return {classes_.get(), machineVolatile_.get()}; }
  HKEY classes() const { return classes_.get(); }
  HKEY machine() const { return machine_.get(); }
  HKEY classesVolatile() const { return classesVolatile_.get(); }

 private:
  void Make(const char* name, DWORD options, unique_hkey& key) {
    ::RegCreateKeyExA(HKEY_CURRENT_USER, (path_ + "\\" + name).c_str(), 0, nullptr, options, KEY_ALL_ACCESS,
                      nullptr, key.put(), nullptr);
  }
  std::string path_;
  unique_hkey classes_, machine_, classesVolatile_, machineVolatile_;
};

TEST(VexRegistration, AFailurePartWayStopsAndIsReturned) {
  ScratchRoots roots;
  ASSERT_TRUE(roots.ok());
  const std::wstring path = L"C:\\Quellpane\\vex.dll";
  const HRESULT refused = HRESULT_FROM_WIN32(ERROR_CHILD_MUST_BE_VOLATILE);

  EXPECT_EQ(server::RegisterClasses(roots.ClassesFail(), path), refused);
  EXPECT_TRUE(Subkeys(roots.classesVolatile(), "").empty()) << "the first key already failed";

  // The first class's HKEY_CLASSES_ROOT part is written, its helper-object
  // key fails, and the classes after it are not touched.
  EXPECT_EQ(server::RegisterClasses(roots.MachineFails(), path), refused);
  EXPECT_EQ(Subkeys(roots.classes(), ""), (std::set<std::string>{"CLSID", "Vex.ClosePopup", "Vex.ClosePopup.1"}));

  ASSERT_EQ(server::RegisterClasses(roots.Writable(), path), S_OK);
  EXPECT_EQ(Subkeys(roots.classes(), "CLSID").size(), 3u);
  EXPECT_EQ(ReadString(roots.machine(), std::string(kHelperObjects) + "\\" + ClsidText(CLSID_ClosePopup)),
            "Close Popup Windows");
}

TEST(VexRegistration, RemovalTakesOnlyWhatRegistrationWrote) {
  ScratchRoots roots;
  ASSERT_TRUE(roots.ok());
  const std::wstring path = L"C:\\Quellpane\\vex.dll";
  ASSERT_EQ(server::RegisterClasses(roots.Writable(), path), S_OK);
  // Things of others in and around our keys.
  ASSERT_EQ(::SHSetValueA(roots.classes(), "Vex.ClosePopup\\Foreign", "", REG_SZ, "x", 2), ERROR_SUCCESS);
  ASSERT_EQ(::SHSetValueA(roots.classes(), "CLSID\\{00000000-0000-0000-0000-000000000001}", "", REG_SZ, "x", 2),
            ERROR_SUCCESS);
  ASSERT_EQ(::SHSetValueA(roots.machine(), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer", "Keep",
                          REG_SZ, "1", 2),
            ERROR_SUCCESS);

  server::UnregisterClasses(roots.Writable(), path);
  EXPECT_EQ(Subkeys(roots.classes(), ""), (std::set<std::string>{"CLSID", "Vex.ClosePopup"}));
  EXPECT_EQ(Subkeys(roots.classes(), "Vex.ClosePopup"), std::set<std::string>{"Foreign"});
  EXPECT_TRUE(ValueNames(roots.classes(), "Vex.ClosePopup").empty()) << "our display name went";
  EXPECT_EQ(Subkeys(roots.classes(), "CLSID"), std::set<std::string>{"{00000000-0000-0000-0000-000000000001}"});
  EXPECT_EQ(ReadString(roots.machine(), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer", "Keep"), "1");
  EXPECT_TRUE(Subkeys(roots.machine(), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer").empty())
      << "the emptied Browser Helper Objects key went";

  server::UnregisterClasses(roots.Writable(), path);  // again: nothing left of ours, nothing else touched
  EXPECT_EQ(Subkeys(roots.classes(), "Vex.ClosePopup"), std::set<std::string>{"Foreign"});
  EXPECT_EQ(ReadString(roots.machine(), "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer", "Keep"), "1");
}

}  // namespace
}  // namespace qp
