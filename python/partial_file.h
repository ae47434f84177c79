#pragma once

// A new file written under a temporary name beside its target and renamed
// onto it only once complete, so that a failed or interrupted write never
// leaves a half-written file at the target nor destroys the one there.

#include <filesystem>

namespace tyq_python {

class PartialFile {
 public:
  // Raises FileExistsError, naming `target`, when something exists there
  // (a dangling link too) and `overwrite` is false.
  PartialFile(std::filesystem::path target, bool overwrite);
  // Removes the temporary file unless Commit succeeded.
  ~PartialFile();
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  // Where to write: the target's directory, a hidden name that keeps the
  // target's whole file name (the library reads markers in names).
  const std::filesystem::path& Path() const { return partial_; }
  // Renames the written file onto the target, replacing it only with
  // `overwrite`; raises FileExistsError or another OSError on failure.
  void Commit();

 private:
  std::filesystem::path target_;
  std::filesystem::path partial_;
  bool overwrite_ = false;
  bool committed_ = false;
};

}  // namespace tyq_python
