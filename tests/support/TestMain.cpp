// Entry point of the Windows-side tests: plain GoogleTest, but crashes and
// failed assertions must never pop up a dialog that would stall the bench.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/Wiring.h"

int main(int argc, char** argv)
{
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    ConnectLayers();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
