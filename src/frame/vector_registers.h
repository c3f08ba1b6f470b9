#pragma once

namespace sealmark {

// Whether the system saves the SSE registers of this process at every task
// switch, so that code may keep values in them. A CPU's SSE2 flag alone does
// not tell: a system that predates SSE leaves the registers to whichever
// process runs next.
bool SystemSavesSseRegisters();

}  // namespace sealmark
