// The registry, read only: default values of keys under two roots.
#pragma once

#include "platform/Services.h"

#include <memory>
#include <string>

namespace pw {

enum class TRegistryRoot { rrLocalMachine, rrClassesRoot };

// An open key; destroying it releases it.
class IRegistryKey {
 public:
  virtual ~IRegistryKey() = default;
  // The key's default value as stored, without expanding anything. False
  // when the key has no default value; fails with ERegistryError when the
  // value is there but is not text.
  virtual bool ReadDefaultValue(std::string& value) = 0;
};

class IRegistry {
 public:
  virtual ~IRegistry() = default;
  // Opens the key for reading; null when it does not exist or cannot be opened.
  virtual std::unique_ptr<IRegistryKey> OpenKey(TRegistryRoot root, const std::string& path) = 0;
};

// The implementation this build provides.
template <>
IRegistry& DefaultService<IRegistry>();

}  // namespace pw
