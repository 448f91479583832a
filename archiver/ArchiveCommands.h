// Archiver command text for the directories of a settings document, read
// from the night's plan: the archive folder, the mask arguments, the
// parameter string and the full command with its folder change.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "model/HoardkeeperClasses.h"

namespace pw {

// A path made into a flat file name: ':' removed, '\' turned into '_'; in
// the POSIX style the leading "/" dropped and every other "/" made "_".
std::string PathToFileName(const std::string& path);

class TExtensionCategories {
 public:
  TExtensionCategories(std::initializer_list<TExtensionCategory> categories) {
    for (const TExtensionCategory c : categories) bits_ |= Bit(c);
  }
  bool Contains(TExtensionCategory c) const { return (bits_ & Bit(c)) != 0; }

 private:
  static uint32_t Bit(TExtensionCategory c) { return c < 32 ? 1u << c : 0; }
  uint32_t bits_ = 0;
};

// OutputPath without one trailing "\", plus "\" and the formatted pattern when
// there is one. With forceCreate the folder is created with its parents.
std::string GetArchiveDirectory(const TbkManager& manager, bool forceCreate);
std::string GetMaskList(const TbkManager& manager, const TbkDirectory& directory,
                        TExtensionCategories categories);
std::string GetArchiverParameters(const TbkManager& manager, const TbkDirectory& directory,
                                  bool forceCreate);
// The directory's command as the memo shows it; for a directory whose job
// must not run (a clash), why not.
std::string GetCommandText(const TbkManager& manager, const TbkDirectory& directory);

// The folder part of a path: up to and including its last separator (in the
// Windows style also "/" or ":").
std::string ExtractFilePath(const std::string& path);

// Creates every missing level of dir, parents first; names shorter than three
// characters count as existing and failures are not reported. An empty name
// fails with "Unable to create directory".
void ForceDirectories(const std::string& dir);

}  // namespace pw
