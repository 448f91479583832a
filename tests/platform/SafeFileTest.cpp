// The careful save against links, special files, read-only files, file-size
// limits and kills, on the real file system.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "platform/Errors.h"
#include "platform/SafeFile.h"
#include "tests/support/TestSupport.h"

// Faults that the system gives rarely, or only to other users, made on
// demand. This program's own definitions of these calls come before the C
// library's for every caller in it, the save included; unarmed they do what
// the library would.
namespace fault {
std::atomic<int> fsyncError{0};   // every fsync fails so while set
std::atomic<int> renameError{0};  // the next rename fails so
// The next link made through /proc finds its name taken (by a file made here
// first, holding "clash"), and linking by AT_EMPTY_PATH fails with ENOENT as
// it does for a process without the privilege.
std::atomic<bool> clashOnce{false};
std::atomic<bool> unprivileged{false};
std::atomic<int> links{0};
std::mutex clashedGuard;
std::string clashed;
}  // namespace fault

extern "C" int fsync(int fd) {
  if (const int error = fault::fsyncError.load()) {
    errno = error;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

extern "C" int rename(const char* from, const char* to) noexcept {
  if (const int error = fault::renameError.exchange(0)) {
    errno = error;
    return -1;
  }
  return ::renameat(AT_FDCWD, from, AT_FDCWD, to);
}

extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to,
                      int flags) noexcept {
  ++fault::links;
  if ((flags & AT_SYMLINK_FOLLOW) != 0 && fault::clashOnce.exchange(false)) {
    {
      std::lock_guard<std::mutex> lock(fault::clashedGuard);
      fault::clashed = to;
    }
    pw::test::WriteFile(to, "clash");
  }
  if ((flags & AT_EMPTY_PATH) != 0 && fault::unprivileged) {
    errno = ENOENT;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_linkat, fromDir, from, toDir, to, flags));
}

namespace pw {

struct TSafeFileWriterInspector {
  static bool WritesInPlace(const TSafeFileWriter& writer) { return writer.inPlace_; }
};

namespace {

bool WritesInPlace(const TSafeFileWriter& writer) {
  return TSafeFileWriterInspector::WritesInPlace(writer);
}

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

// Disarms every fault when it goes, whatever the test did.
struct ArmedFaults {
  ~ArmedFaults() {
    fault::fsyncError = 0;
    fault::renameError = 0;
    fault::clashOnce = false;
    fault::unprivileged = false;
  }
};

// A thread in a mount namespace of its own, so that what it mounts goes with
// it even when a check fails midway. refused says why nothing could be mounted.
class MountingThread {
 public:
  void Run(const std::function<void()>& body) {
    std::thread([&] {
      if (::unshare(CLONE_NEWNS) != 0 ||
          ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        refused = std::strerror(errno);
        return;
      }
      try {
        body();
      } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
      }
    }).join();
  }
  bool Bind(const fs::path& source, const fs::path& over) {
    if (::mount(source.c_str(), over.c_str(), nullptr, MS_BIND, nullptr) == 0) return true;
    refused = std::strerror(errno);
    return false;
  }

  std::string refused;
};

ino_t Inode(const fs::path& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

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
    EXPECT_FALSE(WritesInPlace(writer));
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
  EXPECT_FALSE(WritesInPlace(writer));
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
  EXPECT_TRUE(WritesInPlace(writer));
  writer.Stream().WriteBuffer("new", 3);
  writer.Commit();
  EXPECT_EQ(ReadFile(target), "new");
}

TEST_F(SafeFileTest, ADescriptorIsWrittenThroughACopyOfIt) {
  // What /proc shows for a pipe or a socket ("pipe:[N]") is no path, and a
  // socket cannot be opened through /proc at all.
  int pipeEnds[2], sockets[2];
  ASSERT_EQ(::pipe(pipeEnds), 0);
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, sockets), 0);
  // A save that wrote nothing must not leave the reads below waiting.
  for (const int readEnd : {pipeEnds[0], sockets[1]}) ::fcntl(readEnd, F_SETFL, O_NONBLOCK);
  const std::string pipeIn = std::to_string(pipeEnds[1]), socket = std::to_string(sockets[0]);
  fs::create_symlink("/dev/fd/" + pipeIn, folder / "out");
  const std::vector<std::pair<int, std::string>> names = {
      {pipeEnds[0], "/dev/fd/" + pipeIn},
      {pipeEnds[0], "/proc/self/fd/" + pipeIn},
      {pipeEnds[0], (folder / "out").string()},
      {sockets[1], "/dev/fd/" + socket},
      {sockets[1], "/proc/" + std::to_string(::getpid()) + "/fd/" + socket},
      {sockets[1], "/proc/thread-self/fd/" + socket},
  };
  for (const auto& [readEnd, name] : names) {
    EXPECT_EQ(SaveFails(name, "through " + name), "");
    char buffer[256];
    const ssize_t n = ::read(readEnd, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(std::max<ssize_t>(n, 0))), "through " + name);
  }
  // The caller's own descriptors are still open and usable.
  EXPECT_EQ(::write(pipeEnds[1], "!", 1), 1);
  EXPECT_EQ(::write(sockets[0], "!", 1), 1);
  EXPECT_TRUE(fs::is_symlink(folder / "out"));
  for (const int fd : {pipeEnds[0], pipeEnds[1], sockets[0], sockets[1]}) ::close(fd);
}

