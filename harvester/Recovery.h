#pragma once
// Settling the append that a killed or stopped run left in the journal, before
// the next run does anything else (it holds the data file's lock).
//
// The lines stand when their workbook was moved, or is not to be moved and
// the append is whole. Otherwise they are taken out, but only when the data
// file provably still ends with exactly those bytes: the same file (device and
// inode), the size the append left, the same checksum. When such a file cannot
// be cut (append-only), the workbook, unchanged since, is moved instead.
// Anything else touches nothing, keeps the journal and is a ConfigError that
// names the data file, the journal and what differs.
#include "harvester/Journal.h"

#include <string>

// A sentence on what was done, or "" when nothing was pending.
std::string SettleJournal(Journal& journal);

// The workbooks whose lines a record's append holds, for messages: its
// workbook, or how many from which one on.
std::string WhoseLines(const JournalRecord& r);
