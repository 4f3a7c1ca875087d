#include "ui/LineSettingsText.h"

#include <iterator>

#include "base/BoundedText.h"

namespace {

// Indexed by the values of the serial line settings (NOPARITY..SPACEPARITY,
// ONESTOPBIT..TWOSTOPBITS).
const char* const kParityTexts[] = {"No parity", "Odd parity", "Even parity", "Mark parity", "Space parity"};
const char* const kStopBitTexts[] = {"One stop bit", "One half stop bit", "Two stop bits"};

template <size_t N> bool TableText(const char* const (&table)[N], uint32_t value, char* buffer, size_t size)
{
    if (value < std::size(table)) return CopyBounded(buffer, size, table[value]);
    return FormatBounded(buffer, size, "%u", static_cast<unsigned>(value));
}

} // namespace

bool ParityText(uint32_t parity, char* buffer, size_t size)
{
    return TableText(kParityTexts, parity, buffer, size);
}

bool StopBitsText(uint32_t stopBits, char* buffer, size_t size)
{
    return TableText(kStopBitTexts, stopBits, buffer, size);
}
