// Fuzz target for the message-text rendering: arbitrary raw texts with
// arbitrary inserts, escapes and printf-style formats, into buffers of any
// size.
//
// Input layout: byte 0 is the buffer size, the rest the raw text (cut at
// its first NUL, as the message table would).
// Invariants checked:
//  - the output is NUL-terminated within the buffer, whatever its size;
//  - a buffer of size 0 is left alone and reported as truncated;
//  - a short buffer gets the longest prefix of the full rendering that
//    fits, and reports truncation exactly when something was left out;
//  - the text never grows by more than twice (only %n becomes two bytes);
//  - a '%' comes out only for a "%%" that went in.
#include "base/MessageText.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\n", what);
        std::abort();
    }
}

size_t Count(const char* text, size_t length, const char* what)
{
    size_t n = 0;
    const size_t w = std::strlen(what);
    for (size_t i = 0; i + w <= length; ++i) {
        if (std::memcmp(text + i, what, w) == 0) {
            ++n;
            i += w - 1;
        }
    }
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1 || size > 8192) return 0;
    const size_t small = data[0];
    const std::string raw(reinterpret_cast<const char*>(data + 1), size - 1);
    const char* text = raw.c_str(); // cut at the first NUL
    const size_t rawLength = std::strlen(text);

    // Room for everything: each byte renders to two at most.
    std::vector<char> full(2 * rawLength + 1, '\x7f');
    Check(RenderMessageText(text, full.data(), full.size()), "full buffer not truncated");
    const size_t fullLength = std::strlen(full.data());
    Check(fullLength < full.size(), "terminated");
    Check(fullLength <= 2 * rawLength, "at most twice as long");
    // Escapes are read left to right, so "%%%%" is two escaped percents.
    size_t pairs = 0;
    for (size_t i = 0; i + 1 < rawLength; ++i) {
        if (text[i] == '%') {
            if (text[i + 1] == '%') ++pairs;
            ++i;
        }
    }
    Check(Count(full.data(), fullLength, "%") <= pairs, "a percent only from %%");

    // A heap buffer of exactly the size given, so that ASan sees any write
    // past it.
    std::vector<char> bounded(small > 0 ? small : 1, '\x7f');
    const bool whole = RenderMessageText(text, small > 0 ? bounded.data() : nullptr, small);
    if (small == 0) {
        Check(!whole, "null buffer");
        char untouched = '\x7f';
        Check(!RenderMessageText(text, &untouched, 0) && untouched == '\x7f',
              "size 0 leaves the buffer alone");
        return 0;
    }
    const size_t got = std::strlen(bounded.data());
    Check(got < small, "terminated within the buffer");
    const size_t expected = fullLength < small - 1 ? fullLength : small - 1;
    Check(whole == (fullLength < small), "truncation reported exactly");
    Check(got == expected && std::memcmp(bounded.data(), full.data(), got) == 0,
          "prefix of the full rendering");
    Check(RenderMessageText(nullptr, bounded.data(), small) && bounded[0] == '\0', "null raw renders empty");
    return 0;
}
