// LcdType3: keys emulated on the output port of a ZMR04 controller. Bit 5
// is cleared with every key; a 0xFF releases them all. Select, Auto and the
// spare key are pressed for 150 ms, the display's shortest accepted press.
#include "lcd/LcdModels.h"

namespace {

constexpr uint16_t kPressMs = 150;

} // namespace

int LcdType3::KeySelect()
{
    static constexpr KeyStep kSteps[] = {{0xDD, kPressMs, false}, {0xFF, 0, false}};
    return RunKeySequence(ModelFit::Zmr04Only, kSteps);
}

int LcdType3::KeyAuto()
{
    static constexpr KeyStep kSteps[] = {{0xDE, kPressMs, false}, {0xFF, 0, false}};
    return RunKeySequence(ModelFit::Zmr04Only, kSteps);
}

int LcdType3::KeySpare()
{
    static constexpr KeyStep kSteps[] = {{0xCF, kPressMs, false}, {0xFF, 0, false}};
    return RunKeySequence(ModelFit::Zmr04Only, kSteps);
}

int LcdType3::KeyLeft()
{
    static constexpr KeyStep kSteps[] = {{0xD7, 0, false}};
    return RunKeySequence(ModelFit::Zmr04Only, kSteps);
}

int LcdType3::KeyRight()
{
    static constexpr KeyStep kSteps[] = {{0xDB, 0, false}};
    return RunKeySequence(ModelFit::Zmr04Only, kSteps);
}

int LcdType3::KeyUp()
{
    static constexpr KeyStep kSteps[] = {{0x5F, 0, false}};
    return RunKeySequence(ModelFit::Zmr04Only, kSteps);
}

int LcdType3::KeyDown()
{
    static constexpr KeyStep kSteps[] = {{0x9F, 0, false}};
    return RunKeySequence(ModelFit::Zmr04Only, kSteps);
}

int LcdType3::ReleaseKeys()
{
    static constexpr KeyStep kSteps[] = {{0xFF, 0, false}};
    return RunKeySequence(ModelFit::Zmr04Only, kSteps);
}
