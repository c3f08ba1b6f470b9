// verify_trust FILE: asks WinVerifyTrust, with no user interface and no
// revocation check, whether the Authenticode signature of FILE (an ASCII
// path) is intact, and prints the answer. Ends with 0 where it is:
// ERROR_SUCCESS, or CERT_E_UNTRUSTEDROOT, which Windows answers where it does
// not trust the root, as for the tests' own authority; with 1 otherwise.
#include <windows.h>
// After windows.h, whose types they use.
#include <softpub.h>
#include <wintrust.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: verify_trust FILE\n");
    return 2;
  }
  const std::string name(argv[1]);
  const std::wstring file(name.begin(), name.end());
  WINTRUST_FILE_INFO fileInfo = {};
  fileInfo.cbStruct = sizeof fileInfo;
  fileInfo.pcwszFilePath = file.c_str();
  WINTRUST_DATA data = {};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &fileInfo;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE | WTD_CACHE_ONLY_URL_RETRIEVAL;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG result = WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  const bool intact = result == ERROR_SUCCESS || result == CERT_E_UNTRUSTEDROOT;
  std::printf("%s: 0x%08lX%s\n", argv[1], static_cast<unsigned long>(result),
              intact                         ? " intact"
              : result == TRUST_E_BAD_DIGEST ? " TRUST_E_BAD_DIGEST"
                                             : "");
  return intact ? 0 : 1;
}
