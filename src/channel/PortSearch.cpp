#include "channel/PortSearch.h"

#include <algorithm>

void PortSearch::Observe(uint32_t now, LineState state)
{
    if (state == LineState::Working) {
        m_everWorked = true;
        m_haveTrouble = false;
    } else if (!m_haveTrouble) {
        m_haveTrouble = true;
        m_troubleSince = now;
        // A line that never worked since the start is an adapter that was
        // renumbered while the PC was off: no reason to wait for it. One
        // that worked may be back within seconds.
        m_graceNeeded = m_everWorked;
    }
    m_state = state;
}

void PortSearch::PortArrived(int number)
{
    if (!Announced(number)) m_announced.push_back(number);
}

void PortSearch::Asked(int number, uint32_t now)
{
    Note(number, now, kRetryMs);
}

void PortSearch::NotOpened(int number, uint32_t now)
{
    Note(number, now, kReopenMs);
}

void PortSearch::Note(int number, uint32_t now, uint32_t wait)
{
    m_announced.erase(std::remove(m_announced.begin(), m_announced.end(), number), m_announced.end());
    for (Entry& e : m_asked) {
        if (e.number == number) {
            e.askedAt = now;
            e.wait = wait;
            return;
        }
    }
    m_asked.push_back(Entry{number, now, wait});
}

void PortSearch::Switched()
{
    m_state = LineState::Working;
    m_everWorked = true;
    m_haveTrouble = false;
    m_asked.clear();
}

bool PortSearch::Searching(uint32_t now) const
{
    if (m_state == LineState::Working || !m_haveTrouble) return false;
    return !m_graceNeeded || now - m_troubleSince >= kGraceMs;
}

const PortSearch::Entry* PortSearch::Find(int number) const
{
    for (const Entry& e : m_asked) {
        if (e.number == number) return &e;
    }
    return nullptr;
}

bool PortSearch::AskedRecently(int number, uint32_t now) const
{
    const Entry* e = Find(number);
    return e != nullptr && now - e->askedAt < e->wait;
}

bool PortSearch::Announced(int number) const
{
    return std::find(m_announced.begin(), m_announced.end(), number) != m_announced.end();
}

int PortSearch::NextPort(uint32_t now, int current, const std::vector<int>& present) const
{
    if (!Searching(now)) return 0;
    // Ports never tried first, lowest number first; then the one tried
    // longest ago, so that ports retried soon after a failed open do not
    // starve the others.
    int best = 0;
    bool bestTried = true;
    uint32_t bestAge = 0;
    for (const int n : present) {
        if (n < 1 || n == current) continue;
        if (Announced(n)) return n;
        if (AskedRecently(n, now)) continue;
        const Entry* e = Find(n);
        const bool tried = e != nullptr;
        const uint32_t age = tried ? now - e->askedAt : 0;
        const bool better = best == 0 || (!tried && (bestTried || n < best)) ||
                            (tried && bestTried && (age > bestAge || (age == bestAge && n < best)));
        if (better) {
            best = n;
            bestTried = tried;
            bestAge = age;
        }
    }
    return best;
}
