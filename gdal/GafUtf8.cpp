#include "GafUtf8.h"

#include "platform/CodePage.h"
#include "platform/MultiByte.h"

namespace kro {

bool IsValidUtf8(const std::string& text) {
  if (IsAsciiRun(text.data(), text.size())) return true;
  for (size_t i = 0; i < text.size();) {
    const size_t step = MbCharLength(text.data() + i, text.size() - i);
    // A character of one byte above ASCII is a byte that starts no valid sequence.
    if (step == 1 && static_cast<unsigned char>(text[i]) >= 0x80) return false;
    i += step;
  }
  return true;
}

bool RepairUtf8(std::string& text) {
  if (IsValidUtf8(text)) return false;
  // The conversion to UTF-16 turns every invalid byte into U+FFFD.
  const std::u16string wide = MultiByteToWide(text.data(), text.size());
  text = WideToMultiByte(wide.data(), wide.size());
  return true;
}

}  // namespace kro
