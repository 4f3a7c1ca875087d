// Process entry. Without a command the program runs as it always has, its
// windows hidden; a command of a setup script (/export, /import, /status,
// /?) does its one job and ends with its exit code.
#include <windows.h>

#include "app/CommandLine.h"
#include "app/CommandRun.h"
#include "app/Startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    const CommandRequest request = ParseCommandLine(SplitCommandLine(::GetCommandLineA()));
    if (request.mode != CommandMode::Normal) return RunCommand(request);
    return RunApplication(instance, request.ignored);
}
