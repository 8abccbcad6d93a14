#include "ui/file_dialog.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

bool FileOpenResult::InitialNameRefused() const {
  return error == FNERR_INVALIDFILENAME;
}

FileOpenResult RunFileOpenDialog(HWND owner, const std::string& filter,
                                 const char* defaultExtension, const std::string& initialName) {
  // The platform wants the filter's parts separated and ended by NUL characters.
  std::string filterParts = filter;
  std::replace(filterParts.begin(), filterParts.end(), '|', '\0');

  std::vector<char> name(std::max<size_t>(initialName.size() + 1, 4096), '\0');
  std::copy(initialName.begin(), initialName.end(), name.begin());

  OPENFILENAMEA request = {};
  request.lStructSize = sizeof(request);
  request.hwndOwner = owner;
  request.lpstrFilter = filterParts.c_str();
  request.nFilterIndex = 1;
  request.lpstrFile = name.data();
  request.nMaxFile = static_cast<DWORD>(name.size());
  request.lpstrDefExt = defaultExtension;
  request.Flags = OFN_EXPLORER | OFN_HIDEREADONLY;

  FileOpenResult result;
  result.chosen = GetOpenFileNameA(&request) != FALSE;
  if (result.chosen) {
    result.path = name.data();
  } else {
    result.error = CommDlgExtendedError();
  }
  return result;
}
