// The mutex that lets one run of the kit of a user's go at a time.
#pragma once

#include <string>
#include <vector>

#include "platform/windows_api.h"
// After <windows.h>.
#include <sddl.h>

namespace sealmark::kit {

// The name of the mutex: in Global\, which every session sees (remote
// desktop, SSH, a scheduled task), since the user's settings and temporary
// folder are the same in each; named by the user's SID, as each user's are
// their own. Empty where the SID cannot be read.
inline std::wstring OneRunPerUser() {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
    return {};
  }
  std::vector<char> user(512);
  DWORD size = 0;
  wchar_t* sid = nullptr;
  const bool read =
      GetTokenInformation(token, TokenUser, user.data(), static_cast<DWORD>(user.size()), &size) &&
      ConvertSidToStringSidW(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid);
  CloseHandle(token);
  if (!read) {
    return {};
  }
  const std::wstring name = std::wstring(L"Global\\Sealmark test kit ") + sid;
  LocalFree(sid);
  return name;
}

}  // namespace sealmark::kit
