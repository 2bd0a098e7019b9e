#include "engine/marker_folder.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace {

using kestrel::FindMarkerFolder;

class MarkerFolder : public testing::Test {
 protected:
  void SetUp() override { root_ = kt::ScratchFolder(L"marker"); }
  void TearDown() override { kt::RemoveTree(root_); }
  std::wstring root_;
};

TEST_F(MarkerFolder, FindsTheFolderThatHoldsTheMarkerAtAnyDepth) {
  ASSERT_TRUE(kt::CreateFolders(root_ + L"\\a\\b\\Product\\VantDepot"));
  ASSERT_TRUE(kt::CreateFolders(root_ + L"\\c"));
  std::wstring parent;
  ASSERT_TRUE(FindMarkerFolder(root_, parent));
  EXPECT_EQ(parent, root_ + L"\\a\\b\\Product");
}

TEST_F(MarkerFolder, FilesNamedLikeTheMarkerDoNotCount) {
  ASSERT_TRUE(kt::CreateFolders(root_ + L"\\a"));
  ASSERT_TRUE(kt::WriteFileBytes(root_ + L"\\a\\vantdepot", "x"));
  std::wstring parent = L"unchanged";
  EXPECT_FALSE(FindMarkerFolder(root_, parent));
  EXPECT_EQ(parent, L"unchanged");
  EXPECT_FALSE(FindMarkerFolder(root_ + L"\\missing", parent));
}

TEST_F(MarkerFolder, DeepTreesBeyondMaxPath) {
  std::wstring deep = root_;
  for (int i = 0; i < 30; ++i) {
    deep += L"\\level-" + std::to_wstring(i) + L"-abcdefghij";
    ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
  }
  ASSERT_GT(deep.size(), 400u);
  ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + deep + L"\\vantdepot").c_str(), nullptr));
  std::wstring parent;
  ASSERT_TRUE(FindMarkerFolder(root_, parent));
  EXPECT_EQ(parent, deep);
}

// Links as Wine shows them: a Unix symbolic link to a folder is reported
// as a reparse point, the way Windows reports a junction. The build tree
// holds such links (made by CMake): a loop back to its own parent, and a
// loop met before the marker.
TEST(MarkerFolderLinks, LinksAreNotEntered) {
  const std::wstring root = kt::kBinDir + L"\\fixtures\\link-loop";
  std::wstring parent;
  EXPECT_FALSE(FindMarkerFolder(root + L"\\loop-only", parent));
  ASSERT_TRUE(FindMarkerFolder(root + L"\\loop-then-marker", parent));
  EXPECT_EQ(parent, root + L"\\loop-then-marker\\z");
}

}  // namespace
