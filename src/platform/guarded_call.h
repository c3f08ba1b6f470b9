#pragma once

namespace sealmark {

// A system call's own result, the error number that the system left for
// it (0 for none), and whether there was one.
template <typename T>
struct GuardedResult {
  T value;
  unsigned long error;
  bool failed;
};

// Runs invoke(context) with the system's own failure dialogs suppressed and
// the error indicator cleared; returns the error number the call left, 0 for
// none. The previous error mode is restored before it returns.
unsigned long RunGuarded(void (*invoke)(void*), void* context);

// Makes the one system call inside `call` through RunGuarded. The call failed
// when it left an error number; callers whose call reports failure through
// its result (an invalid handle, say) judge by that instead.
template <typename Call>
auto GuardedSystemCall(Call call) -> GuardedResult<decltype(call())> {
  GuardedResult<decltype(call())> result{};
  auto invoke = [&result, &call] { result.value = call(); };
  const unsigned long error =
      RunGuarded([](void* context) { (*static_cast<decltype(invoke)*>(context))(); }, &invoke);
  result.error = error;
  result.failed = error != 0;
  return result;
}

}  // namespace sealmark
