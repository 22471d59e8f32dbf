// VerifyTable: checks the three files of an open table against each other and reports every
// inconsistency it finds, one line of text each. It trusts nothing it reads: every page, block
// and slot goes through the engine's own decoders, every engine error met on the way becomes a
// finding, and every walk is bounded by the file's size, so a damaged table is reported, never
// followed into a crash or an endless loop.
//
// What is checked (the open itself has already checked the headers and field descriptors):
//   - file lengths: the index file ends where its header says pages end, the blob file where
//     its blocks end; bytes past such an end (and past the data file's last slot) are left by an
//     append whose header write never came and are reused by the next append: a note, not damage;
//   - every index tree (CheckIndexTree), each page reachable from exactly one tree or free list,
//     no page lost;
//   - every record in use has exactly one entry in every maintained index, under the key built
//     from the record; a deleted slot has none;
//   - "Sys Deleted" (with a primary index) holds every slot once under its status byte and
//     record identifier;
//   - the index header's active-record count equals the slots in use;
//   - the chain of deleted slots stays on deleted slots, without circles, and (with a primary
//     index) holds all of them;
//   - every blob chain: blocks of the owning record, links both ways, lengths and used bytes,
//     no block in two chains or on the free-block list, no block lost.
//
// The table should be open read-only; nothing here writes. In a shared open, read access is
// held for the whole run so that the files do not change underneath.
#pragma once

#include <string>
#include <vector>

namespace katalog {

class TDataFile;

// Returns the problems found; `notes`, when given, receives what is worth saying but harms nothing.
std::vector<std::string> VerifyTable(TDataFile& table, std::vector<std::string>* notes = nullptr);

}  // namespace katalog