TEST_F(SafeFileTest, ADescriptorOnAFileIsWrittenWhereItStands) {
  const fs::path log = folder / "log.txt";
  WriteFile(log, "earlier\n");
  const ino_t inode = Inode(log);
  // Opened for appending, as a shell's ">>": added at the end, the old text kept.
  const int appending = ::open(log.c_str(), O_WRONLY | O_APPEND);
  ASSERT_GE(appending, 0);
  SaveFile("/dev/fd/" + std::to_string(appending), "appended\n");
  SaveFile("/proc/self/fd/" + std::to_string(appending), "and again\n");
  ::close(appending);
  EXPECT_EQ(ReadFile(log), "earlier\nappended\nand again\n");
  // Opened as a shell's ">": at the caller's position, sharing it, nothing cut.
  const int truncating = ::open(log.c_str(), O_WRONLY | O_TRUNC);
  ASSERT_GE(truncating, 0);
  ASSERT_EQ(::write(truncating, "head ", 5), 5);
  SaveFile("/dev/fd/" + std::to_string(truncating), "body");
  ASSERT_EQ(::write(truncating, " tail", 5), 5);
  ::close(truncating);
  EXPECT_EQ(ReadFile(log), "head body tail");
  EXPECT_EQ(Inode(log), inode);
  EXPECT_EQ(Names(), std::vector<std::string>{"log.txt"});
}

TEST_F(SafeFileTest, ADescriptorThatCannotBeWrittenIsRefused) {
  const fs::path file = folder / "r.txt";
  WriteFile(file, "old");
  const int reading = ::open(file.c_str(), O_RDONLY);
  ASSERT_GE(reading, 0);
  const std::string name = "/dev/fd/" + std::to_string(reading);
  EXPECT_EQ(SaveFails(name, "new"), "Cannot create file " + name);
  ::close(reading);
  EXPECT_EQ(ReadFile(file), "old");
  // The number is free again now.
  EXPECT_EQ(SaveFails(name, "new"), "Cannot create file " + name);
  EXPECT_EQ(Names(), std::vector<std::string>{"r.txt"});
}

TEST_F(SafeFileTest, OtherPathsUnderProcAreFollowedAndReplacedCarefully) {
  const fs::path target = folder / "y.dat";
  WriteFile(target, "old document");
  const std::string viaProc = "/proc/self/root" + target.string();
  {
    FileSizeLimit limit(4096);
    EXPECT_EQ(SaveFails(viaProc, big), "Stream write error");
  }
  EXPECT_EQ(ReadFile(target), "old document");
  {
    TSafeFileWriter writer(viaProc);
    EXPECT_FALSE(WritesInPlace(writer));
    writer.Stream().WriteBuffer("new", 3);
    writer.Commit();
  }
  EXPECT_EQ(ReadFile(target), "new");
  // A link into /proc is followed like any other and stays a link.
  fs::create_symlink(viaProc, folder / "link.dat");
  SaveFile((folder / "link.dat").string(), "newer");
  EXPECT_TRUE(fs::is_symlink(folder / "link.dat"));
  EXPECT_EQ(ReadFile(target), "newer");
  EXPECT_EQ(Names(), (std::vector<std::string>{"link.dat", "y.dat"}));
}

