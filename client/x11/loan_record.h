// The record of borrowed keys and the lock of the borrowers of one display, in a directory of
// this user's alone.
//
// The record (a path such as $XDG_RUNTIME_DIR/virelo/borrowed-keys-_0) says which keys a borrower
// has lent and what they had before, for as long as they are lent; its lock file beside it
// (borrowed-keys-_0.lock) is held by the one borrower of the display at a time, with flock(), for
// as long as it lends keys. The lock ends with its holder's process, so a record found while
// holding the lock was left by a borrower that died, and one found while another holds the lock
// is that live borrower's.
//
// The directory must be a directory (not a link) that this user owns and that no one else can
// read or write (no access for the group or others); it is made with mode 0700 when it is missing.
// The record is opened without following links, and read only when it is a regular file of this
// user of at most kMaxRecordSize bytes. A directory or record that fails a check is ignored with a
// warning on standard error when there is only something to give back, and refuses the borrowing
// when keys are to be lent.
//
// Threads: one thread uses an object.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace virelo::client {

class LoanRecord {
 public:
  static constexpr std::size_t kMaxRecordSize = 16 * 1024;

  // The record at `path`, in its directory, which is made (with `create`) when it is missing;
  // nothing is opened when the directory is missing or fails a check.
  LoanRecord(std::string path, bool create);
  ~LoanRecord();
  LoanRecord(const LoanRecord&) = delete;
  LoanRecord& operator=(const LoanRecord&) = delete;

  // Holds the display's lock, waiting while another borrower's process holds it. Throws Error
  // when the directory failed its check or the lock cannot be opened.
  void lock();
  // Holds the lock when no one else does; false when another borrower holds it, or when the
  // directory is missing or failed its check (warned about).
  bool tryLock();
  // Whether there is a record (of any kind of file).
  bool exists() const;
  // What the record says, or nullopt when there is none or it fails a check (warned about).
  std::optional<std::string> read() const;
  // Replaces the record with `text`, written out before it returns. Throws Error.
  void write(const std::string& text);
  void remove();

 private:
  int openLock();

  std::string path_;
  std::string name_;
  std::string problem_;  // what is wrong with the directory, when it was not opened
  int directory_ = -1;
  int lock_ = -1;
};

}  // namespace virelo::client
