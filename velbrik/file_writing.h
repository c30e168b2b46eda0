// SPDX-License-Identifier: GPL-3.0-or-later
// What every writer of a file in place of another needs: the German reason for a failed
// write, the permissions the new file gets and making a rename durable.
#pragma once

#include <string>

#include <sys/types.h>

namespace velbrik {

// From the errno value of the failed call.
std::string writeReason(int err);
// Those of the file it replaces, else what the umask allows.
mode_t fileMode(const std::string& path);
// A new, empty temporary file beside `target`, named ".NAME.morphane-XXXXXX" so that the leftovers
// of a killed save can be told from other files. The returned descriptor holds a lock on it that
// keeps removeSaveLeftovers of other programs away while it is open. -1 with errno on failure.
int createSaveTemporary(const std::string& target, std::string& temp);
// Whether a name (without folder) has the form of those temporary files.
bool isSaveLeftoverName(const std::string& name);
// Removes the temporary files of saves into `folder` that were killed: the user's own regular
// files of that name form, not locked and unchanged for two seconds.
void removeSaveLeftovers(const std::string& folder);
// Flushes the folder's entries to the disk; failures cannot be reported usefully and are ignored.
void syncFolder(const std::string& folder);

// A new file beside a target, renamed over the target only when it is complete; removed when
// the object goes before that.
class TTemporaryFile {
public:
  TTemporaryFile() = default;
  TTemporaryFile(const TTemporaryFile&) = delete;
  TTemporaryFile& operator=(const TTemporaryFile&) = delete;
  ~TTemporaryFile() { Discard(); }
  // Creates the file (named as createSaveTemporary names it) with the target's permissions.
  // False with the German reason.
  bool Create(const std::string& target, std::string& reason);
  const std::string& Name() const { return FName; }
  int Descriptor() const { return FFd; }
  // Flushes the file to the disk and renames it over the target. False with the reason.
  bool Commit(std::string& reason);
  void Discard();

private:
  std::string FTarget, FName;
  int FFd = -1;
};

} // namespace velbrik
