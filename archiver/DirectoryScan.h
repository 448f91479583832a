// Harvesting file masks from the extensions found in a directory tree.
#pragma once

#include <string>

#include "archiver/MessageWin.h"
#include "model/HoardkeeperClasses.h"

namespace pw {

// "*" followed by the extension of fileName, dot included: report.doc gives
// *.doc, README gives *, notes. gives *.
std::string ExtensionMask(const std::string& fileName);

// Walks dir depth first and appends to extensions one inactive mask, with its
// file-type description, for every extension not yet in the list (letter case
// ignored under the user's locale; the first spelling met wins). Existing
// masks are left as they are. Directories that cannot be listed contribute
// nothing. A directory reached twice, through links or otherwise, is scanned
// once. Shows "Scanning <dir>..." in messageWin, or in a window of its own
// when none is passed.
void ScanDirectory(const std::string& dir, TbkExtensions* extensions,
                   IMessageWin* messageWin = nullptr);

}  // namespace pw
