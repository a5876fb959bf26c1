// Settling the journal an earlier run of a database left behind, before the
// volumes are opened.
//
// A journal counts when its header is whole and describes these volumes:
// each volume the generation began with is there and its first bytes still
// check, or a checkpoint record shows that playing into the volumes had
// begun. Its records count up to the last commit whose records all check.
// Playing back writes them into the volumes in order, gives every volume the
// length and existence of that commit (of the generation's start when there
// is none: writes in place of an unfinished flush are cut away), syncs, and
// removes the journal. A checkpoint record goes first, so a crash while
// playing back leaves a journal that plays back again to the same result.
// A journal that does not count (torn header, another database's, one older
// than the volumes) is removed unasked.
#pragma once

#include "kernel/storage/journal.h"
#include "platform/env.h"

enum class FBL_JournalOutcome {
  kNone,        // no journal
  kIgnored,     // a journal that does not count, or has nothing to do
  kPlayedBack,  // its committed changes are in the volumes now
};

// writable: the volumes may be written (a read-only open passes false).
// Raises 301 when play-back is needed and the volumes may not be written,
// the env's error (EWOULDBLOCK) when another process holds the journal.
FBL_JournalOutcome RecoverJournal(platform::Env& env, const FBL_JournalPaths& paths,
                                  bool writable);
