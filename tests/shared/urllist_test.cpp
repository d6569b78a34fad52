// Host lists in the shared region: slots, locks held by other processes,
// list files, and host names of URLs.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "dllcomm.h"
#include "urlop.h"
#include "wintest.h"

namespace qp {
namespace {

class UrlListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(InitShareInfo());
    for (int i = 0; i < kListCount; ++i) ASSERT_TRUE(GetUrlList(i).Clear());
  }
  void TearDown() override { ReleaseShareInfo(); }

  static std::vector<std::string> All(int index) {
    std::vector<std::string> out;
    EXPECT_TRUE(GetUrlList(index).GetAll(out));
    return out;
  }
  static std::string TempFile(const char* name) {
    char folder[MAX_PATH];
    ::GetTempPathA(MAX_PATH, folder);
    return std::string(folder) + test::UniqueName(name) + ".lst";
  }
  static void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
};

TEST_F(UrlListTest, SlotRules) {
  UrlList& list = GetUrlList(0);
  EXPECT_TRUE(list.Add("ads.example"));
  EXPECT_FALSE(list.Add("ADS.Example")) << "a duplicate in other letter case is refused";
  EXPECT_TRUE(list.Find("Ads.EXAMPLE"));
  EXPECT_FALSE(list.Find("www.ads.example")) << "a subdomain is another host";
  EXPECT_FALSE(list.Add("")) << "an empty text could never be found again";
  EXPECT_FALSE(list.Add(std::string(31, 'x').c_str())) << "31 characters do not fit a slot";
  EXPECT_TRUE(list.Add(std::string(30, 'y').c_str()));
  EXPECT_FALSE(list.Find(""));
  EXPECT_FALSE(list.Find(std::string(32, 'y').c_str()));

  ASSERT_TRUE(list.Add("b.example"));
  ASSERT_TRUE(list.Add("c.example"));
  EXPECT_TRUE(list.Remove("B.EXAMPLE"));
  EXPECT_FALSE(list.Remove("b.example"));
  ASSERT_TRUE(list.Add("d.example"));
  EXPECT_EQ(All(0), (std::vector<std::string>{"ads.example", std::string(30, 'y'), "d.example", "c.example"}))
      << "the freed slot is reused before the end";

  ASSERT_TRUE(list.Clear());
  for (std::uint32_t i = 0; i < list.capacity(); ++i) {
    ASSERT_TRUE(list.Add(("h" + std::to_string(i) + ".example").c_str()));
  }
  EXPECT_FALSE(list.Add("one.more.example")) << "full";
  EXPECT_EQ(All(0).size(), list.capacity());
}

TEST_F(UrlListTest, SaveWritesEntriesInSlotOrderAndSkipsGaps) {
  UrlList& list = GetUrlList(1);
  ASSERT_TRUE(list.Add("first.example"));
  ASSERT_TRUE(list.Add("gap.example"));
  ASSERT_TRUE(list.Add("third.example"));
  ASSERT_TRUE(list.Remove("gap.example"));
  const std::string path = TempFile("save");
  ASSERT_TRUE(list.SaveFile(path.c_str()));
  EXPECT_EQ(ReadFile(path), "first.example\r\nthird.example\r\n");

  ASSERT_TRUE(list.Clear());
  ASSERT_TRUE(list.SaveFile(path.c_str()));
  EXPECT_EQ(ReadFile(path), "");
  EXPECT_FALSE(list.SaveFile("Z:\\no\\such\\folder\\x.lst"));
  ::DeleteFileA(path.c_str());
}

