// What must hold for any bytes given to the task file reader; shared by the
// fuzzer and the test that replays its corpus.
#pragma once

#include <cstddef>
#include <cstdint>

namespace orvanta::testing {

// Reads `data` as a task file and aborts if the result claims more than the
// bytes hold or breaks the layout's rules.
void CheckTaskFileBytes(const std::uint8_t* data, std::size_t size);

}  // namespace orvanta::testing
