#include "base/Fatal.h"

#include <windows.h>

#include "base/Reporting.h"
#include "Messages.h"

void FatalCreationFailure(const char* detail)
{
    ReportAppEvent(MSG_FATAL_ERROR, detail);
    ShowMessageBoxModal(MSG_OBJECT_CREATION_FAILED);
    ::ExitProcess(1);
}
