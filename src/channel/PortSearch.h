// When to look for the device on the other ports, and which port to ask
// next: the line's state as the main thread sees it on each tick, the ports
// asked and when, and the ports the system announced. Platform-free; the
// main thread drives it with a timer and does the asking itself.
#pragma once

#include <cstdint>
#include <vector>

// How the current line looks on a tick.
enum class LineState {
    Working, // open, and the device answered
    Lost,    // the port went away; the channel is waiting for it to come back
    Silent,  // the port could not be opened, or nothing answered on it
};

class PortSearch {
public:
    // The same port gets this long to come back before the others are asked.
    static constexpr uint32_t kGraceMs = 5000;
    // No port is asked more often than this, except once on its arrival.
    static constexpr uint32_t kRetryMs = 10000;

    // now is a millisecond tick that may wrap around.
    void Observe(uint32_t now, LineState state);
    // The system announced the port (1..255): asked at the next chance.
    void PortArrived(int number);
    // A port that would not open (held by another program, or not there
    // yet) was asked nothing: it is tried again after this, not kRetryMs.
    static constexpr uint32_t kReopenMs = 2000;

    // The port was asked.
    void Asked(int number, uint32_t now);
    // The port could not be opened: nothing was sent to it.
    void NotOpened(int number, uint32_t now);
    // The device was found on another port, which is current now.
    void Switched();

    bool Searching(uint32_t now) const;
    // The port to ask now: one of present (port numbers), never current,
    // announced ones first, then those never tried (lowest first), then the
    // one tried longest ago, each only once its wait (kRetryMs, kReopenMs)
    // is over; 0 for none (or when not searching).
    int NextPort(uint32_t now, int current, const std::vector<int>& present) const;

private:
    struct Entry {
        int number;
        uint32_t askedAt;
        uint32_t wait; // kRetryMs, or kReopenMs after a failed open
    };
    void Note(int number, uint32_t now, uint32_t wait);
    const Entry* Find(int number) const;
    bool AskedRecently(int number, uint32_t now) const;
    bool Announced(int number) const;

    LineState m_state = LineState::Working;
    bool m_everWorked = false;
    bool m_haveTrouble = false; // m_troubleSince is set
    uint32_t m_troubleSince = 0;
    bool m_graceNeeded = false;
    std::vector<Entry> m_asked;
    std::vector<int> m_announced;
};
