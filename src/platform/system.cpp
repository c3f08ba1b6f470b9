#include "platform/system.h"

#include <new>

namespace sealmark {

std::unique_ptr<unsigned char[]> System::ObtainMemory(std::size_t size) {
  return std::unique_ptr<unsigned char[]>(new (std::nothrow) unsigned char[size]);
}

}  // namespace sealmark
