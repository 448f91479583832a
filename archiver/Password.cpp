#include "archiver/Password.h"

#include "archiver/Dialect.h"
#include "platform/PasswordStore.h"
#include "platform/Services.h"

namespace pw {

namespace {

bool IsPasswordSwitch(const std::string& word) {
  // 7-Zip reads its switches in either letter case.
  return word.size() >= 2 && word[0] == '-' && (word[1] == 'p' || word[1] == 'P');
}

}  // namespace

std::string PasswordPlaceDescription(const TPasswordPlace& place) {
  switch (place.keptIn) {
    case TPasswordKeeping::pkKeyring:
      return "the keyring";
    case TPasswordKeeping::pkFile:
      return "the password file " + place.file;
    case TPasswordKeeping::pkNone:
      break;
  }
  return "no password";
}

std::string PasswordJobProblem(const TbkManager& manager, TArchiverFamily family) {
  if (!manager.Password().InUse()) return {};
  if (family != TArchiverFamily::af7Zip) {
    return "The archive password is for 7-Zip's archives only: choose 7-Zip, or give this "
           "archiver's own password switch instead";
  }
  if (PasswordInSwitches(manager.ArchiverParams())) {
    return "The archiver switches hold a password as well: take the -p switch out of them";
  }
  return {};
}

std::string ReadPassword(const TPasswordPlace& place) {
  IPasswordStore& store = Get<IPasswordStore>();
  switch (place.keptIn) {
    case TPasswordKeeping::pkKeyring:
      return store.ReadKeyring();
    case TPasswordKeeping::pkFile:
      return store.ReadFile(place.file);
    case TPasswordKeeping::pkNone:
      break;
  }
  throw EPasswordUnavailable("No archive password is set");
}

std::optional<std::string> PasswordInput(const TArchiveJob& job) {
  if (!job.password.InUse()) return std::nullopt;
  const std::string password = ReadPassword(job.password);
  const std::string problem = PasswordProblem(password);
  if (!problem.empty()) {
    throw EPasswordUnavailable(problem + " (" + PasswordPlaceDescription(job.password) + ")");
  }
  return password + "\n";
}

std::string ScriptPasswordProblem(const TArchiveJob& job) {
  if (job.password.keptIn != TPasswordKeeping::pkKeyring) return {};
  return "The archive password is kept in the keyring, which a script cannot read: choose a "
         "password file for scripts (packetwright-cli password set --file PATH)";
}

std::optional<std::string> PasswordInSwitches(const std::string& params) {
  std::optional<std::string> password;
  for (const std::string& word : Dialect().SplitParameters(params)) {
    if (IsPasswordSwitch(word) && word.size() > 2) password = word.substr(2);
  }
  return password;
}

// The words as typed: runs of characters outside quotes split at blanks,
// quotes kept, so that what stays reads as before.
std::string SwitchesWithoutPassword(const std::string& params) {
  std::string out;
  size_t i = 0;
  while (i < params.size()) {
    while (i < params.size() && (params[i] == ' ' || params[i] == '\t')) ++i;
    if (i >= params.size()) break;
    const size_t start = i;
    char quote = 0;
    for (; i < params.size(); ++i) {
      const char c = params[i];
      if (quote) {
        if (c == quote) quote = 0;
      } else if (c == '"' || c == '\'') {
        quote = c;
      } else if (c == ' ' || c == '\t') {
        break;
      }
    }
    const std::string raw = params.substr(start, i - start);
    const std::vector<std::string> words = Dialect().SplitParameters(raw);
    if (words.size() == 1 && IsPasswordSwitch(words[0])) continue;
    out += (out.empty() ? "" : " ") + raw;
  }
  return out;
}

std::optional<std::string> TakePasswordOutOfSwitches(TbkManager& manager) {
  const std::optional<std::string> password = PasswordInSwitches(manager.ArchiverParams());
  if (!password) return std::nullopt;
  std::string switches = SwitchesWithoutPassword(manager.ArchiverParams());
  std::string kept;
  bool names = false;
  for (const std::string& raw : SplitAt(switches + " ", " ")) {
    if (raw.empty()) continue;
    if (raw == "-mhe=on" || raw == "-mhe") {
      names = true;
      continue;
    }
    kept += (kept.empty() ? "" : " ") + raw;
  }
  manager.SetArchiverParams(kept);
  if (names) manager.SetEncryptNames(true);
  return password;
}

std::string PasswordInSwitchesWarning(const std::string& params) {
  if (!PasswordInSwitches(params)) return {};
  return "The archiver switches hold a password (-p), which the settings file, every script and "
         "the archiver's command line show to others: move it to the keyring or a password file";
}

}  // namespace pw
