// The CreateShortcut export: a shortcut in a shell folder that reads back
// through the shell's link object, and nothing written for a folder number
// that names no folder or a name that does not fit the path buffer.
#include <gtest/gtest.h>
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <wrl/client.h>

#include <set>
#include <string>

#include "vextest.h"
#include "wintest.h"

namespace qp {
namespace {

using Microsoft::WRL::ComPtr;

constexpr int kNoSuchFolder = 0xFF;

std::string StartupFolder() {
  char path[MAX_PATH] = {};
  EXPECT_EQ(::SHGetFolderPathA(nullptr, CSIDL_STARTUP, nullptr, 0, path), S_OK);
  return path;
}

std::set<std::string> FilesIn(const std::string& folder) {
  std::set<std::string> names;
  WIN32_FIND_DATAA found;
  HANDLE find = ::FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    names.insert(found.cFileName);
  } while (::FindNextFileA(find, &found));
  ::FindClose(find);
  return names;
}

class ShortcutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(com_.ok());
    ASSERT_TRUE(vex_.loaded());
    startup_ = StartupFolder();
    ASSERT_FALSE(startup_.empty());
    ::SHCreateDirectoryExA(nullptr, startup_.c_str(), nullptr);
    before_ = FilesIn(startup_);
  }

  test::ComApartment com_;
  test::VexLibrary vex_;
  std::string startup_;
  std::set<std::string> before_;
};

TEST_F(ShortcutTest, StartupShortcutReadsBack) {
  const std::string target = test::TestProgramPath();
  const std::string folder = test::ProgramFolder();
  const std::string name = test::UniqueName("link") + ".lnk";
  ASSERT_EQ(vex_.CreateShortcut(target.c_str(), "Quellpane", folder.c_str(), name.c_str(), CSIDL_STARTUP), 1);

  const std::string file = startup_ + "\\" + name;
  ASSERT_NE(::GetFileAttributesA(file.c_str()), INVALID_FILE_ATTRIBUTES);
  ComPtr<IShellLinkA> link;
  ASSERT_EQ(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&link)), S_OK);
  ComPtr<IPersistFile> persist;
  ASSERT_EQ(link.As(&persist), S_OK);
  wchar_t wide[MAX_PATH] = {};
  ::MultiByteToWideChar(CP_ACP, 0, file.c_str(), -1, wide, MAX_PATH);
  ASSERT_EQ(persist->Load(wide, STGM_READ), S_OK);

  char text[MAX_PATH] = {};
  ASSERT_EQ(link->GetPath(text, MAX_PATH, nullptr, 0), S_OK);
  EXPECT_EQ(::lstrcmpiA(text, target.c_str()), 0) << text;
  ASSERT_EQ(link->GetWorkingDirectory(text, MAX_PATH), S_OK);
  EXPECT_STREQ(text, folder.c_str());
  ASSERT_EQ(link->GetDescription(text, MAX_PATH), S_OK);
  EXPECT_STREQ(text, "Quellpane");
  int show = 0;
  ASSERT_EQ(link->GetShowCmd(&show), S_OK);
  EXPECT_EQ(show, SW_SHOWNORMAL);

  persist.Reset();
  link.Reset();
  EXPECT_TRUE(::DeleteFileA(file.c_str()));
}

TEST_F(ShortcutTest, FolderNumberOfNoFolderCreatesNothing) {
  const std::string name = test::UniqueName("nofolder") + ".lnk";
  EXPECT_EQ(vex_.CreateShortcut("C:\\x.exe", "d", "C:\\", name.c_str(), kNoSuchFolder), 0);
  EXPECT_EQ(FilesIn(startup_), before_);
  EXPECT_EQ(::GetFileAttributesA(name.c_str()), INVALID_FILE_ATTRIBUTES) << "nor in the current folder";
  EXPECT_EQ(vex_.CreateShortcut("C:\\x.exe", "d", "C:\\", nullptr, CSIDL_STARTUP), 0);
}

TEST_F(ShortcutTest, NamesThatDoNotFitThePathBufferCreateNothing) {
  // folder + "\" + name must fit 260 characters and the terminating zero.
  const std::size_t room = 260 - startup_.size() - 1;
  const std::string tooLong(room + 1, 'n');
  EXPECT_EQ(vex_.CreateShortcut("C:\\x.exe", "d", "C:\\", tooLong.c_str(), CSIDL_STARTUP), 0);
  const std::string farTooLong(5000, 'n');
  EXPECT_EQ(vex_.CreateShortcut("C:\\x.exe", "d", "C:\\", farTooLong.c_str(), CSIDL_STARTUP), 0);
  EXPECT_EQ(FilesIn(startup_), before_);

  // A name that just fits is accepted (whether the file system then takes
  // a path this long is its own matter).
  const std::string fits(room, 'f');
  EXPECT_EQ(vex_.CreateShortcut("C:\\x.exe", std::string(1000, 'd').c_str(), std::string(1000, 'w').c_str(),
                                fits.c_str(), CSIDL_STARTUP),
            1);
  ::DeleteFileA((startup_ + "\\" + fits).c_str());
  EXPECT_EQ(FilesIn(startup_), before_);
}

}  // namespace
}  // namespace qp
