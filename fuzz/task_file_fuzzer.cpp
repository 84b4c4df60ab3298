// libFuzzer entry: scripts/fuzz runs it.
#include "fuzz/task_file_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  orvanta::testing::CheckTaskFileBytes(data, size);
  return 0;
}
