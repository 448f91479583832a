// The keyring is the Credential Manager (a generic credential of the user's
// own, its target "Packetwright/archive password"); the password file is an
// ordinary file of the user's profile, whose access list Windows gives its
// owner alone: no mode bits to check.
#include <windows.h>
#include <wincred.h>

#include <string>

#include "platform/PasswordStore.h"
#include "platform/Services.h"
#include "platform/TextCodec.h"

namespace pw {

namespace {

std::wstring Wide(const std::string& text) {
  const std::u16string units = Local8BitToUtf16(text);
  return std::wstring(units.begin(), units.end());
}

std::wstring Target() {
  return Wide(std::string(kKeyringService) + "/" + kKeyringKey);
}

std::string SystemReason(DWORD code) {
  char* text = nullptr;
  FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                     FORMAT_MESSAGE_IGNORE_INSERTS,
                 nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string reason = text ? text : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r' || reason.back() == '.')) {
    reason.pop_back();
  }
  return reason;
}

class TWin32PasswordStore final : public IPasswordStore {
 public:
  std::string ReadKeyring() override {
    PCREDENTIALW credential = nullptr;
    if (!CredReadW(Target().c_str(), CRED_TYPE_GENERIC, 0, &credential)) {
      const DWORD error = GetLastError();
      if (error == ERROR_NOT_FOUND) {
        throw EPasswordUnavailable(
            "Cannot read the archive password from the Credential Manager: it holds none; set "
            "one with packetwright-cli password set");
      }
      throw EPasswordUnavailable("Cannot read the archive password from the Credential Manager: " +
                                 SystemReason(error));
    }
    const auto* units = reinterpret_cast<const char16_t*>(credential->CredentialBlob);
    const std::u16string text(units, credential->CredentialBlobSize / sizeof(char16_t));
    SecureZeroMemory(credential->CredentialBlob, credential->CredentialBlobSize);
    CredFree(credential);
    return Utf16ToLocal8Bit(text);
  }

  void WriteKeyring(const std::string& password) override {
    std::u16string units = Local8BitToUtf16(password);
    std::wstring target = Target();
    std::wstring user = L"Packetwright";
    CREDENTIALW credential{};
    credential.Type = CRED_TYPE_GENERIC;
    credential.TargetName = target.data();
    credential.CredentialBlobSize = static_cast<DWORD>(units.size() * sizeof(char16_t));
    credential.CredentialBlob = reinterpret_cast<LPBYTE>(units.data());
    credential.Persist = CRED_PERSIST_LOCAL_MACHINE;
    credential.UserName = user.data();
    const BOOL written = CredWriteW(&credential, 0);
    const DWORD error = GetLastError();
    SecureZeroMemory(units.data(), units.size() * sizeof(char16_t));
    if (!written) {
      throw EPasswordUnavailable("Cannot keep the archive password in the Credential Manager: " +
                                 SystemReason(error));
    }
  }

  void ClearKeyring() override {
    if (CredDeleteW(Target().c_str(), CRED_TYPE_GENERIC, 0)) return;
    const DWORD error = GetLastError();
    if (error == ERROR_NOT_FOUND) return;
    throw EPasswordUnavailable(
        "Cannot take the archive password out of the Credential Manager: " + SystemReason(error));
  }

  std::string ReadFile(const std::string& path) override {
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      throw EPasswordUnavailable("Cannot read the password file " + path + ": " +
                                 SystemReason(GetLastError()));
    }
    char buffer[kLongestPassword + 2];
    DWORD n = 0;
    const BOOL read = ::ReadFile(file, buffer, sizeof buffer, &n, nullptr);
    CloseHandle(file);
    if (!read) {
      throw EPasswordUnavailable("Cannot read the password file " + path + ": " +
                                 SystemReason(GetLastError()));
    }
    const std::string bytes(buffer, n);
    const std::string password = bytes.substr(0, bytes.find_first_of("\r\n"));
    SecureZeroMemory(buffer, sizeof buffer);
    if (password.empty()) throw EPasswordUnavailable("The password file " + path + " holds none");
    const std::string why = PasswordProblem(password);
    if (!why.empty()) throw EPasswordUnavailable("The password file " + path + ": " + why);
    return password;
  }

  void WriteFile(const std::string& path, const std::string& password) override {
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      throw EPasswordUnavailable("Cannot write the password file " + path + ": " +
                                 SystemReason(GetLastError()));
    }
    const std::string bytes = password + "\r\n";
    DWORD n = 0;
    const BOOL written = ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &n,
                                     nullptr) &&
                         n == bytes.size();
    const DWORD error = GetLastError();
    CloseHandle(file);
    if (!written) {
      throw EPasswordUnavailable("Cannot write the password file " + path + ": " +
                                 SystemReason(error));
    }
  }
};

}  // namespace

template <>
IPasswordStore& DefaultService<IPasswordStore>() {
  static TWin32PasswordStore instance;
  return instance;
}

bool StandardInputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

std::string ReadHiddenLine(const std::string& prompt) {
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), prompt.data(), static_cast<DWORD>(prompt.size()),
            &written, nullptr);
  DWORD before = 0;
  const bool console = GetConsoleMode(input, &before) != 0;
  if (console) SetConsoleMode(input, before & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
  std::string line;
  char c;
  DWORD n = 0;
  while (::ReadFile(input, &c, 1, &n, nullptr) && n == 1 && c != '\n') {
    if (c != '\r') line += c;
  }
  if (console) SetConsoleMode(input, before);
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), "\r\n", 2, &written, nullptr);
  return line;
}

// The Credential Manager needs nothing of the program.
TKeyringSession::TKeyringSession(int&, char**) {}
TKeyringSession::~TKeyringSession() = default;

}  // namespace pw
