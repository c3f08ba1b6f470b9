#include "platform/vector_registers.h"

namespace sealmark {

// Every POSIX system that this build targets saves them: they are part of
// the x86-64 ABI, and 32-bit Linux has saved them since SSE came out.
bool SystemSavesSseRegisters() {
  return true;
}

}  // namespace sealmark
