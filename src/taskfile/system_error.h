// SystemError from the system's own error numbers.
#pragma once

#include <cstdint>

#include "taskfile/status.h"

namespace orvanta {

// The failure `code` (an errno value, or a GetLastError() value on Windows)
// with its kind and the system's words for it.
SystemError SystemErrorFrom(std::int64_t code);

// The same for errno, or GetLastError() on Windows, as it stands now.
SystemError LastSystemError();

}  // namespace orvanta
