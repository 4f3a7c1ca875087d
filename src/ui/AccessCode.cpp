#include "ui/AccessCode.h"

uint32_t AddCodeDigit(uint32_t entered, int digit)
{
    if (digit < 0 || digit > 9) return entered;
    // Unsigned arithmetic: the digit shifted out at the top is simply lost.
    return entered * 16u + static_cast<uint32_t>(digit);
}

uint32_t PackCode(const char* digits)
{
    uint32_t code = 0;
    if (digits == nullptr) return code;
    for (const char* p = digits; *p != '\0'; ++p) {
        if (*p >= '0' && *p <= '9') code = AddCodeDigit(code, *p - '0');
    }
    return code;
}

EnterOutcome DecideEnter(int state, uint32_t entered, uint32_t stored, bool storedDamaged)
{
    if (state == kKeypadNewCode) return EnterOutcome::StoreAccept;
    if (storedDamaged || entered != stored) return EnterOutcome::Refuse;
    return stored != 0 ? EnterOutcome::Accept : EnterOutcome::StoreAccept;
}
