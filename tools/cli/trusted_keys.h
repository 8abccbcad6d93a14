#pragma once
// update-cli's trusted keys: those of the trusted keys folder and those named
// with --trusted-key, against which signed update files are checked
// (engine/update_signature.h).

#include <string>

#include "engine/update_signature.h"
#include "tools/cli/cli_options.h"

// Where the trusted keys folder is: `trusted-keys` beside the program on
// Windows (as the window has it), /etc/firmware-updater/trusted-keys elsewhere,
// where a system's configuration lives.
std::string DefaultTrustedKeysFolder();

// The keys of options.trustedKeysFolder, then those of --trusted-key. False with
// the message for the user (messages 312, 323, 328): a key that cannot be used is
// never passed over.
bool LoadTrustedKeys(const CliOptions& options, TrustedKeys* trusted, std::string* message);
