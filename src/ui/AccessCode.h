// The access code of the keypad: how typed digits make the number that is
// compared with (and stored as) the registry value "Code", and what ENTER
// does with it.
#pragma once

#include <cstddef>
#include <cstdint>

// Keypad states: which question the open keypad asks.
constexpr int kKeypadEnterCode = 0;
constexpr int kKeypadOldCode = 1;
constexpr int kKeypadNewCode = 2;

// The display shows one asterisk per digit, up to this many.
constexpr size_t kKeypadMaxAsterisks = 15;

// Each decimal digit takes four bits: entered * 16 + digit, modulo 2^32, so
// the last eight digits typed make the code and leading zeros do not count.
// A digit outside 0..9 leaves the value as it was.
uint32_t AddCodeDigit(uint32_t entered, int digit);

// The code of a typed text: every character '0'..'9' is a key press, any
// other character is not.
uint32_t PackCode(const char* digits);

enum class EnterOutcome {
    Refuse,      // end the keypad with zero
    Accept,      // end with non-zero
    StoreAccept, // store the entered value as the new code, end with non-zero
};

// ENTER in a keypad asking state, with the value entered so far and the
// code in force. With no code set (0) only an entry of nothing (or zeros)
// is accepted, and the 0 is stored again. A stored code that could not be
// read as a number (storedDamaged) matches no entry at all: a damaged
// value must lock, not open.
EnterOutcome DecideEnter(int state, uint32_t entered, uint32_t stored, bool storedDamaged);
