// Message-table texts are looked up without insert values; this turns such a
// raw text into what the user reads. Kept free of the platform so that it can
// be tested natively.
#pragma once

#include <cstddef>

// Renders the raw message text into out[size], always NUL-terminated when
// size > 0:
//   %1..%99 (with an optional !printf-spec!)  dropped: no value was supplied
//   %n -> CR LF, %r -> CR, %t -> tab, "% " -> space
//   %% -> %, %. -> ., %! -> !   (so "%%i" comes out as "%i" for callers
//                                that use the text as a format)
//   %0  ends the text (and suppresses its line break)
//   %x  for any other x -> x; a lone % at the end is dropped
// Never emits a lone '%' except from "%%". A null raw renders as "".
// Returns false when the text had to be truncated.
bool RenderMessageText(const char* raw, char* out, size_t size);
