// Where the archives' password is kept, when the document encrypts them: the
// document holds only this, never the password itself.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace pw {

enum class TPasswordKeeping { pkNone, pkKeyring, pkFile };

struct TPasswordPlace {
  TPasswordKeeping keptIn = TPasswordKeeping::pkNone;
  std::string file;  // the password file's full path, for pkFile

  bool InUse() const { return keptIn != TPasswordKeeping::pkNone; }
  bool operator==(const TPasswordPlace&) const = default;
};

// "" for none, "keyring", or "file:" with the file's path: the form the
// settings file keeps.
std::string PasswordPlaceText(const TPasswordPlace& place);
// PasswordPlaceText's form back; none for anything else (a "file:" without a
// path among it).
std::optional<TPasswordPlace> ParsePasswordPlace(std::string_view text);

}  // namespace pw
