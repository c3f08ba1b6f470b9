#include "platform/guarded_call.h"

#include <cerrno>

namespace sealmark {

// POSIX shows no dialogs of its own; the guard only reads errno.
unsigned long RunGuarded(void (*invoke)(void*), void* context) {
  errno = 0;
  invoke(context);
  return static_cast<unsigned long>(errno);
}

}  // namespace sealmark