TEST_F(SafeFileTest, AFileMountedOverTheTargetIsWrittenInPlace) {
  const fs::path target = folder / "settings.dat", mounted = folder / "mounted.dat";
  const fs::path later = folder / "later.dat", mountedLater = folder / "mounted-later.dat";
  WriteFile(target, "underneath");
  WriteFile(mounted, "old");
  WriteFile(later, "underneath");
  WriteFile(mountedLater, "old");
  MountingThread thread;
  thread.Run([&] {
    if (!thread.Bind(mounted, target)) return;
    {
      FileSizeLimit limit(4096);
      EXPECT_EQ(SaveFails(target.string(), big), "Stream write error");
    }
    EXPECT_EQ(ReadFile(target), "old") << "the space is reserved before anything is written";
    TSafeFileWriter writer(target.string());
    EXPECT_TRUE(WritesInPlace(writer));
    writer.Stream().WriteBuffer("new", 3);
    writer.Commit();
    EXPECT_EQ(ReadFile(mounted), "new");

    // Mounted only once the save has begun: the rename is refused as busy.
    TSafeFileWriter late(later.string());
    EXPECT_FALSE(WritesInPlace(late));
    late.Stream().WriteBuffer("newer", 5);
    if (!thread.Bind(mountedLater, later)) return;
    late.Commit();
    EXPECT_EQ(ReadFile(mountedLater), "newer");
    EXPECT_EQ(Names(), (std::vector<std::string>{"later.dat", "mounted-later.dat", "mounted.dat",
                                                 "settings.dat"}));
  });
  if (!thread.refused.empty()) GTEST_SKIP() << "no bind mounts here: " << thread.refused;
}

TEST_F(SafeFileTest, ARenameRefusedAsBusyIsDoneInPlace) {
  // As a bind mount refuses it, where this test may not mount.
  ArmedFaults faults;
  const fs::path target = folder / "busy.dat";
  WriteFile(target, "old");
  const ino_t inode = Inode(target);
  fault::renameError = EBUSY;
  EXPECT_EQ(SaveFails(target.string(), "new"), "");
  EXPECT_EQ(fault::renameError, 0) << "the save renamed nothing";
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_EQ(Inode(target), inode);
  // Any other refusal fails and leaves the file as it was.
  fault::renameError = EACCES;
  EXPECT_EQ(SaveFails(target.string(), "newer"), "Cannot create file " + target.string());
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_EQ(Names(), std::vector<std::string>{"busy.dat"});
}

TEST_F(SafeFileTest, ATakenTemporaryNameIsTriedAgain) {
  ArmedFaults faults;
  const fs::path target = folder / "c.dat";
  WriteFile(target, "old");
  fault::links = 0;
  fault::clashOnce = true;
  fault::unprivileged = true;
  const std::string failure = SaveFails(target.string(), "new");
  if (fault::links == 0) GTEST_SKIP() << "the file system here makes no unnamed files";
  EXPECT_EQ(failure, "");
  EXPECT_EQ(ReadFile(target), "new");
  const fs::path clashed = fault::clashed;
  EXPECT_EQ(ReadFile(clashed), "clash") << "another's file is left alone";
  EXPECT_EQ(Names(), (std::vector<std::string>{clashed.filename().string(), "c.dat"}));
}

TEST_F(SafeFileTest, ASyncTheFileSystemCannotDoIsNoFailure) {
  ArmedFaults faults;
  const fs::path alone = folder / "alone.dat", linked = folder / "linked.dat";
  WriteFile(alone, "old");
  WriteFile(linked, "old");
  fs::create_hard_link(linked, folder / "other.dat");
  for (const fs::path& target : {alone, linked}) {  // replaced, and written in place
    for (const int error : {EINVAL, EROFS}) {
      const std::string text = "new " + std::to_string(error);
      fault::fsyncError = error;
      EXPECT_EQ(SaveFails(target.string(), text), "") << target << " " << error;
      fault::fsyncError = 0;
      EXPECT_EQ(ReadFile(target), text);
    }
    fault::fsyncError = EIO;
    EXPECT_EQ(SaveFails(target.string(), "lost"), "Stream write error") << target;
    fault::fsyncError = 0;
  }
  EXPECT_EQ(ReadFile(alone), "new " + std::to_string(EROFS));
  EXPECT_EQ(Names(), (std::vector<std::string>{"alone.dat", "linked.dat", "other.dat"}));
}

TEST_F(SafeFileTest, SavesOnSeveralThreadsAtOnce) {
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const std::string name = (folder / ("t" + std::to_string(t))).string();
      for (int i = 0; i < 50; ++i) {
        if (!SaveFails(name, std::to_string(t) + "/" + std::to_string(i)).empty()) ++failures;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(failures, 0);
  EXPECT_EQ(Names(), (std::vector<std::string>{"t0", "t1", "t2", "t3"}));
  for (int t = 0; t < 4; ++t) {
    EXPECT_EQ(ReadFile(folder / ("t" + std::to_string(t))), std::to_string(t) + "/49");
  }
}

}  // namespace
}  // namespace pw
