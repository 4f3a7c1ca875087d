#include "app/Factories.h"

#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "Messages.h"
#include "app/ModelSelection.h"
#include "base/AppContext.h"
#include "base/AppSettings.h"
#include "base/BoundedText.h"
#include "base/Fatal.h"
#include "base/ObjectNames.h"
#include "base/Reporting.h"
#include "channel/CommProtocol2.h"
#include "channel/PresentPorts.h"
#include "controller/ZmrCtrlVirt.h"
#include "lcd/LcdModels.h"

namespace {

// Objects are allocated without exceptions: a failed allocation ends the
// process with the report that names the object.
template <typename T, typename... Args> T* Allocate(const char* failure, Args&&... args)
{
    T* object = new (std::nothrow) T(std::forward<Args>(args)...);
    if (object == nullptr) FatalCreationFailure(failure);
    return object;
}

bool PortAnswers(int port)
{
    std::unique_ptr<CommProtocol2> probe(Allocate<CommProtocol2>("OutOfMemory - CommProt2", port, false));
    if (!probe->Open()) return false;
    IdentRecord scratch;
    const bool answered = probe->Identify(&scratch, false);
    probe->Close();
    return answered;
}

} // namespace

ChannelVirt* CreateChannel(int index)
{
    int port = ResolveChannelIndex(index, ReadCurrentChannel());
    if (port == -1) {
        // Probing every port writes events that an embedded system, with
        // its small log, should not keep.
        if (App().embedded) WriteUseLogEvent(0);
        std::vector<int> others;
        for (const int number : PresentPortNumbers())
            others.push_back(number - 1);
        port = DetectPort(&PortAnswers, others);
        if (port != -1) {
            if (!WriteCurrentChannel(port)) ShowMessageBoxModeless(MSG_REGISTRY_WRITE_ERROR);
            ReportAppEvent(MSG_CHANNEL_AUTODETECTED, ChannelName(port));
        } else {
            ReportAppEvent(MSG_AUTODETECT_FAILED, ChannelName(0));
            port = 0;
        }
    }
    return Allocate<CommProtocol2>("OutOfMemory - CommProt2", port, true);
}

CtrlVirt* CreateController(int model)
{
    if (model == -1) model = ReadCurrentDevice();
    switch (model) {
    case 0:
        return Allocate<ZMR01Ctrl>("OutOfMemory - ZMR01");
    case 1:
        return Allocate<ZMR02Ctrl>("OutOfMemory - ZMR02");
    case 2:
        return Allocate<ZMR03Ctrl>("OutOfMemory - ZMR03");
    case 3:
        return Allocate<ZMR04Ctrl>("OutOfMemory - ZMR04");
    default:
        return nullptr;
    }
}

LcdVirt* CreateLcd(int model)
{
    if (model == -1) model = ReadCurrentLcd();
    switch (model) {
    case 0:
        return Allocate<LcdType1>("OutOfMemory - LCD_TYPE1");
    case 1:
        return Allocate<LcdType2>("OutOfMemory - LCD_TYPE2");
    case 2:
        return Allocate<LcdType3>("OutOfMemory - LCD_TYPE3");
    default:
        return nullptr;
    }
}

void DestroyChannel(ChannelVirt* channel)
{
    delete channel;
}

void DestroyController(CtrlVirt* controller)
{
    // Every controller this program creates belongs to the one family whose
    // base has the virtual destructor.
    delete static_cast<ZmrCtrlVirt*>(controller);
}

void DestroyLcd(LcdVirt* lcd)
{
    delete lcd;
}

int CtrlModelFromIdent(const IdentRecord& ident)
{
    const ModelChoice choice = SelectControllerModel(ident, ReadCurrentDevice());
    if (choice.incompatible) {
        char text[kTextMax] = {};
        FormatFirmwareWarning(FirmwareCheck::Controller, ident, text, sizeof text);
        ReportAppEvent(MSG_INCOMPATIBLE_FIRMWARE, text);
    }
    return choice.model;
}

int LcdModelFromIdent(const IdentRecord& ident)
{
    const ModelChoice choice = SelectLcdModel(ident, ReadCurrentLcd());
    if (choice.incompatible) {
        char text[kTextMax] = {};
        FormatFirmwareWarning(FirmwareCheck::Lcd, ident, text, sizeof text);
        ReportAppEvent(MSG_INCOMPATIBLE_FIRMWARE, text);
    }
    return choice.model;
}
