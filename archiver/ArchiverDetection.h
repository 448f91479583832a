// Finding the two known archivers through their App Paths registry keys, and
// their standard option sets.
#pragma once

#include <string>

#include "model/HoardkeeperClasses.h"

namespace pw {

enum TArchiverKind { akWinZip = 0, akWinRar = 1 };

// True when the App Paths key exists and opens; path then holds its default
// value (empty when it has none). A missing key leaves path alone.
bool FindWinRar(std::string& path);
bool FindWinZipCommandLine(std::string& path);
bool FindWinZip(std::string& path);

bool GetWinRarOptions(std::string& exeFileName, std::string& params, std::string& excludeKey);
bool GetWinZipOptions(std::string& exeFileName, std::string& params, std::string& excludeKey);

// Sets the three options through the document's setters when found.
bool ApplyWinRarOptions(TbkManager& manager);
bool ApplyWinZipOptions(TbkManager& manager);
bool ApplyArchiverOptions(TbkManager& manager, TArchiverKind kind);

// The description of a file type (ext with its leading dot), or empty.
void GetFileTypeDescription(const std::string& ext, std::string& description);

}  // namespace pw