TEST_F(UrlListTest, LoadFileReadsWholeLinesAndAddsToWhatIsThere) {
  const std::string s29(29, 'a'), s30(30, 'b'), s40(40, 'c');
  const struct {
    const char* name;
    std::string bytes;
    std::vector<std::string> entries;
  } cases[] = {
      {"CRLF with case duplicates", "one.example\r\nONE.example\r\ntwo.example\r\n", {"one.example", "two.example"}},
      {"LF without final line end", "one.example\ntwo.example", {"one.example", "two.example"}},
      {"29 and 30 characters load whole", s29 + "\r\n" + s30 + "\r\n", {s29, s30}},
      {"40 characters refused whole", s40 + "\r\nshort.example\r\n", {"short.example"}},
      {"empty lines", "\r\n\r\nx.example\r\n\r\n", {"x.example"}},
      {"binary garbage", std::string("\x01\x02\xff\0\x10\n\x80\x81\n", 10), {"\x80\x81"}},
  };
  for (const auto& c : cases) {
    ASSERT_TRUE(GetUrlList(2).Clear());
    const std::string path = TempFile("load");
    WriteFile(path, c.bytes);
    EXPECT_TRUE(GetUrlList(2).LoadFile(path.c_str())) << c.name;
    EXPECT_EQ(All(2), c.entries) << c.name;
    ::DeleteFileA(path.c_str());
  }

  ASSERT_TRUE(GetUrlList(2).Clear());
  ASSERT_TRUE(GetUrlList(2).Add("kept.example"));
  EXPECT_FALSE(GetUrlList(2).LoadFile("Z:\\missing\\file.lst"));
  const std::string path = TempFile("merge");
  WriteFile(path, "KEPT.example\r\nnew.example\r\n");
  EXPECT_TRUE(GetUrlList(2).LoadFile(path.c_str()));
  EXPECT_EQ(All(2), (std::vector<std::string>{"kept.example", "new.example"})) << "merged, no duplicates";
  ::DeleteFileA(path.c_str());
}

TEST_F(UrlListTest, LoadAndSaveAllListsUseTheFiveFilesInTheCurrentFolder) {
  char old[MAX_PATH];
  ::GetCurrentDirectoryA(MAX_PATH, old);
  char temp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + test::UniqueName("lists");
  ASSERT_TRUE(::CreateDirectoryA(folder.c_str(), nullptr));
  ASSERT_TRUE(::SetCurrentDirectoryA(folder.c_str()));
  for (int i = 0; i < kListCount; ++i) WriteFile(kListFile[i], "host" + std::to_string(i) + ".example\r\n");
  EXPECT_TRUE(LoadAllLists());
  for (int i = 0; i < kListCount; ++i) {
    EXPECT_EQ(All(i), std::vector<std::string>{"host" + std::to_string(i) + ".example"});
  }
  AddUrlToList(0, "http://Added.Example:81/page");
  AddUrlToList(7, "ignored.example");  // bad index: caught, nothing changes
  RemoveUrlFromList(0, "host0.example/");
  EXPECT_TRUE(SaveAllLists());
  EXPECT_EQ(ReadFile(kListFile[0]), "Added.Example\r\n");
  EXPECT_EQ(ReadFile(kListFile[3]), "host3.example\r\n");
  ClearList(0);
  EXPECT_TRUE(All(0).empty());
  for (int i = 0; i < kListCount; ++i) ::DeleteFileA(kListFile[i]);
  ::SetCurrentDirectoryA(old);
  ::RemoveDirectoryA(folder.c_str());
}

// Child: holds the mutex of list 0 until told to let go.
QP_CHILD_ROLE(HoldListLock) {
  if (!InitShareInfo()) return 10;
  NamedLock lock(GetUrlList(0).mutex(), 1000);
  if (!lock.locked()) return 11;
  test::SetNamedEvent(args.at(0));
  test::WaitForNamedEvent(args.at(1), 30000);
  ReleaseShareInfo();
  return 0;
}

