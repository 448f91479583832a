// The archives' password: where the document keeps it, how a job gets it
// (on the archiver's standard input, never in an argument, a variable or a
// file the program writes), and the old way of giving it in the archiver
// switches, which a document is moved on from.
#pragma once

#include <optional>
#include <string>

#include "archiver/ArchiveJob.h"
#include "model/HoardkeeperClasses.h"

namespace pw {

// "the keyring" or "the password file /path"; "no password" for none.
std::string PasswordPlaceDescription(const TPasswordPlace& place);

// Why a job of this archiver cannot be given the document's password, or "":
// only 7-Zip's archives are encrypted this way, and the switches must not
// hold a password of their own as well.
std::string PasswordJobProblem(const TbkManager& manager, TArchiverFamily family);

// The password kept at place; EPasswordUnavailable naming why it cannot be
// had (the keyring locked or absent, the file missing or too open).
std::string ReadPassword(const TPasswordPlace& place);

// What the job's archiver reads on its standard input: the password and a
// line end, fetched now; none for a job without a password.
std::optional<std::string> PasswordInput(const TArchiveJob& job);

// Why a script of the job cannot be written, or "": a password that only
// the keyring holds, which a script cannot read.
std::string ScriptPasswordProblem(const TArchiveJob& job);

// The password that a -p switch of the archiver switches gives (the old
// way, in clear in the settings file), or none; a bare -p gives none.
std::optional<std::string> PasswordInSwitches(const std::string& params);
// The switches without their -p words, each other word as it was typed.
std::string SwitchesWithoutPassword(const std::string& params);
// Takes a password of the switches over: gives it back, and leaves the
// switches without their -p words and without -mhe=on, which becomes
// EncryptNames. None, and nothing changed, where they hold no password.
std::optional<std::string> TakePasswordOutOfSwitches(TbkManager& manager);
// The warning shown for switches that hold a password; "" for none.
std::string PasswordInSwitchesWarning(const std::string& params);

}  // namespace pw
