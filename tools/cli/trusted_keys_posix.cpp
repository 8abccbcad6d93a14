#include "tools/cli/trusted_keys.h"

std::string DefaultTrustedKeysFolder() {
  return "/etc/firmware-updater/trusted-keys";
}
