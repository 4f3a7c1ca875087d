#include "app/Fatal.h"

#include <windows.h>

#include "app/Reporting.h"
#include "Messages.h"

void FatalCreationFailure(const char* detail)
{
    ReportAppEvent(MSG_FATAL_ERROR, detail);
    ShowMessageBoxModal(MSG_OBJECT_CREATION_FAILED);
    ::ExitProcess(1);
}
