// What every check of a possibly damaged table does, for the fuzz targets and the damaged-file
// sweep alike: open it read-only and shared, browse it in physical order and in every index
// (forwards and back, a bounded number of steps), read the memos and blobs of the records it
// passes, count it under a filter, and run the verifier. An engine error (or the conversion error
// of a damaged default value) is the expected answer to damage: it ends the probe and is
// returned. Anything else (a crash, a sanitizer report, an exception of another kind, a step
// count beyond the table's slots) is a fault of the engine.
#pragma once

#include <cstdint>
#include <string>

namespace katalog {

// The probe's code for a conversion error of the framework (it has no number of its own).
inline constexpr int kConversionError = -1;

struct TProbeResult {
  int ErrorCode = 0;         // the engine error that ended the probe, 0 when it ran through
  std::string Message;       // its message
  std::int64_t Steps = 0;    // records passed, in all orders
  std::size_t Findings = 0;  // what the verifier reported
};

// `path` is the table's name without extension. Throws std::logic_error for a fault the probe
// can see itself (a walk longer than the table has slots).
TProbeResult ProbeTable(const std::string& path);

}  // namespace katalog
