// Where the password is kept: the password file, made for its owner alone and
// refused when others may read or write it (by its owner and mode bits, which
// also binds root, who may read anything), and the keyring, a real Secret
// Service (gnome-keyring-daemon) on a session bus of the test's own.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/PasswordStore.h"
#include "tests/support/PrivateBus.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

namespace fs = std::filesystem;

unsigned ModeOf(const fs::path& file) {
  struct stat st {};
  ::stat(file.c_str(), &st);
  return st.st_mode & 07777u;
}

std::string Refusal(const fs::path& file) {
  try {
    Get<IPasswordStore>().ReadFile(file.string());
  } catch (const EPasswordUnavailable& e) {
    return e.Message();
  }
  return {};
}

TEST(PasswordFile, IsMadeForItsOwnerAloneAndRefusedWhenOthersMayReachIt) {
  const test::TTempFolder temp("pw-password-file");
  IPasswordStore& store = Get<IPasswordStore>();
  const fs::path file = temp / "archive.pw";
  const mode_t umask = ::umask(0);
  store.WriteFile(file.string(), "Secret 123");
  ::umask(umask);
  EXPECT_EQ(ModeOf(file), 0600u) << "whatever the umask";
  EXPECT_EQ(test::ReadFile(file), "Secret 123\n");
  EXPECT_EQ(store.ReadFile(file.string()), "Secret 123");

  for (const unsigned mode : {0640u, 0604u, 0620u, 0606u}) {
    ::chmod(file.c_str(), mode);
    const std::string why = Refusal(file);
    EXPECT_NE(why.find("may be read or written by others"), std::string::npos) << std::oct << mode;
    EXPECT_NE(why.find("chmod 600 " + file.string()), std::string::npos) << why;
  }
  store.WriteFile(file.string(), "Other");
  EXPECT_EQ(ModeOf(file), 0600u) << "writing it again closes it to others";
  ::chmod(file.c_str(), 0400);
  EXPECT_EQ(store.ReadFile(file.string()), "Other") << "read-only for its owner is fine";

  test::WriteFile(temp / "empty", "\n");
  ::chmod((temp / "empty").c_str(), 0600);
  EXPECT_NE(Refusal(temp / "empty").find("holds none"), std::string::npos);
  EXPECT_NE(Refusal(temp / "missing").find("No such file"), std::string::npos);
  EXPECT_NE(Refusal(temp.Path()).find("not a regular file"), std::string::npos);
}

// Root may read every file, so a check by access() would pass everything
// there: the owner and the mode bits decide, for another user as for root.
TEST(PasswordFile, IsJudgedByOwnerAndModeForAUserOtherThanRoot) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to hand files to nobody";
  const test::TTempFolder temp("pw-password-nobody");
  ::chmod(temp.Path().c_str(), 0755);
  const uid_t nobody = 65534;
  const auto file = [&](const char* name, unsigned mode, uid_t owner) {
    const fs::path path = temp / name;
    test::WriteFile(path, "Secret 123\n");
    ::chmod(path.c_str(), mode);
    (void)!::chown(path.c_str(), owner, owner);
    return path.string();
  };
  const std::string own = file("own", 0600, nobody), open = file("open", 0640, nobody),
                    roots = file("roots", 0644, 0);
  const pid_t child = ::fork();
  if (child == 0) {
    if (::setgid(nobody) != 0 || ::setuid(nobody) != 0) ::_exit(10);
    IPasswordStore& store = Get<IPasswordStore>();
    int result = 0;
    try {
      if (store.ReadFile(own) != "Secret 123") result |= 1;
    } catch (...) {
      result |= 1;
    }
    for (const std::string& refused : {open, roots}) {
      try {
        store.ReadFile(refused);
        result |= 2;
      } catch (const EPasswordUnavailable&) {
      }
    }
    ::_exit(result);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "1: its own 600 file refused; 2: a 640 file, or root's 644 one, read; 10: no nobody";
}

TEST(PasswordProblems, OneLineOfPrintableBytes) {
  EXPECT_EQ(PasswordProblem("Secret 123"), "");
  EXPECT_NE(PasswordProblem(""), "");
  EXPECT_NE(PasswordProblem("two\nlines"), "");
  EXPECT_NE(PasswordProblem("tab\there"), "");
  EXPECT_NE(PasswordProblem(std::string(kLongestPassword + 1, 'x')), "");
  EXPECT_EQ(PasswordProblem("Grüße"), "") << "UTF-8 is no control character";
}

// The keyring through the Secret Service that Debian's desktops run, started
// here headless on a private bus with a keyring of the test's own, unlocked
// by its standard input. A process keeps its first session bus, so that this
// is the only test of its program that talks to one.
TEST(Keyring, KeepsReadsAndClearsThePasswordThroughTheSecretService) {
  const char* daemon = "/usr/bin/gnome-keyring-daemon";
  if (!fs::exists(daemon)) GTEST_SKIP() << "gnome-keyring is not installed";
  const test::TTempFolder temp("pw-keyring");
  const std::string address = "unix:path=" + (temp / "bus").string();
  const test::TPrivateBus bus(temp, address);
  ASSERT_FALSE(bus.Address().empty());
  const char* earlier = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  const std::string kept = earlier ? earlier : "";
  ::setenv("DBUS_SESSION_BUS_ADDRESS", bus.Address().c_str(), 1);
  fs::create_directories(temp / "run");
  fs::permissions(temp / "run", fs::perms::owner_all);
  const std::string home = temp.Path().string();
  const test::TChild keyring(
      {"/bin/sh", "-c",
       "HOME='" + home + "' XDG_DATA_HOME='" + home + "/data' XDG_RUNTIME_DIR='" + home +
           "/run' exec " + daemon + " --foreground --unlock --components=secrets <<'E'\n"
           "the keyring's own\nE\n"},
      false, temp / "keyring.log");
  static int argc = 1;
  static char name[] = "platform_tests";
  static char* argv[] = {name, nullptr};
  const TKeyringSession session(argc, argv);
  IPasswordStore& store = Get<IPasswordStore>();
  // Ready once it answers.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::string problem = "not tried";
  while (!problem.empty() && std::chrono::steady_clock::now() < giveUp) {
    try {
      store.WriteKeyring("Secret 123");
      problem.clear();
    } catch (const EPasswordUnavailable& e) {
      problem = e.Message();
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  }
  ASSERT_EQ(problem, "") << test::ReadFile(temp / "keyring.log");
  EXPECT_EQ(store.ReadKeyring(), "Secret 123");
  store.WriteKeyring("Grüße 456");
  EXPECT_EQ(store.ReadKeyring(), "Grüße 456") << "one entry, replaced";
  store.ClearKeyring();
  try {
    store.ReadKeyring();
    ADD_FAILURE() << "read a password that was cleared";
  } catch (const EPasswordUnavailable& e) {
    EXPECT_NE(e.Message().find("holds no archive password"), std::string::npos) << e.Message();
  }
  EXPECT_NO_THROW(store.ClearKeyring()) << "clearing none is no failure";
  if (earlier) {
    ::setenv("DBUS_SESSION_BUS_ADDRESS", kept.c_str(), 1);
  } else {
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
  }
}

}  // namespace
}  // namespace pw
