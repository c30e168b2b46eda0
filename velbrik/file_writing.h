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
// Flushes the folder's entries to the disk; failures cannot be reported usefully and are ignored.
void syncFolder(const std::string& folder);

} // namespace velbrik
