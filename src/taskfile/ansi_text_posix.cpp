#include <iconv.h>

#include <cerrno>

#include "taskfile/ansi_text.h"
#include "taskfile/unicode_text.h"

namespace orvanta {
namespace {

constexpr const char* kAnsiCodePage = "CP936";

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() {
    if (valid()) iconv_close(cd_);
  }

  bool valid() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much of `in` as it can, appending to `out`; `in` is left at
  // the first byte that could not be converted.
  void Convert(std::string_view& in, std::string& out) {
    char buffer[256];
    while (!in.empty()) {
      char* source = const_cast<char*>(in.data());
      std::size_t source_left = in.size();
      char* target = buffer;
      std::size_t target_left = sizeof buffer;
      std::size_t result = iconv(cd_, &source, &source_left, &target, &target_left);
      out.append(buffer, static_cast<std::size_t>(target - buffer));
      in.remove_prefix(in.size() - source_left);
      if (result == static_cast<std::size_t>(-1) && errno != E2BIG) return;
    }
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string AnsiBytesToText(std::string_view bytes) {
  Converter decoder("UTF-8", kAnsiCodePage);
  std::string text;
  while (decoder.valid() && !bytes.empty()) {
    decoder.Convert(bytes, text);
    if (bytes.empty()) break;
    text += "\xEF\xBF\xBD";  // U+FFFD for the byte iconv stopped at
    bytes.remove_prefix(1);
  }
  return text;
}

AnsiEncoding EncodeAnsi(std::string_view text) {
  Converter encoder(kAnsiCodePage, "UTF-8");
  AnsiEncoding result;
  std::string bytes;
  // One character at a time, so each one that cannot be encoded, or was
  // never well-formed, becomes exactly one "?".
  for (char32_t c : Utf8ToCodePoints(text)) {
    std::string one = CodePointsToUtf8(std::u32string_view(&c, 1));
    std::string_view in = one;
    if (c != kReplacementCharacter && encoder.valid()) encoder.Convert(in, bytes);
    if (c == kReplacementCharacter || !encoder.valid() || !in.empty()) {
      bytes += '?';
      if (result.unencodable.find(c) == std::u32string::npos) result.unencodable += c;
    }
  }
  result.bytes = AnsiBytes(std::move(bytes));
  return result;
}

}  // namespace orvanta
