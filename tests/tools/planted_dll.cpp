// A DLL that stands in for one planted beside a program under a system
// library's name: when a process loads it, it appends a line to planted.log
// in its own folder with the path of that process and its own path.
#include "platform/windows_api.h"

namespace {

void NoteTheHostProcess(HMODULE self) {
  char line[2 * MAX_PATH + 4];
  const DWORD host = GetModuleFileNameA(nullptr, line, MAX_PATH);
  line[host] = ' ';
  char* const own = line + host + 1;
  const DWORD length = GetModuleFileNameA(self, own, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) {
    return;
  }
  lstrcpyA(own + length, "\r\n");
  char log[MAX_PATH + 16];
  lstrcpyA(log, own);
  DWORD folder = length;
  while (folder > 0 && log[folder - 1] != '\\') {
    --folder;
  }
  lstrcpyA(log + folder, "planted.log");
  const HANDLE file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(lstrlenA(line)), &written, nullptr);
    CloseHandle(file);
  }
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    NoteTheHostProcess(self);
  }
  return TRUE;
}
