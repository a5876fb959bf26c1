// The command words and their handlers. Name calls find a command by the
// 32-bit hash of its upper-cased word, then compare the word itself (without
// regard to case), so a word that only shares the hash is unknown. Indexed
// calls give the command's number (0-95) instead; the MemBuffer, dump and
// Binary words have no number.
#pragma once

#include <cstdint>

namespace bridge {

using CommandHandler = void (*)();

constexpr int kNumberedCommandCount = 96;
constexpr int kCommandMemBufferAllocate = 96;
constexpr int kCommandMemBufferFree = 97;
constexpr int kCommandDatabaseDump = 98;
constexpr int kCommandDatabaseLoadDump = 99;
constexpr int kCommandBinaryReadData = 100;
constexpr int kCommandBinaryWriteData = 101;
constexpr int kCommandCount = 102;

// h = (h + b) * 2 over the bytes read as signed 8-bit values, modulo 2^32;
// only the last 31 bytes of a word count.
uint32_t CommandHash(const char* word);

// The command index for a hash, or -1.
int FindCommandByHash(uint32_t hash);

// The command index of a word, or -1 when no command has that word (letter
// case aside), even if one has its hash.
int FindCommand(const char* word);

// The word as written in the command list (mixed case).
const char* CommandWord(int index);

// Null while the layer that serves the command is not built.
CommandHandler CommandHandlerAt(int index);

}  // namespace bridge
