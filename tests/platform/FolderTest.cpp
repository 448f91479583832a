// The one walker's listing: every entry with its kind, sizes on a look,
// links told apart and followed, and subfolders opened by the name the
// system gave.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

#include "platform/FileSystem.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

std::map<std::string, size_t> Indexes(const IFolder& folder) {
  std::map<std::string, size_t> at;
  for (size_t i = 0; i < folder.Count(); ++i) at[std::string(folder.Name(i))] = i;
  return at;
}

TEST(FolderTest, EntriesHaveTheirKindsAndSizes) {
  const test::TTempFolder root("folder");
  test::WriteFile(root / "a.txt", "12345");
  const std::string accented = test::Local8Bit("\xC3\xA9t\xC3\xA9.doc");  // "été.doc"
  test::WriteFile(root.Path() / fs::path(u8"\u00e9t\u00e9.doc"), "xy");
  fs::create_directories(root / "sub" / "deeper");
  test::WriteFile(root / "sub" / "b.bin", "123");

  const std::unique_ptr<IFolder> folder =
      Get<IFileSystem>().OpenFolder(test::ProgramPath(root.Path()));
  ASSERT_TRUE(folder);
  ASSERT_TRUE(folder->Read());
  std::map<std::string, size_t> at = Indexes(*folder);
  ASSERT_EQ(at.size(), 3u) << "no . and ..";
  ASSERT_TRUE(at.count(accented));
  EXPECT_EQ(folder->Kind(at["a.txt"]), TEntryKind::ekFile);
  EXPECT_EQ(folder->Kind(at["sub"]), TEntryKind::ekDirectory);
  TEntryFacts facts;
  ASSERT_TRUE(folder->Look(at["a.txt"], false, facts));
  EXPECT_EQ(facts.size, 5);
  EXPECT_TRUE(facts.readable);
  ASSERT_TRUE(folder->Look(at[accented], false, facts));
  EXPECT_EQ(facts.size, 2);

  const std::unique_ptr<IFolder> sub = folder->Open(at["sub"]);
  ASSERT_TRUE(sub && sub->Read());
  EXPECT_NE(sub->Identity(), folder->Identity());
  at = Indexes(*sub);
  EXPECT_EQ(at.size(), 2u);
  EXPECT_EQ(sub->Kind(at["deeper"]), TEntryKind::ekDirectory);
  EXPECT_FALSE(folder->Open(Indexes(*folder)["a.txt"])) << "a file opened as a folder";
  EXPECT_FALSE(Get<IFileSystem>().OpenFolder(test::ProgramPath(root / "missing")));

  // The same folder reached twice is one.
  const std::unique_ptr<IFolder> again =
      Get<IFileSystem>().OpenFolder(test::ProgramPath(root / "sub"));
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Identity(), sub->Identity());
}

#ifndef _WIN32
TEST(FolderTest, LinksAreToldApartAndFollowedOnRequest) {
  const test::TTempFolder root("folder");
  test::WriteFile(root / "file", "1234");
  fs::create_directory(root / "dir");
  fs::create_symlink(root / "file", root / "to-file");
  fs::create_symlink(root / "dir", root / "to-dir");
  fs::create_symlink(root / "nowhere", root / "dangling");
  const std::unique_ptr<IFolder> folder = Get<IFileSystem>().OpenFolder(root.Path().string());
  ASSERT_TRUE(folder && folder->Read());
  std::map<std::string, size_t> at = Indexes(*folder);
  // In the bytes' order of the names.
  for (size_t i = 1; i < folder->Count(); ++i) EXPECT_LT(folder->Name(i - 1), folder->Name(i));
  TEntryFacts facts;
  EXPECT_EQ(folder->Kind(at["to-file"]), TEntryKind::ekLink);
  ASSERT_TRUE(folder->Look(at["to-file"], true, facts));
  EXPECT_EQ(facts.kind, TEntryKind::ekFile);
  EXPECT_EQ(facts.size, 4);
  ASSERT_TRUE(folder->Look(at["to-file"], false, facts));
  EXPECT_EQ(facts.kind, TEntryKind::ekLink);
  ASSERT_TRUE(folder->Look(at["to-dir"], true, facts));
  EXPECT_EQ(facts.kind, TEntryKind::ekDirectory);
  const std::unique_ptr<IFolder> through = folder->Open(at["to-dir"]);
  ASSERT_TRUE(through);
  EXPECT_EQ(through->Identity(), folder->Open(at["dir"])->Identity());
  EXPECT_FALSE(folder->Look(at["dangling"], true, facts)) << "a link that leads nowhere";
  EXPECT_TRUE(folder->Look(at["dangling"], false, facts));
}

// A path as the system resolves it: links followed as far as the path
// exists, the rest kept as written.
TEST(FolderTest, PathsAreResolvedThroughLinksAsFarAsTheyExist) {
  const test::TTempFolder root("folder");
  fs::create_directories(root / "real" / "home");
  fs::create_directory(root / "links");
  fs::create_directory_symlink(root / "real" / "home", root / "links" / "viaHome");
  fs::create_directory_symlink(root / "links", root / "hop");
  const std::string real = fs::canonical(root / "real" / "home").string();
  const IFileSystem& files = Get<IFileSystem>();
  EXPECT_EQ(files.ResolvedPath((root / "links" / "viaHome").string()), real);
  EXPECT_EQ(files.ResolvedPath((root / "hop" / "viaHome" / "Archives" / "day").string()),
            real + "/Archives/day");
  EXPECT_EQ(files.ResolvedPath((root / "real" / "." / "home").string()), real);
  EXPECT_EQ(files.ResolvedPath("/no/such/place"), "/no/such/place");
  EXPECT_EQ(files.ResolvedPath("relative/name"), "relative/name");
  EXPECT_EQ(files.ResolvedPath("/"), "/");
}
#endif

#ifndef _WIN32
// More names than one read of the listing takes.
TEST(FolderTest, ABigFolderIsListedWhole) {
  const test::TTempFolder root("folder");
  const std::string long_(120, 'n');
  for (int i = 0; i < 1500; ++i) test::WriteFile(root / (long_ + std::to_string(i)), "");
  const std::unique_ptr<IFolder> folder = Get<IFileSystem>().OpenFolder(root.Path().string());
  ASSERT_TRUE(folder && folder->Read());
  EXPECT_EQ(folder->Count(), 1500u);
  EXPECT_EQ(Indexes(*folder).size(), 1500u);
}
#endif

}  // namespace
}  // namespace pw
