#pragma once

#include <string>

namespace tyq_tool {

// What a path names now, symbolic links followed: nothing, a regular file, a
// stream a command may write into (a FIFO or a character device, such as
// /dev/null or a terminal), or something no output may be (a directory, a
// socket, a block device).
enum class PathKind { Missing, Regular, Stream, Other };

// The kind of `path`; `what` receives a word for it ("a FIFO", "a directory").
PathKind pathKind(const std::string& path, std::string* what = nullptr);

// True when `path` itself is a symbolic link.
bool isLink(const std::string& path);

// True when both names reach one existing file (same device and inode),
// however they are spelled: through links, relative paths or hard links.
bool sameFile(const std::string& a, const std::string& b);

// The writer claim the library's volume writers hold on a file they write,
// taken on an existing regular file before it is replaced: a file another
// process is still writing is refused, and no new writer of this library
// opens it while the claim is held. Released by the destructor.
class WriterClaim {
 public:
  WriterClaim() = default;
  ~WriterClaim();
  WriterClaim(const WriterClaim&) = delete;
  WriterClaim& operator=(const WriterClaim&) = delete;

  // False with a reason when another writer holds `path`. A file this
  // process may not open for writing is left unclaimed: nothing of ours can
  // be writing it through this user, and the directory decides the rename.
  bool take(const std::string& path, std::string& error);
  // True when nothing was claimed, or `path` still names the claimed file.
  bool stillNames(const std::string& path) const;

 private:
  int fd_ = -1;
};

}  // namespace tyq_tool
