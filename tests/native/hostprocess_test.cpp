#include "hostprocess.h"

#include <gtest/gtest.h>

#include <utility>

namespace qp {
namespace {

TEST(HostProcess, ShellIsRecognisedByTheEndOfItsPathInAnyCase) {
  const std::pair<const wchar_t*, bool> cases[] = {
      {L"C:\\WINDOWS\\explorer.exe", true},
      {L"C:\\WINDOWS\\EXPLORER.EXE", true},
      {L"c:\\x\\ExPlOrEr.ExE", true},
      {L"explorer.exe", true},
      {L"C:\\tools\\myexplorer.exe", true},  // only the last twelve characters count
      {L"C:\\Program Files\\Internet Explorer\\iexplore.exe", false},
      {L"C:\\Quellpane\\zot.exe", false},
      {L"C:\\explorer.exe\\other.exe", false},
      {L"C:\\WINDOWS\\explorer.ex", false},
      {L"xplorer.exe", false},
      {L"", false},
  };
  for (const auto& [path, shell] : cases) {
    EXPECT_EQ(IsShellProcessPath(path), shell) << static_cast<int>(std::wstring_view(path).size());
  }
}

}  // namespace
}  // namespace qp
