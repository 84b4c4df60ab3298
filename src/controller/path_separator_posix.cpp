#include "controller/path_separator.h"

namespace orvanta {

bool IsPathSeparator(char32_t c) { return c == U'/'; }

}  // namespace orvanta
