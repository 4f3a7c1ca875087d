#include "base/MessageText.h"

namespace {

class BoundedWriter {
public:
    BoundedWriter(char* out, size_t size) : m_out(out), m_size(size) {}
    void Put(char c)
    {
        // One byte stays reserved for the terminator.
        if (m_used + 1 < m_size) {
            m_out[m_used++] = c;
        } else {
            m_truncated = true;
        }
    }
    bool Finish()
    {
        if (m_size > 0) m_out[m_used] = '\0';
        return !m_truncated && m_size > 0;
    }

private:
    char* m_out;
    size_t m_size;
    size_t m_used = 0;
    bool m_truncated = false;
};

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// p points just after an insert's digits; skips a "!spec!" if one is closed.
const char* SkipInsertSpec(const char* p)
{
    if (*p != '!') return p;
    for (const char* q = p + 1; *q != '\0'; ++q) {
        if (*q == '!') return q + 1;
    }
    return p; // unterminated: the rest is ordinary text
}

} // namespace

bool RenderMessageText(const char* raw, char* out, size_t size)
{
    if (out == nullptr) return false;
    BoundedWriter w(out, size);
    if (raw == nullptr) raw = "";
    const char* p = raw;
    while (*p != '\0') {
        if (*p != '%') {
            w.Put(*p++);
            continue;
        }
        const char e = p[1];
        if (e == '\0') break; // a lone % at the very end
        p += 2;
        if (e >= '1' && e <= '9') {
            if (IsDigit(*p)) ++p; // two-digit inserts go up to %99
            p = SkipInsertSpec(p);
            continue;
        }
        switch (e) {
        case '0':
            return w.Finish();
        case 'n':
            w.Put('\r');
            w.Put('\n');
            break;
        case 'r':
            w.Put('\r');
            break;
        case 't':
            w.Put('\t');
            break;
        default: // %%, %., %!, "% " and anything else: the character itself
            w.Put(e);
            break;
        }
    }
    return w.Finish();
}
