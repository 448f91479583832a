// A stand-in for the keyring and the password files, for tests: put it in
// place with ScopedOverride<IPasswordStore>.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/PasswordStore.h"

namespace pw::fakes {

class FakePasswordStore final : public IPasswordStore {
 public:
  std::string ReadKeyring() override {
    if (!keyringProblem.empty()) throw EPasswordUnavailable(keyringProblem);
    if (!keyring) throw EPasswordUnavailable("The keyring holds no archive password");
    return *keyring;
  }
  void WriteKeyring(const std::string& password) override {
    if (!keyringProblem.empty()) throw EPasswordUnavailable(keyringProblem);
    keyring = password;
  }
  void ClearKeyring() override {
    if (!keyringProblem.empty()) throw EPasswordUnavailable(keyringProblem);
    keyring.reset();
  }
  std::string ReadFile(const std::string& path) override {
    const auto found = files.find(path);
    if (found == files.end()) throw EPasswordUnavailable("No password file " + path);
    return found->second;
  }
  void WriteFile(const std::string& path, const std::string& password) override {
    files[path] = password;
  }

  std::optional<std::string> keyring;
  // When not empty, every call to the keyring fails with it (locked, absent).
  std::string keyringProblem;
  std::map<std::string, std::string> files;  // path -> password
};

}  // namespace pw::fakes
