// Reading a command's arguments from the current block and writing its
// results back. Slot k is argument k; slot 0 is the command word.
//
// Name calls (mode 0) and indexed text calls (mode 1) pass every argument as
// text; raw calls (mode >= 2) pass numbers in the slots themselves and mark
// each optional argument given with bit (1 << k) of the call mode.
#pragma once

#include <cstdint>

namespace bridge {

intptr_t CallMode();

// Signed 32-bit decimal (leading blanks and a sign accepted, stops at the
// first non-digit, wraps modulo 2^32); 0 for an absent or empty text. Raw
// calls: the low 32 bits of the slot.
int32_t ArgNumber(int k);
// The text behind the slot, or null when the slot or its text is absent.
char* ArgText(int k);
bool ArgPresent(int k);
// Upper-cases the text in place; "TRUE" or a text beginning with "1".
bool ArgBoolean(int k);

void ReturnBoolean(bool value);
void ReturnLong(int32_t value);
void ReturnULong(uint32_t value);

// The decimal parse of ArgNumber, for texts from elsewhere.
int32_t ParseNumber(const char* text);
// Upper-cases bytes a to z in place.
void UpperCaseInPlace(char* text);

}  // namespace bridge
