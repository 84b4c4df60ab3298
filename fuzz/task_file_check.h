// What must hold for any bytes given to the task file reader; shared by the
// fuzzer and the test that replays its corpus.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace orvanta::testing {

// Reads `data` as a task file and aborts if the result claims more than the
// bytes hold or breaks the layout's rules.
void CheckTaskFileBytes(const std::uint8_t* data, std::size_t size);

// Where `bytes` are a whole task file, writes them to `path`, changes the
// address with RewriteAddress and aborts unless the file then holds exactly
// the old bytes with the new length and address in place of the old ones,
// as worked out here from the layout, not with the program's own code.
void CheckRewriteOf(const std::string& bytes, const std::string& path);

}  // namespace orvanta::testing
