// The careful save against links, special files, read-only files, file-size
// limits and kills, on the real file system.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/Errors.h"
#include "platform/SafeFile.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

using test::ReadFile;
using test::SaveFails;
using test::SaveFile;
using test::WriteFile;

// Lowers this process's file-size limit, with the signal ignored as both
// programs do, for as long as it lives.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previous_ = ::signal(SIGXFSZ, SIG_IGN);
    rlimit lowered = saved_;
    lowered.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &lowered);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    ::signal(SIGXFSZ, previous_);
  }

 private:
  rlimit saved_;
  sighandler_t previous_;
};

class SafeFileTest : public ::testing::Test {
 protected:
  SafeFileTest() {
    folder = fs::temp_directory_path() / ("pw-safe-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder);
  }
  ~SafeFileTest() override {
    fs::permissions(folder, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(folder);
  }

  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path folder;
  const std::string big = std::string(20000, 'n');
};

TEST_F(SafeFileTest, UncommittedOrFailedWriteLeavesTheOldFileAndNoTrace) {
  const fs::path target = folder / "a.dat";
  WriteFile(target, "old");
  {
    TSafeFileWriter writer(target.string());
    EXPECT_FALSE(writer.WritesInPlace());
    writer.Stream().WriteBuffer("new", 3);
  }  // abandoned, as when writing fails
  EXPECT_EQ(ReadFile(target), "old");
  {
    FileSizeLimit limit(4096);
    EXPECT_EQ(SaveFails(target.string(), big), "Stream write error");
  }
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"a.dat"});
  SaveFile(target.string(), "new");
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_EQ(Names(), std::vector<std::string>{"a.dat"});
}

TEST_F(SafeFileTest, BackslashesSeparateDirectories) {
  const std::string name = folder.string() + "\\b.dat";
  SaveFile(name, "x");
  EXPECT_EQ(ReadFile(folder / "b.dat"), "x");
  EXPECT_TRUE(FileExists(name));
}

TEST_F(SafeFileTest, ALinkIsFollowedAndStaysALink) {
  fs::create_directories(folder / "real");
  WriteFile(folder / "real" / "w.dat", "old");
  fs::create_symlink("real/w.dat", folder / "link.dat");
  fs::create_symlink("link.dat", folder / "chain.dat");
  const std::string link = (folder / "chain.dat").string();
  {
    FileSizeLimit limit(4096);
    EXPECT_EQ(SaveFails(link, big), "Stream write error");
  }
  EXPECT_EQ(ReadFile(folder / "real" / "w.dat"), "old");
  SaveFile(link, "new");
  EXPECT_TRUE(fs::is_symlink(folder / "chain.dat"));
  EXPECT_TRUE(fs::is_symlink(folder / "link.dat"));
  EXPECT_EQ(ReadFile(folder / "real" / "w.dat"), "new");
  EXPECT_EQ(Names(), (std::vector<std::string>{"chain.dat", "link.dat", "real"}));

  // A link to a file not there yet makes that file.
  fs::create_symlink("real/later.dat", folder / "dangling.dat");
  SaveFile((folder / "dangling.dat").string(), "made");
  EXPECT_EQ(ReadFile(folder / "real" / "later.dat"), "made");
  EXPECT_TRUE(fs::is_symlink(folder / "dangling.dat"));
}

TEST_F(SafeFileTest, ALongNameIsStillReplacedInOneStep) {
  const fs::path target = folder / std::string(254, 'L');
  WriteFile(target, "old");
  {
    FileSizeLimit limit(4096);
    EXPECT_EQ(SaveFails(target.string(), big), "Stream write error");
  }
  EXPECT_EQ(ReadFile(target), "old");
  TSafeFileWriter writer(target.string());
  EXPECT_FALSE(writer.WritesInPlace());
  writer.Stream().WriteBuffer("new", 3);
  writer.Commit();
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_EQ(Names().size(), 1u);
}

TEST_F(SafeFileTest, SpecialFilesAreWrittenIntoNotReplaced) {
  const fs::path fifo = folder / "pipe";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = ReadFile(fifo); });
  SaveFile(fifo.string(), "through the pipe");
  // Had the save not opened the pipe, this releases the reader instead of
  // leaving the test hanging.
  const int late = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
  if (late >= 0) ::close(late);
  reader.join();
  EXPECT_EQ(received, "through the pipe");
  EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST_F(SafeFileTest, AReadOnlyFileIsRefused) {
  const fs::path target = folder / "ro.dat";
  WriteFile(target, "old");
  fs::permissions(target, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(SaveFails(target.string(), "new"), "Cannot create file " + target.string());
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(SaveFails(folder.string(), "new"), "Cannot create file " + folder.string());
}

TEST_F(SafeFileTest, TheUmaskAppliesToNewFilesAndOldFilesKeepTheirMode) {
  const mode_t previous = ::umask(027);
  SaveFile((folder / "new.dat").string(), "x");
  ::umask(previous);
  struct stat st;
  ASSERT_EQ(::stat((folder / "new.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  WriteFile(folder / "private.dat", "old");
  ::chmod((folder / "private.dat").c_str(), 0600);
  SaveFile((folder / "private.dat").string(), "new");
  ASSERT_EQ(::stat((folder / "private.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SafeFileTest, HardLinksKeepSharingTheContent) {
  const fs::path first = folder / "first.dat", second = folder / "second.dat";
  WriteFile(first, "old content");
  fs::create_hard_link(first, second);
  {
    FileSizeLimit limit(4096);
    EXPECT_EQ(SaveFails(first.string(), big), "Stream write error");
  }
  EXPECT_EQ(ReadFile(second), "old content") << "the space is reserved before anything is written";
  SaveFile(first.string(), "new");
  EXPECT_EQ(ReadFile(second), "new");
  EXPECT_EQ(fs::hard_link_count(first), 2u);
  EXPECT_EQ(Names(), (std::vector<std::string>{"first.dat", "second.dat"}));
}

TEST_F(SafeFileTest, AKilledSaveLeavesNothingBehind) {
  const fs::path target = folder / "k.dat";
  WriteFile(target, "old");
  const pid_t child = ::fork();
  if (child == 0) {
    TSafeFileWriter writer(target.string());
    writer.Stream().WriteBuffer("new", 3);
    ::raise(SIGKILL);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(Names(), std::vector<std::string>{"k.dat"});
}

TEST_F(SafeFileTest, AFolderThatRefusesNewFilesIsWrittenInPlaceWithSpaceReserved) {
  if (::geteuid() == 0) GTEST_SKIP() << "the superuser may create files in any folder";
  const fs::path target = folder / "d.dat";
  WriteFile(target, "old");
  fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);
  {
    FileSizeLimit limit(4096);
    EXPECT_EQ(SaveFails(target.string(), big), "Stream write error");
  }
  EXPECT_EQ(ReadFile(target), "old");
  TSafeFileWriter writer(target.string());
  EXPECT_TRUE(writer.WritesInPlace());
  writer.Stream().WriteBuffer("new", 3);
  writer.Commit();
  EXPECT_EQ(ReadFile(target), "new");
}

}  // namespace
}  // namespace pw
