// Fuzz target for the access-code packing: arbitrary bytes as typed text.
//
// Invariants checked:
//  - the code depends only on the last eight digit key presses;
//  - leading zeros change nothing;
//  - the code's lower-case hexadecimal form is the last eight digits
//    without leading zeros;
//  - the code matches itself at ENTER and nothing else does.
#include "ui/AccessCode.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string typed(reinterpret_cast<const char*>(data), size);
    // The text stops at an embedded NUL, as a C string would.
    const std::string text = typed.substr(0, typed.find('\0'));
    const uint32_t code = PackCode(text.c_str());

    std::string digits;
    for (char c : text) {
        if (c >= '0' && c <= '9') digits += c;
    }
    const std::string last8 = digits.size() > 8 ? digits.substr(digits.size() - 8) : digits;
    Check(PackCode(last8.c_str()) == code, "only the last eight digits count");
    Check(PackCode(("000" + text).c_str()) == code, "leading zeros do not count");

    char hex[16];
    std::snprintf(hex, sizeof hex, "%x", static_cast<unsigned>(code));
    const size_t firstNonZero = last8.find_first_not_of('0');
    const std::string expected = firstNonZero == std::string::npos ? "0" : last8.substr(firstNonZero);
    Check(expected == hex, "hexadecimal form shows the digits");

    Check(DecideEnter(kKeypadEnterCode, code, code, false) != EnterOutcome::Refuse, "the code opens");
    Check(DecideEnter(kKeypadEnterCode, code ^ 1u, code, false) == EnterOutcome::Refuse,
          "another code does not");
    Check(DecideEnter(kKeypadEnterCode, code, code, true) == EnterOutcome::Refuse,
          "a damaged code never opens");
    return 0;
}
