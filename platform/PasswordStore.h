// Where the archives' password is kept outside the settings document: the
// system's keyring (the Secret Service on the session bus, Windows's
// Credential Manager), or a password file of the user's choosing, readable
// by its owner alone, for scheduled runs that no keyring answers.
#pragma once

#include <string>

#include "platform/Errors.h"
#include "platform/Services.h"

namespace pw {

// A password that cannot be had or kept: the keyring does not answer, holds
// none, or is locked; the file is missing, too open, or holds none. The
// message says which and why.
class EPasswordUnavailable : public Exception {
 public:
  using Exception::Exception;
  const char* ClassName() const override { return "EPasswordUnavailable"; }
};

class IPasswordStore {
 public:
  virtual ~IPasswordStore() = default;
  // The password kept in the keyring; EPasswordUnavailable when none is.
  virtual std::string ReadKeyring() = 0;
  // Keeps password in the keyring, in place of one kept there before.
  virtual void WriteKeyring(const std::string& password) = 0;
  // Takes it out again; none there is no failure.
  virtual void ClearKeyring() = 0;
  // The password the file holds (its first line); EPasswordUnavailable for a
  // file that is missing, empty, no regular file, or that anyone but its
  // owner may read or write (judged by its owner and mode bits, not by what
  // this user may do: root may read anything).
  virtual std::string ReadFile(const std::string& path) = 0;
  // Writes the file with password and a line end, for its owner alone (mode
  // 600 on POSIX, whatever the umask), in place of what it held.
  virtual void WriteFile(const std::string& path, const std::string& password) = 0;
};

template <>
IPasswordStore& DefaultService<IPasswordStore>();

// What the keyring needs of a program without an application object of its
// own (the companion): on POSIX the Qt application that the keychain
// library's event loops need, made on the main thread for as long as the
// object lives, the C locale left as it was; on Windows nothing. Without
// one, and without the window's, the keyring fails with a clear error.
class TKeyringSession {
 public:
  TKeyringSession(int& argc, char** argv);
  ~TKeyringSession();
  TKeyringSession(const TKeyringSession&) = delete;
  TKeyringSession& operator=(const TKeyringSession&) = delete;

 private:
  void* application_ = nullptr;
};

// Whether standard input is a terminal (a console on Windows).
bool StandardInputIsTerminal();
// A line typed at the terminal without echo, after prompt on standard error.
std::string ReadHiddenLine(const std::string& prompt);

// Where the keyring keeps the password: its service and its key.
inline constexpr char kKeyringService[] = "Packetwright";
inline constexpr char kKeyringKey[] = "archive password";

// Why password cannot be an archive password, or "": one that is empty,
// holds a line end or a control character (7-Zip reads one line), or is
// longer than kLongestPassword bytes.
std::string PasswordProblem(const std::string& password);
inline constexpr size_t kLongestPassword = 1024;

// Why a password file of this mode and owner may not be read, or "": anyone
// but its owner may read or write it, or another user owns it.
std::string PasswordFileModeProblem(const std::string& path, unsigned mode, unsigned owner,
                                    unsigned reader);

}  // namespace pw
