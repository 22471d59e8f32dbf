// RepairTable: brings a table whose three files no longer agree back to one that opens and
// passes VerifyTable. Nothing in this format is journalled; what a crash or a damaged block
// leaves behind is set right from the data file's record slots, which are the table's records:
// the header counts, the chain of deleted slots, the blob file's free blocks and every index are
// made again from them.
//
// Order of work (each step reads before the next writes):
//   1. The verifier's check, on the table opened exclusively and read-only. A sound table is left
//      as it is. A table another program has open is refused (kAccessDenied), an enciphered one
//      whose password the session lacks too (kPasswordRequired); any other failure to open is a
//      finding, and the repair goes on without a normal open.
//   2. The data file is opened exclusively for writing and held so to the end (TRepairDataFile):
//      its header and field descriptors are trusted, since without them no record can be read;
//      what is wrong there is the engine's error and nothing is repaired.
//   3. Reading; nothing of the table is written: the blob file's header (TBlobRepair) and the
//      old index file's header (TIndexRebuild); then every whole slot in order. A deleted slot
//      goes into "Sys Deleted"; a record in use into every index, unless a unique index already
//      holds its key for an earlier slot (the record is then deleted: least harm, since the
//      earlier record is kept whole and the later one stays in the copy of the data file); then
//      its blob chains are checked, and a damaged one loses only that field's value. The new
//      index file is written beside the old one meanwhile.
//   4. Copies NAME.DAT.bak, NAME.IDX.bak and NAME.BLB.bak of the files as they are (older copies
//      replaced; a file the table lacks has no copy, and an older copy of it is removed).
//   5. Writing: the data file (bytes past its last slot cut off: a partial slot, and whole slots
//      past the header's count that no old index names; status 1 and the chain's link in every
//      deleted slot; its own number in every record in use; cleared blob fields; the header: the
//      slot count, head of the chain, LastRecordId at least the highest identifier in use,
//      BlobIndicator from the fields), then the blob file (free-block
//      list, header, length), then the new index file in place of the old.
//   6. The verifier's check on the repaired table.
//
// Events: Progress with the percent done all along; its abort flag is honoured up to the end of
// step 3 (the new index file is removed, the table is as it was, older copies included). From
// step 4 on the repair runs to its end. Log gets one line per finding and per action.
//
// Failures: any failure from step 5 on, a last check that still finds problems included, puts
// the copies back and reports the error; before step 5 nothing of the table has changed.
#pragma once

#include <functional>
#include <string>

namespace katalog {

enum class TRepairOutcome {
  Sound,     // nothing to repair; no file was touched
  Repaired,  // repaired; the last check found nothing
  Aborted,   // stopped through the progress event; no file of the table changed
};

struct TRepairEvents {
  std::function<void(int percentDone, bool& abort)> Progress;
  std::function<void(const std::string& line)> Log;
  // Asked for the password of an enciphered table the session lacks; true when it was added.
  std::function<bool()> Password;
};

// `tableName` as a table open takes it (a path, with or without ".DAT"). Disk tables only.
TRepairOutcome RepairTable(const std::string& tableName, const TRepairEvents& events);

}  // namespace katalog
