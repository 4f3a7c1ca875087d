#include "ui/ConfirmBox.h"

#include "base/BoundedText.h"
#include "base/Reporting.h"

// Interim question box until the touch-sized "Warning" dialog exists.
int ConfirmBox(HWND owner, uint32_t messageId)
{
    char text[kTextMax] = {};
    FormatAppMessage(messageId, text, sizeof text);
    const int answer = ::MessageBoxA(owner, text, "Warning", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2);
    if (answer == 0) return -1;
    return answer == IDYES ? 1 : 2;
}
