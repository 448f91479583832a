// Folders that every user may write to, as /tmp: what in them could let
// another user redirect or replace what this process writes; and folders
// that cannot be written at all.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/FileSystem.h"
#include "platform/Streams.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

// The user the tests give things to; only the superuser can.
constexpr uid_t kNobody = 65534;

const char kLink[] = " is a symbolic link in a folder that every user may write to";
const char kOthers[] = " belongs to another user, in a folder that every user may write to";
const char kNoSticky[] =
    " lies in a folder that every user may write to and that has no sticky bit";

class SharedFolderTest : public ::testing::Test {
 protected:
  SharedFolderTest() : temp("shared"), shared(temp / "shared") {
    fs::create_directory(shared);
    ::chmod(shared.c_str(), 01777);
  }
  static std::string Foreign(const fs::path& path) {
    return Get<IFileSystem>().ForeignStep(path.string());
  }
  static void GiveAway(const fs::path& path) {
    ASSERT_EQ(::lchown(path.c_str(), kNobody, kNobody), 0) << path;
  }

  test::TTempFolder temp;
  fs::path shared;
};

TEST_F(SharedFolderTest, ALinkThereIsRefusedAlsoWhenReachedThroughALinkOfOnesOwn) {
  fs::create_directory(temp / "victim");
  fs::create_directory_symlink(temp / "victim", shared / "day");
  const std::string refused = (shared / "day").string() + kLink;
  EXPECT_EQ(Foreign(shared / "day"), refused);
  EXPECT_EQ(Foreign(shared / "day" / "a.7z"), refused);
  // A link of one's own, in a folder only its user may write to, is followed,
  // and what it leads to is looked at as well.
  fs::create_directory_symlink(shared, temp / "mine");
  EXPECT_EQ(Foreign(temp / "mine" / "day" / "a.7z"), refused);
  fs::create_directory_symlink("shared/day", temp / "relative");
  EXPECT_EQ(Foreign(temp / "relative" / "a.7z"), refused);
  EXPECT_EQ(Foreign(temp / "victim" / ".." / "shared" / "day"), refused);
}

TEST_F(SharedFolderTest, AFolderOrAFileOfAnotherUserThereIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "only the superuser can give a folder to another user";
  const fs::path day = shared / "day";
  fs::create_directory(day);
  ::chmod(day.c_str(), 0777);
  GiveAway(day);
  EXPECT_EQ(Foreign(day / "a.7z"), day.string() + kOthers);
  test::WriteFile(shared / "a.7z", "theirs");
  GiveAway(shared / "a.7z");
  EXPECT_EQ(Foreign(shared / "a.7z"), (shared / "a.7z").string() + kOthers);
  // Below a folder only its user may write to, that user's things are theirs.
  fs::create_directory(temp / "own");
  test::WriteFile(temp / "own" / "a.7z", "given");
  GiveAway(temp / "own" / "a.7z");
  EXPECT_EQ(Foreign(temp / "own" / "a.7z"), "");
}

TEST_F(SharedFolderTest, OnesOwnThingsThereAndStepsNotYetMadeAreFine) {
  const fs::path day = shared / "day";
  fs::create_directory(day);
  test::WriteFile(day / "a.7z", "mine");
  EXPECT_EQ(Foreign(day / "a.7z"), "");
  EXPECT_EQ(Foreign(shared / "later" / "a.7z"), "");
  EXPECT_EQ(Foreign(fs::relative(day / "a.7z")), "") << "from the current directory";
  // Without the sticky bit anyone could rename one's own folder away.
  ::chmod(shared.c_str(), 0777);
  EXPECT_EQ(Foreign(day / "a.7z"), day.string() + kNoSticky);
}

// A mount guard: a read-only file system over a folder while it lives.
class TReadOnlyMount {
 public:
  explicit TReadOnlyMount(const fs::path& at)
      : at_(at), mounted_(::mount("tmpfs", at.c_str(), "tmpfs", MS_RDONLY, nullptr) == 0) {}
  ~TReadOnlyMount() {
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return mounted_; }

 private:
  fs::path at_;
  bool mounted_;
};

TEST(ReadOnlyFolder, IsSaidAndALeftoverThatIsNotThereIsNothingToRemove) {
  const test::TTempFolder temp("readonly");
  const fs::path folder = temp / "ro";
  fs::create_directory(folder);
  const TReadOnlyMount mount(folder);
  std::string expected = "it lies on a file system mounted read-only";
  if (!mount.Mounted()) {
    if (::geteuid() == 0) GTEST_SKIP() << "no read-only file system can be mounted here";
    ::chmod(folder.c_str(), 0555);  // what keeps a user out, though not the superuser
    expected = "this user may not write to it";
  }
  const IFileSystem& files = Get<IFileSystem>();
  EXPECT_EQ(files.WriteProblem(folder.string()), expected);
  EXPECT_EQ(files.WriteProblem((temp / "gone").string()), "it does not exist");
  EXPECT_EQ(files.WriteProblem(temp.Path().string()), "");
  EXPECT_TRUE(RemoveFile((folder / "a.incomplete.7z").string()));
  if (!mount.Mounted()) ::chmod(folder.c_str(), 0755);
}

}  // namespace
}  // namespace pw
