// LcdType1: keys emulated on the output port of a ZMR01 or ZMR02
// controller. Left and Right are a rotary encoder: bits 2 and 3 go through
// their quadrature phases, 5 ms apart so the display samples each one.
#include "lcd/LcdModels.h"

int LcdType1::KeySelect()
{
    static constexpr KeyStep kSteps[] = {{0xFF, 0, false}, {0xFD, 0, false}, {0xFF, 0, false}};
    return RunKeySequence(ModelFit::Zmr01OrZmr02, kSteps);
}

int LcdType1::KeyAuto()
{
    // Bit 0 stays cleared until the next code: the display reads Auto as a
    // level, not a press.
    static constexpr KeyStep kSteps[] = {{0xFE, 0, false}};
    return RunKeySequence(ModelFit::Zmr01OrZmr02, kSteps);
}

int LcdType1::KeySpare()
{
    // Released whatever happened before, so the key never stays pressed.
    static constexpr KeyStep kSteps[] = {{0xFF, 0, true}, {0xEF, 25, true}, {0xFF, 0, false}};
    return RunKeySequence(ModelFit::Zmr01OrZmr02, kSteps);
}

int LcdType1::KeyLeft()
{
    static constexpr KeyStep kSteps[] = {
        {0xF7, 5, false}, {0xF3, 5, false}, {0xFB, 5, false}, {0xFF, 10, false}};
    return RunKeySequence(ModelFit::Any, kSteps);
}

int LcdType1::KeyRight()
{
    static constexpr KeyStep kSteps[] = {
        {0xFB, 5, false}, {0xF3, 5, false}, {0xF7, 5, false}, {0xFF, 10, false}};
    return RunKeySequence(ModelFit::Zmr01OrZmr02, kSteps);
}
