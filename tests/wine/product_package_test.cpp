// Patching an installed tree, deleting trees, finding the installed
// product and ending the monitor process, on the real file system.
#include "engine/product_package.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>

#include "core/installer_state.h"
#include "support/recording_context.h"
#include "support/test_support.h"

namespace {

using namespace kestrel;

// Holds a file the way Windows holds a running program's file: it cannot
// be replaced but it can be renamed.
win::UniqueHandle HoldLikeARunningProgram(const std::wstring& path, DWORD share = FILE_SHARE_READ | FILE_SHARE_DELETE) {
  return win::UniqueHandle(::CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

std::vector<std::wstring> Names(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW entry;
  win::UniqueFind find(::FindFirstFileW((folder + L"\\*").c_str(), &entry));
  if (!find) return names;
  do {
    std::wstring name = entry.cFileName;
    if (name != L"." && name != L"..") names.push_back(name);
  } while (::FindNextFileW(find.get(), &entry));
  std::sort(names.begin(), names.end());
  return names;
}

class ProductPackage : public testing::Test {
 protected:
  void SetUp() override {
    root_ = kt::ScratchFolder(L"package");
    source_ = root_ + L"\\build";
    target_ = root_ + L"\\installed";
    ASSERT_TRUE(kt::CreateFolders(source_ + L"\\bin"));
    ASSERT_TRUE(kt::CreateFolders(target_ + L"\\bin"));
    ASSERT_TRUE(kt::WriteFileBytes(source_ + L"\\a.txt", "new a"));
    ASSERT_TRUE(kt::WriteFileBytes(source_ + L"\\bin\\tool.exe", "new tool"));
    ASSERT_TRUE(kt::WriteFileBytes(source_ + L"\\bin\\lib.dll", "new lib"));
    ASSERT_TRUE(kt::CreateFolders(source_ + L"\\new\\deep"));
    ASSERT_TRUE(kt::WriteFileBytes(source_ + L"\\new\\deep\\n.txt", "new n"));
    ASSERT_TRUE(kt::WriteFileBytes(target_ + L"\\a.txt", "old a"));
    ASSERT_TRUE(kt::WriteFileBytes(target_ + L"\\bin\\tool.exe", "old tool"));
    ASSERT_TRUE(kt::WriteFileBytes(target_ + L"\\bin\\lib.dll", "old lib"));
    ASSERT_TRUE(kt::WriteFileBytes(target_ + L"\\kept.txt", "kept"));
    ASSERT_TRUE(::SetFileAttributesW((target_ + L"\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  }
  void TearDown() override { kt::RemoveTree(root_); }

  kt::RecordingContext ctx_;
  std::wstring root_, source_, target_;
};

TEST_F(ProductPackage, PatchReplacesEveryFileAndMovesLockedOnesAside) {
  win::UniqueHandle tool = HoldLikeARunningProgram(target_ + L"\\bin\\tool.exe");
  win::UniqueHandle lib = HoldLikeARunningProgram(target_ + L"\\bin\\lib.dll");
  ASSERT_TRUE(tool && lib);
  ASSERT_TRUE(PatchTree(ctx_, source_, target_));
  EXPECT_TRUE(ctx_.questions().empty());
  EXPECT_EQ(kt::ReadFileBytes(target_ + L"\\a.txt"), "new a") << "read-only targets are replaced";
  EXPECT_EQ(kt::ReadFileBytes(target_ + L"\\bin\\tool.exe"), "new tool");
  EXPECT_EQ(kt::ReadFileBytes(target_ + L"\\bin\\lib.dll"), "new lib");
  EXPECT_EQ(kt::ReadFileBytes(target_ + L"\\new\\deep\\n.txt"), "new n");
  EXPECT_EQ(kt::ReadFileBytes(target_ + L"\\kept.txt"), "kept");
  EXPECT_FALSE(kt::Exists(source_)) << "the extracted tree is used up";

  // The two held files, each under its own "_<ticks>" name.
  auto names = Names(target_ + L"\\bin");
  ASSERT_EQ(names.size(), 4u) << testing::PrintToString(names);
  int aside = 0;
  for (const auto& n : names) {
    if (n.rfind(L"lib.dll_", 0) == 0 || n.rfind(L"tool.exe_", 0) == 0) {
      ++aside;
      EXPECT_NE(n.find_first_of(L"0123456789"), std::wstring::npos);
    }
  }
  EXPECT_EQ(aside, 2);
  EXPECT_EQ(ctx_.lastStatus().rfind(L"Patching:", 0), 0u) << testing::PrintToString(ctx_.lastStatus());
}

// Many small entries: the row shows them at a human rate, far fewer texts
// than entries, and ends with the text of the last entry the walk visited,
// as it would have with one text per entry.
TEST_F(ProductPackage, ManyEntriesWriteFewTextsAndEndWithTheLastEntry) {
  const std::wstring many = root_ + L"\\many", into = root_ + L"\\into";
  ASSERT_TRUE(kt::CreateFolders(many) && kt::CreateFolders(into));
  for (int i = 0; i < 2000; ++i) ASSERT_TRUE(kt::WriteFileBytes(many + L"\\f" + std::to_wstring(i) + L".txt", "x"));
  // The walk takes the entries in the order the file system lists them.
  std::wstring lastListed;
  {
    WIN32_FIND_DATAW entry;
    win::UniqueFind find(::FindFirstFileW((many + L"\\*").c_str(), &entry));
    ASSERT_TRUE(find);
    do lastListed = entry.cFileName;
    while (::FindNextFileW(find.get(), &entry));
  }
  ASSERT_TRUE(PatchTree(ctx_, many, into));
  EXPECT_EQ(kt::ReadFileBytes(into + L"\\f1999.txt"), "x");
  EXPECT_LT(ctx_.statuses().size(), 500u) << "one text per entry would be 2000";
  EXPECT_EQ(ctx_.lastStatus(), L"Patching:" + lastListed);
}

TEST_F(ProductPackage, TwoLockedFilesWithinOneTickGetTheirOwnNames) {
  // The same file name twice in a row: the first copy aside keeps its name.
  ASSERT_TRUE(kt::WriteFileBytes(root_ + L"\\v1", "v1"));
  ASSERT_TRUE(kt::WriteFileBytes(root_ + L"\\v2", "v2"));
  win::UniqueHandle held = HoldLikeARunningProgram(target_ + L"\\a.txt");
  ASSERT_TRUE(MoveReplacing(root_ + L"\\v1", target_ + L"\\a.txt"));
  win::UniqueHandle heldAgain = HoldLikeARunningProgram(target_ + L"\\a.txt");
  ASSERT_TRUE(MoveReplacing(root_ + L"\\v2", target_ + L"\\a.txt"));
  EXPECT_EQ(kt::ReadFileBytes(target_ + L"\\a.txt"), "v2");
  EXPECT_EQ(Names(target_).size(), 5u) << testing::PrintToString(Names(target_));  // a.txt, 2 aside, bin, kept
}

TEST_F(ProductPackage, AFileThatCannotBeMovedAsideStopsThePatch) {
  // Held without delete sharing: it can be neither replaced nor renamed.
  win::UniqueHandle held = HoldLikeARunningProgram(target_ + L"\\bin\\tool.exe", FILE_SHARE_READ);
  ASSERT_TRUE(held);
  EXPECT_FALSE(PatchTree(ctx_, source_, target_));
  auto questions = ctx_.questions();
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text.rfind(L"Patching:tool.exe\n" + target_ + L"\\bin\\tool.exe, Failed:", 0), 0u)
      << testing::PrintToString(questions[0].text);
  EXPECT_EQ(questions[0].type, static_cast<UINT>(MB_OK));
  EXPECT_EQ(ctx_.lastStatus(), L"Patching:tool.exe") << "the row names the file of the message";
  EXPECT_EQ(kt::ReadFileBytes(target_ + L"\\bin\\tool.exe"), "old tool");
}

TEST_F(ProductPackage, DeleteTreeRemovesLinksButNotWhatTheyPointTo) {
  // The build tree holds a Unix symbolic link to a folder outside, which
  // Wine shows as a junction.
  const std::wstring fixtures = kt::kBinDir + L"\\fixtures\\delete-link";
  const std::wstring tree = root_ + L"\\old";
  ASSERT_TRUE(kt::CreateFolders(tree + L"\\sub"));
  ASSERT_TRUE(kt::WriteFileBytes(tree + L"\\sub\\f.txt", "f"));
  ASSERT_TRUE(::SetFileAttributesW((tree + L"\\sub\\f.txt").c_str(), FILE_ATTRIBUTE_NORMAL));
  ASSERT_TRUE(kt::Exists(fixtures + L"\\tree\\outside-link\\keep.txt"));
  DeleteTree(fixtures + L"\\tree");
  DeleteTree(tree);
  EXPECT_FALSE(kt::Exists(tree));
  EXPECT_EQ(kt::ReadFileBytes(fixtures + L"\\outside\\keep.txt"), "keep\n") << "the folder behind the link survives";
}

TEST_F(ProductPackage, FolderNamesThatCannotReachOutside) {
  struct Case {
    const wchar_t* name;
    bool plain;
  } const cases[] = {{L"Vantoris Cloud Enterprise", true}, {L"", false},     {L".", false},
                     {L"..", false},                      {L"a\\b", false}, {L"a/b", false},
                     {L"C:x", false},                     {L"..x", true}};
  for (const auto& c : cases) EXPECT_EQ(IsPlainFolderName(c.name), c.plain) << testing::PrintToString(std::wstring(c.name));
}

TEST_F(ProductPackage, FindInstallDir) {
  kt::InstallerKeyScope registry;
  kt::SetInstallerText(kValueLastInstallPath, root_);
  ASSERT_TRUE(kt::CreateFolders(root_ + L"\\x\\Product\\vantdepot"));
  EXPECT_EQ(FindInstallDir(), root_ + L"\\x\\Product");
  kt::RemoveTree(root_ + L"\\x");
  // No marker: base + the product folder name (the test binary carries the
  // executable's strings).
  EXPECT_EQ(FindInstallDir(), root_ + L"\\Vantoris Cloud Enterprise");
  kt::DeleteInstallerKey();
  wchar_t programFiles[MAX_PATH];
  ::SHGetSpecialFolderPathW(nullptr, programFiles, CSIDL_PROGRAM_FILES, TRUE);
  EXPECT_EQ(FindInstallDir(), std::wstring(programFiles) + L"\\Vantoris Cloud Enterprise");
}

TEST_F(ProductPackage, OnlyTheFirstMonitorProcessIsEnded) {
  const std::wstring monitor = root_ + L"\\VantorisCloudMonitor.exe";
  ASSERT_TRUE(::CopyFileW((kt::SystemFolder() + L"\\notepad.exe").c_str(), monitor.c_str(), FALSE));
  kt::Process first = kt::Launch(monitor, L"");
  kt::Process second = kt::Launch(monitor, L"");
  ASSERT_TRUE(kt::WaitUntil([&] { return first.running() && second.running(); }));
  KillMonitorProcess();
  ASSERT_TRUE(kt::WaitUntil([&] { return !first.running() || !second.running(); }));
  EXPECT_NE(first.running(), second.running()) << "exactly one of the two was ended";
}

}  // namespace
