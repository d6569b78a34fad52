// The shared region between processes, and the unit's reference count.
#include <gtest/gtest.h>

#include "dllcomm.h"
#include "wintest.h"

namespace qp {
namespace {

using test::RunChild;

// Child: checks that the region it maps holds what the parent wrote.
QP_CHILD_ROLE(ReadRegion) {
  if (!InitShareInfo()) return 10;
  ShareInfo* info = GetShareInfo();
  const bool seen = info->BlockCount == 4242 && info->Enable == 1 && GetUrlList(0).Find("SHARED.example");
  info->GifCount = 7;  // the parent checks that this comes back
  ReleaseShareInfo();
  return seen ? 0 : 11;
}

// Child: reports whether a region it opens is all zero.
QP_CHILD_ROLE(RegionIsZero) {
  if (!InitShareInfo()) return 10;
  const std::uint8_t* view = reinterpret_cast<std::uint8_t*>(GetShareInfo()) - kShareInfoOffset;
  bool zero = true;
  for (std::uint32_t i = 0; i < kRegionSize; ++i) zero = zero && view[i] == 0;
  ReleaseShareInfo();
  return zero ? 0 : 12;
}

TEST(SharedRegion, NewRegionIsZeroAndASecondProcessSeesTheFirstOnesWrites) {
  ASSERT_EQ(ShareInfoRefs(), 0);
  EXPECT_EQ(RunChild("RegionIsZero"), 0);

  ASSERT_TRUE(InitShareInfo());
  ShareInfo* info = GetShareInfo();
  ASSERT_NE(info, nullptr);
  EXPECT_EQ(info->Enable, 0);
  EXPECT_EQ(info->TrayWnd, 0u);
  info->BlockCount = 4242;
  info->Enable = 1;
  ASSERT_TRUE(GetUrlList(0).Add("shared.example"));

  EXPECT_EQ(RunChild("ReadRegion"), 0);
  EXPECT_EQ(info->GifCount, 7) << "the child's write reached this process";
  EXPECT_EQ(info->BlockCount, 4242) << "a second process zeroes nothing";
  ReleaseShareInfo();

  // With no process left holding it, the next region starts from zero again.
  EXPECT_EQ(RunChild("RegionIsZero"), 0);
}

TEST(SharedRegion, HandlesCloseOnlyAtTheLastRelease) {
  ASSERT_TRUE(InitShareInfo());
  ASSERT_TRUE(InitShareInfo());
  ASSERT_TRUE(InitShareInfo());
  EXPECT_EQ(ShareInfoRefs(), 3);
  ShareInfo* info = GetShareInfo();
  HANDLE tableMutex = GetWinList()->mutex.get();
  ReleaseShareInfo();
  ReleaseShareInfo();
  EXPECT_EQ(GetShareInfo(), info);
  DWORD flags = 0;
  EXPECT_TRUE(::GetHandleInformation(tableMutex, &flags)) << "still open after the second release";
  ReleaseShareInfo();
  EXPECT_EQ(ShareInfoRefs(), 0);
  EXPECT_EQ(GetShareInfo(), nullptr);
  EXPECT_FALSE(::GetHandleInformation(tableMutex, &flags)) << "closed at the third release";
  ReleaseShareInfo();  // a fourth does nothing
  EXPECT_EQ(ShareInfoRefs(), 0);
}

TEST(SharedRegion, GetUrlListRefusesIndicesOutsideTheFiveLists) {
  ASSERT_TRUE(InitShareInfo());
  for (int index : {5, -1, 1000}) {
    try {
      GetUrlList(index);
      ADD_FAILURE() << "no error for index " << index;
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "Error : GetUrlList");
    }
  }
  for (int index = 0; index < kListCount; ++index) {
    EXPECT_EQ(GetUrlList(index).capacity(), kListCapacity[index]);
  }
  ReleaseShareInfo();
}

TEST(SharedRegion, MutexErrorCarriesItsMessage) {
  const mine::CMutexError error;
  const std::runtime_error& base = error;
  EXPECT_STREQ(base.what(), "Can't create Mutex");
}

}  // namespace
}  // namespace qp
