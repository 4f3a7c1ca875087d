// Choosing the controller and LCD models from an identification, the order
// of automatic port detection and the open-with-retries policy. Platform-free:
// the Windows start-up supplies the registry values, the probes and the pause.
#pragma once

#include <cstddef>
#include <type_traits>

#include "base/IdentRecord.h"

// Used when nothing answered and nothing usable is stored.
constexpr int kFallbackControllerModel = 3; // ZMR04
constexpr int kFallbackLcdModel = 2;        // LcdType3

struct ModelChoice {
    int model = -1;
    // The identification is not one this program knows to work with: an
    // "Incompatible firmware" event is due.
    bool incompatible = false;
};

// stored is the stored model index ("CurrentDevice" resp. "CurrentLcd") or
// -1; a value outside the model range counts as not stored. The result is
// always a valid model index.
ModelChoice SelectControllerModel(const IdentRecord& ident, int stored);
ModelChoice SelectLcdModel(const IdentRecord& ident, int stored);

enum class FirmwareCheck { Controller, Lcd };

// The insert of the "Incompatible firmware" event for ident; false if it did
// not fit into buffer[size] (it is truncated then).
bool FormatFirmwareWarning(FirmwareCheck check, const IdentRecord& ident, char* buffer, size_t size);

constexpr int kDetectablePortCount = 8; // COM1..COM8, always asked first
constexpr int kChannelIndexCount = 255; // COM1..COM255

// The port index to create the channel on: requested unless it is -1, then
// the stored one; -1 when the result is not a port 0..254 (detection needed).
int ResolveChannelIndex(int requested, int stored);

// Tries ports 0..7 in order, then the indices in others (the other ports
// present, in their order; 0..7 and indices out of range are not asked
// again), and returns the first for which probe(port) is true, or -1 when
// none answers.
template <typename Probe, typename Others> int DetectPort(Probe&& probe, const Others& others)
{
    for (int port = 0; port < kDetectablePortCount; ++port) {
        if (probe(port)) return port;
    }
    for (const int port : others) {
        if (port < kDetectablePortCount || port >= kChannelIndexCount) continue;
        if (probe(port)) return port;
    }
    return -1;
}
template <typename Probe> int DetectPort(Probe&& probe)
{
    const int none[1] = {-1};
    return DetectPort(probe, none);
}

// A port that will not open is tried this many times, with a pause after
// every failure (the last one included: a device being plugged in gets the
// whole time).
constexpr int kOpenAttempts = 10;
constexpr unsigned kOpenRetryPauseMs = 3000;

// open() -> bool; failed(attempt) after each failure (1-based); pause(ms),
// which may return a bool: false ends the retries at once (the program is
// being stopped). Returns true once open() succeeds.
template <typename Open, typename Failed, typename Pause>
bool OpenWithRetries(Open&& open, Failed&& failed, Pause&& pause)
{
    for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
        if (open()) return true;
        failed(attempt);
        if constexpr (std::is_same_v<decltype(pause(kOpenRetryPauseMs)), bool>) {
            if (!pause(kOpenRetryPauseMs)) return false;
        } else {
            pause(kOpenRetryPauseMs);
        }
    }
    return false;
}
