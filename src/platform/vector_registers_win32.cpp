#include "platform/vector_registers.h"

#include "platform/system_libraries_win32.h"

namespace sealmark {

// Windows reports SSE2 (PF_XMMI64_INSTRUCTIONS_AVAILABLE) from XP on, and only
// where it has enabled the SSE state, which it then saves with every thread
// switch. Windows NT 4.0, which knows no SSE, and Windows 2000, which does
// not know this feature, answer no: they get the portable forms. The call is
// bound at run time, since Windows 95 does not have it.
bool SystemSavesSseRegisters() {
  const auto isProcessorFeaturePresent =
      KernelEntryPoint<decltype(&IsProcessorFeaturePresent)>("IsProcessorFeaturePresent");
  return isProcessorFeaturePresent != nullptr &&
         isProcessorFeaturePresent(PF_XMMI64_INSTRUCTIONS_AVAILABLE) != 0;
}

}  // namespace sealmark
