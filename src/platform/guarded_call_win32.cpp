#include "platform/guarded_call.h"

#include "platform/windows_api.h"

namespace sealmark {

// The error mode is process-wide, so it is set around each single call.
unsigned long RunGuarded(void (*invoke)(void*), void* context) {
  const UINT previous = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  SetLastError(0);
  invoke(context);
  const DWORD error = GetLastError();
  SetErrorMode(previous);
  return error;
}

}  // namespace sealmark
