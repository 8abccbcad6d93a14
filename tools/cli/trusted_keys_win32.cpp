#include <windows.h>

#include <vector>

#include "tools/cli/trusted_keys.h"

std::string DefaultTrustedKeysFolder() {
  std::vector<char> path(MAX_PATH);
  DWORD length = 0;
  // A longer path than the buffer is cut short: grow it until the name fits.
  while ((length = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
             path.size() &&
         path.size() < 32768) {
    path.resize(path.size() * 2);
  }
  std::string folder(path.data(), length);
  const size_t slash = folder.find_last_of("\\/");
  folder = slash == std::string::npos ? "" : folder.substr(0, slash + 1);
  return folder + "trusted-keys";
}
