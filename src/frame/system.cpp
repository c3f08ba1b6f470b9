#include "frame/system.h"

#include <new>
#include <stdexcept>

namespace sealmark {

bool System::ObtainBuffer(Bytes& buffer, std::size_t size) {
  try {
    buffer.resize(size);
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
}

}  // namespace sealmark
