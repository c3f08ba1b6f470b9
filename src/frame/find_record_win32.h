#pragma once

#include "frame/windows_api.h"

namespace sealmark {

using FindRecord = WIN32_FIND_DATAW;
static_assert(sizeof(FindRecord) == 592);

}  // namespace sealmark
