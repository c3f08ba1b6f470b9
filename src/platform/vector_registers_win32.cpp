#include "platform/vector_registers.h"

#include "platform/system_libraries_win32.h"

namespace sealmark {

// Windows reports SSE2 (PF_XMMI64_INSTRUCTIONS_AVAILABLE) from XP on, and only
// where it has enabled the SSE state, which it then saves with every thread
// switch. Windows NT 4.0, which knows no SSE, and Windows 2000, which does
// not know this feature, answer no: they get the portable forms. The call is
// bound at run time, as the program binds everything that is not shown to be
// in the kernel32 of both Windows NT 4.0 and Windows 98, where the program
// must start to show its refusal; where it is missing, the answer is no.
bool SystemSavesSseRegisters() {
  const auto isProcessorFeaturePresent =
      KernelEntryPoint<decltype(&IsProcessorFeaturePresent)>("IsProcessorFeaturePresent");
  return isProcessorFeaturePresent != nullptr &&
         isProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0;
}

}  // namespace sealmark
