// The end of the process when a system object cannot be created.
#pragma once

// Writes event 0xe02a0005 with detail (for example "OutOfMemory -
// CommProt2.m_hRecThread"), shows message 0xa02a002f modally and ends the
// process with exit code 1.
[[noreturn]] void FatalCreationFailure(const char* detail);
