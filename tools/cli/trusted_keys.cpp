#include "tools/cli/trusted_keys.h"

bool LoadTrustedKeys(const CliOptions& options, TrustedKeys* trusted, std::string* message) {
  if (!options.trustedKeysFolder.empty() &&
      !AddTrustedKeysFolder(options.trustedKeysFolder, trusted, message)) {
    return false;
  }
  for (const std::string& path : options.trustedKeyFiles) {
    if (!AddTrustedKeyFile(path, true, trusted, message)) return false;
  }
  return true;
}
