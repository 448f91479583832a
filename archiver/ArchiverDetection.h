// Finding the known archivers through their App Paths registry keys (and,
// where the system has none, on PATH), and their standard option sets.
#pragma once

#include <string>

#include "model/HoardkeeperClasses.h"

namespace pw {

enum TArchiverKind { akWinZip = 0, akWinRar = 1, ak7Zip = 2 };

// True when the App Paths key exists and opens; path then holds its default
// value (empty when it has none). A missing key, or a default value that is
// not text, leaves path alone. In the POSIX style WinRAR is also found as
// "rar" on PATH.
bool FindWinRar(std::string& path);
bool FindWinZipCommandLine(std::string& path);
bool FindWinZip(std::string& path);
// The command-line program beside the file manager that the App Paths key of
// 7zFM.exe names ("7z.exe", or "7zz" in the POSIX style); else, in the POSIX
// style, "7zz" or "7z" on PATH.
bool Find7Zip(std::string& path);

bool GetWinRarOptions(std::string& exeFileName, std::string& params, std::string& excludeKey);
bool GetWinZipOptions(std::string& exeFileName, std::string& params, std::string& excludeKey);
// "a -r" and "-x!".
bool Get7ZipOptions(std::string& exeFileName, std::string& params, std::string& excludeKey);

// Sets the three options through the document's setters when found.
bool ApplyWinRarOptions(TbkManager& manager);
bool ApplyWinZipOptions(TbkManager& manager);
bool Apply7ZipOptions(TbkManager& manager);
bool ApplyArchiverOptions(TbkManager& manager, TArchiverKind kind);

// The description of a file type (ext with its leading dot), or empty.
void GetFileTypeDescription(const std::string& ext, std::string& description);

}  // namespace pw
