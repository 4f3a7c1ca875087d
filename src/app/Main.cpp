// Process entry.
#include <windows.h>

#include "app/Reporting.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    RegisterAppEventSource();
    return 0;
}
