// Process entry. The command line and the show flag are not used: the
// program has no command-line interface and starts with its windows hidden.
#include <windows.h>

#include "app/Startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return RunApplication(instance);
}
