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
    m_announced.erase(std::remove(m_announced.begin(), m_announced.end(), number), m_announced.end());
    for (Entry& e : m_asked) {
        if (e.number == number) {
            e.askedAt = now;
            return;
        }
    }
    m_asked.push_back(Entry{number, now});
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

bool PortSearch::AskedRecently(int number, uint32_t now) const
{
    for (const Entry& e : m_asked) {
        if (e.number == number) return now - e.askedAt < kRetryMs;
    }
    return false;
}

bool PortSearch::Announced(int number) const
{
    return std::find(m_announced.begin(), m_announced.end(), number) != m_announced.end();
}

int PortSearch::NextPort(uint32_t now, int current, const std::vector<int>& present) const
{
    if (!Searching(now)) return 0;
    int best = 0;
    for (const int n : present) {
        if (n < 1 || n == current) continue;
        if (Announced(n)) return n;
        if (AskedRecently(n, now)) continue;
        if (best == 0 || n < best) best = n;
    }
    return best;
}
