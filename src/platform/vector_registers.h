#pragma once

namespace sealmark {

// Whether the system has enabled the SSE instructions and saves their
// registers at every task switch, so that code may use them. A CPU's SSE2
// flag alone does not tell: on a system that predates SSE the instructions
// fault.
bool SystemSavesSseRegisters();

}  // namespace sealmark