TEST_F(UrlListTest, ALockHeldByAnotherProcessMakesEveryOperationFailWithoutChange) {
  UrlList& list = GetUrlList(0);
  ASSERT_TRUE(list.Add("before.example"));
  const std::string path = TempFile("locked");
  WriteFile(path, "old content\r\n");
  const std::string held = test::UniqueName("held"), go = test::UniqueName("go");
  unique_handle heldEvent = test::CreateNamedEvent(held), goEvent = test::CreateNamedEvent(go);
  test::ChildProcess child;
  ASSERT_TRUE(child.Start("HoldListLock", {held, go}));
  ASSERT_EQ(::WaitForSingleObject(heldEvent.get(), 20000), WAIT_OBJECT_0);

  const DWORD start = ::GetTickCount();
  EXPECT_FALSE(list.Find("before.example"));
  EXPECT_GE(::GetTickCount() - start, kListWaitMs - 100) << "waited for the lock's limit";
  EXPECT_FALSE(list.Add("new.example"));
  EXPECT_FALSE(list.Clear());
  EXPECT_FALSE(list.SaveFile(path.c_str()));
  ::SetEvent(goEvent.get());
  EXPECT_EQ(child.Wait(20000), 0);

  EXPECT_EQ(All(0), std::vector<std::string>{"before.example"});
  EXPECT_EQ(ReadFile(path), "old content\r\n");
  ::DeleteFileA(path.c_str());
}

TEST(UrlHost, TrayVariantSplitsWhatAUserTypes) {
  const struct {
    const char* text;
    const char* host;
  } cases[] = {
      {"www.example.com", "www.example.com"},
      {"www.example.com/some/path", "www.example.com"},
      {"http://www.example.com:8080/", "www.example.com"},
      {"HtTp://Mixed.Example.COM/x", "Mixed.Example.COM"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(tray::GetUrlHost(c.text), c.host) << c.text;
}

TEST(UrlHost, BrowserVariantMatchesThePatterns) {
  const struct {
    const char* address;
    const char* host;
  } cases[] = {
      {"http://www.example.com/index.html", "www.example.com"},
      {"http://user:pw@host.example/", "user"},
      {"https://secure.example/", "https"},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(browser::GetUrlHost(c.address), c.host) << c.address;
}

TEST_F(UrlListTest, WhiteListTestUsesThePageHostInAnyCase) {
  ASSERT_TRUE(GetUrlList(0).Add("www.friend.example"));
  EXPECT_TRUE(IsUrlWhiteListed(L"http://WWW.Friend.Example/page?x=1"));
  EXPECT_FALSE(IsUrlWhiteListed(L"http://friend.example/"));
  ASSERT_TRUE(GetUrlList(0).Add("friend.example"));
  EXPECT_FALSE(IsUrlWhiteListed(L"http://other.friend.example/")) << "no suffix matching";
  EXPECT_FALSE(IsUrlWhiteListed(L""));
  EXPECT_FALSE(IsUrlWhiteListed(nullptr));
}

std::string g_longHost;
DWORD WINAPI ExtractLongHost(void*) {
  g_longHost = browser::GetUrlHost(std::string(200000, 'a').c_str());
  return 0;
}

// The extension variant runs on browser threads with small stacks.
TEST(UrlHost, LongAddressOnASmallStackDoesNotOverflow) {
  HANDLE thread = ::CreateThread(nullptr, 512 * 1024, ExtractLongHost, nullptr,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(::WaitForSingleObject(thread, 20000), WAIT_OBJECT_0);
  DWORD code = 1;
  ::GetExitCodeThread(thread, &code);
  ::CloseHandle(thread);
  EXPECT_EQ(code, 0u);
  EXPECT_EQ(g_longHost.size(), 1024u);
}

TEST(UrlHost, WhiteListWithoutRegionAnswersNo) {
  ASSERT_EQ(ShareInfoRefs(), 0);
  EXPECT_FALSE(IsUrlWhiteListed(L"http://any.example/"));
  EXPECT_THROW(GetUrlList(0), std::runtime_error);
}

}  // namespace
}  // namespace qp
