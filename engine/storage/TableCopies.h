// TTableCopies: the copies of a table's files a repair keeps before it writes anything
// (NAME.DAT.bak, NAME.IDX.bak, NAME.BLB.bak), and putting the files back from them when the
// repair fails. A copy is written whole and flushed to the disk before Keep returns.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace katalog {

class TFileHandler;

class TTableCopies {
 public:
  struct TFile {
    std::string Name;
    // The handler that holds the file open, read through for the copy; none: the file is
    // opened here, exclusively.
    TFileHandler* Held = nullptr;
  };

  // Copies each file to its name with ".bak" added, replacing an older copy. A file that does
  // not exist has no copy, and an older copy of it is removed: it would not belong with the
  // others. Returns the names of the copies made.
  std::vector<std::string> Keep(const std::vector<TFile>& files);

  // Puts each file back as its copy holds it (through `held` for the file that handler holds
  // open) and removes a file that had no copy; says what it did, one line per file. Never
  // throws: a file that cannot be put back is named with its copy.
  void PutBack(TFileHandler* held, const std::function<void(const std::string&)>& log) noexcept;

 private:
  struct TCopy {
    std::string Name;
    bool Copied = false;  // false: the table had no such file
  };
  std::vector<TCopy> copies_;
};

}  // namespace katalog
