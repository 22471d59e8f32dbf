#include "engine/storage/TableCopies.h"

#include <cstdint>
#include <exception>

#include "engine/storage/FileHandler.h"

namespace katalog {
namespace {

// Copies the whole of `from` over `to` from their starts; `to` is cut where the copy ends and
// flushed to the disk.
void CopyBytes(TFileHandler& from, TFileHandler& to) {
  std::vector<std::uint8_t> piece(TFileHandler::kCopyPieceSize);
  from.Seek(0, 0);
  to.Seek(0, 0);
  std::int32_t n;
  do {
    n = from.Read(piece.data(), TFileHandler::kCopyPieceSize, true);
    if (n > 0) to.Write(piece.data(), n);
  } while (n == TFileHandler::kCopyPieceSize);
  to.Write(nullptr, 0);
  to.Flush();
}

// Copies the whole of `from` into a new file `name` (replacing one of that name).
void CopyFile(TFileHandler& from, const std::string& name) {
  TFileHandler to;
  to.SetExclusive(true);
  to.SetFileName(name);
  to.CreateEmpty();
  CopyBytes(from, to);
  to.Close();
}

bool FileExists(const std::string& name) {
  TFileHandler file;
  file.SetFileName(name);
  return file.Exists();
}

void DeleteFile(const std::string& name) {
  TFileHandler file;
  file.SetFileName(name);
  file.Delete();
}

}  // namespace

std::vector<std::string> TTableCopies::Keep(const std::vector<TFile>& files) {
  std::vector<std::string> kept;
  for (const TFile& file : files) {
    TCopy copy{file.Name, false};
    const std::string copyName = file.Name + ".bak";
    if (file.Held) {
      CopyFile(*file.Held, copyName);
      copy.Copied = true;
    } else if (FileExists(file.Name)) {
      TFileHandler original;
      original.SetExclusive(true);
      original.SetReadOnly(true);
      original.SetFileName(file.Name);
      original.Open();
      CopyFile(original, copyName);
      copy.Copied = true;
    } else if (FileExists(copyName)) {
      DeleteFile(copyName);
    }
    if (copy.Copied) kept.push_back(copyName);
    copies_.push_back(std::move(copy));
  }
  return kept;
}

void TTableCopies::PutBack(TFileHandler* held,
                           const std::function<void(const std::string&)>& log) noexcept {
  auto say = [&](const std::string& line) {
    try {
      log(line);
    } catch (...) {  // a failing log handler must not stop the files from coming back
    }
  };
  for (const TCopy& copy : copies_) {
    try {
      if (!copy.Copied) {
        if (FileExists(copy.Name)) {
          DeleteFile(copy.Name);
          say("removed: " + copy.Name);
        }
        continue;
      }
      TFileHandler from;
      from.SetExclusive(true);
      from.SetReadOnly(true);
      from.SetFileName(copy.Name + ".bak");
      from.Open();
      if (held && held->IsOpen() && held->FileName() == copy.Name) {
        CopyBytes(from, *held);  // the file stays held
      } else {
        CopyFile(from, copy.Name);
      }
      say("put back: " + copy.Name);
    } catch (const std::exception& e) {
      say("could not put back " + copy.Name + ": " + e.what() + "; its copy is " + copy.Name +
          ".bak");
    }
  }
}

}  // namespace katalog
