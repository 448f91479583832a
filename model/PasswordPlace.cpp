#include "model/PasswordPlace.h"

namespace pw {

namespace {
constexpr std::string_view kKeyring = "keyring";
constexpr std::string_view kFilePrefix = "file:";
}  // namespace

std::string PasswordPlaceText(const TPasswordPlace& place) {
  switch (place.keptIn) {
    case TPasswordKeeping::pkNone:
      return {};
    case TPasswordKeeping::pkKeyring:
      return std::string(kKeyring);
    case TPasswordKeeping::pkFile:
      return std::string(kFilePrefix) + place.file;
  }
  return {};
}

std::optional<TPasswordPlace> ParsePasswordPlace(std::string_view text) {
  TPasswordPlace place;
  if (text.empty()) return place;
  if (text == kKeyring) {
    place.keptIn = TPasswordKeeping::pkKeyring;
    return place;
  }
  if (text.substr(0, kFilePrefix.size()) == kFilePrefix && text.size() > kFilePrefix.size()) {
    place.keptIn = TPasswordKeeping::pkFile;
    place.file = std::string(text.substr(kFilePrefix.size()));
    return place;
  }
  return std::nullopt;
}

}  // namespace pw
