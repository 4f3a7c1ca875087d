// The factories that create and destroy the channel, controller and LCD
// objects, and the models chosen for an identification.
#pragma once

#include "base/IdentRecord.h"

class ChannelVirt;
class CtrlVirt;
class LcdVirt;

// index -1: the stored "CurrentChannel", found by automatic detection when
// none is stored. The channel is not opened. Never null (ends the process
// when the object cannot be allocated).
ChannelVirt* CreateChannel(int index);
// model -1: the stored "CurrentDevice" resp. "CurrentLcd"; 0..3 resp. 0..2
// build that model; anything else gives nullptr.
CtrlVirt* CreateController(int model);
LcdVirt* CreateLcd(int model);
// Each accepts nullptr.
void DestroyChannel(ChannelVirt* channel);
void DestroyController(CtrlVirt* controller);
void DestroyLcd(LcdVirt* lcd);

// The models for an identification; an unknown or unsupported device gets
// the fallback model and an "Incompatible firmware" event.
int CtrlModelFromIdent(const IdentRecord& ident);
int LcdModelFromIdent(const IdentRecord& ident);
