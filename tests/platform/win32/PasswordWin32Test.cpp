// The Credential Manager keeps, reads and clears the archive password, and a
// program started on Windows reads the bytes it was given on its standard
// input, for a waited run and for a start nothing waits for.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "platform/PasswordStore.h"
#include "platform/Process.h"
#include "tests/support/TestSupport.h"

namespace pw {
namespace {

using namespace pw::test;

TEST(CredentialManager, KeepsReadsAndClearsThePassword) {
  IPasswordStore& store = Get<IPasswordStore>();
  store.WriteKeyring("Secret 123");
  EXPECT_EQ(store.ReadKeyring(), "Secret 123");
  store.WriteKeyring("Other 456");
  EXPECT_EQ(store.ReadKeyring(), "Other 456") << "one entry, replaced";
  store.ClearKeyring();
  EXPECT_THROW(store.ReadKeyring(), EPasswordUnavailable);
  EXPECT_NO_THROW(store.ClearKeyring()) << "clearing none is no failure";
}

TEST(PasswordFileWin32, HoldsThePasswordAsItsFirstLine) {
  const TTempFolder temp("pwfile");
  IPasswordStore& store = Get<IPasswordStore>();
  const std::string file = (temp / "archive.pw").string();
  store.WriteFile(file, "Secret 123");
  EXPECT_EQ(store.ReadFile(file), "Secret 123");
  EXPECT_THROW(store.ReadFile((temp / "missing").string()), EPasswordUnavailable);
}

TEST(StandardInputWin32, ComesFromMemoryForEveryStart) {
  const TTempFolder temp("pwstdin");
  const fs::path record = temp / "record", given = temp / "given";
  const TRecording recording(record);
  const std::string name = given.string();
  SetEnvironmentVariableA("PW_RECORD_GIVEN", name.c_str());
  TRunOptions options;
  options.input = std::string("Secret 123\n");
  options.output = [](int, const std::string&) {};
  EXPECT_EQ(Get<IProcessRunner>().RunAndWait(RecorderPath(), std::vector<std::string>{"a"}, options),
            0);
  std::string handed = ReadFile(given);
  EXPECT_EQ(handed.substr(handed.find("\n\n") + 2), "Secret 123\n");
  fs::remove(given);
  Get<IProcessRunner>().Start(RecorderPath(), std::vector<std::string>{"a"}, {}, nullptr, {},
                              std::string("Other\n"));
  ASSERT_TRUE(WaitForFile(given));
  for (int i = 0; i < 50 && ReadFile(given).find("Other") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  handed = ReadFile(given);
  EXPECT_EQ(handed.substr(handed.find("\n\n") + 2), "Other\n");
  SetEnvironmentVariableA("PW_RECORD_GIVEN", nullptr);
}

}  // namespace
}  // namespace pw
