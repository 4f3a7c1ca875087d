// Texts of the serial line settings as the Hardware page shows them. The
// values come from the registry, so any number may turn up; one that has no
// text is shown as the plain number rather than used as a table index.
#pragma once

#include <cstddef>
#include <cstdint>

// 0 "No parity", 1 "Odd parity", 2 "Even parity", 3 "Mark parity",
// 4 "Space parity", anything else as "%u". True when the text fitted.
bool ParityText(uint32_t parity, char* buffer, size_t size);

// 0 "One stop bit", 1 "One half stop bit", 2 "Two stop bits", anything
// else as "%u".
bool StopBitsText(uint32_t stopBits, char* buffer, size_t size);
