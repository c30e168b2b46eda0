// SPDX-License-Identifier: GPL-3.0-or-later
// Autosave: the work written as a project file in the background, so that a crash or a kill
// loses at most the last few seconds. The snapshot is taken on the caller's thread and is cheap
// (the mask's difference from the identity and the history copied; the picture, which does not change while it is edited,
// copied and compressed once per picture); a worker thread of low priority compresses and writes
// it atomically (temporary file, flush to the disk, rename), so a kill at any moment leaves
// either the former file or the new one, whole.
#pragma once

#include "Project.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

namespace project {

// $XDG_STATE_HOME/morphane, else ~/.local/state/morphane, made (only for the user) when missing.
// Empty when there is no such folder and it cannot be made.
std::string StateFolder();

// Claims the autosave of `folder` for this process for as long as it runs (a lock file held
// open). False when another running Morphane holds it: that one's autosave is not touched.
bool ClaimAutosave(const std::string& folder);

class TAutosaver {
public:
  explicit TAutosaver(std::string path);
  ~TAutosaver(); // finishes the write in progress; the file stays (see Discard)
  TAutosaver(const TAutosaver&) = delete;
  TAutosaver& operator=(const TAutosaver&) = delete;

  // Takes a snapshot of the editor's work and hands it to the worker; a snapshot not yet written
  // is replaced. `pictureSerial` must change whenever the editor's picture is replaced. With
  // nothing to undo or redo there is no work to keep: the file is removed instead.
  void Submit(const warp::TEditorCore& core, uint64_t pictureSerial, const TSettings& settings,
              const std::string& picturePath);
  // Waits until everything submitted is written.
  void Flush();
  // Finishes and removes the file: the work has ended cleanly.
  void Discard();
  const std::string& Path() const { return path_; }
  // The message of the last failed write, empty after a good one.
  std::string LastError() const;
  // Snapshots written so far.
  uint64_t Written() const;

private:
  struct TSnapshot {
    uint64_t Serial = 0;
    std::shared_ptr<const std::vector<uint8_t>> Pixels; // raw rows, when the picture is new
    int32_t Width = 0, Height = 0;
    std::vector<uint8_t> MaskDelta;
    std::vector<uint8_t> History;
    std::vector<uint8_t> Protection; // empty: nothing protected
    TSettings Settings;
    std::string PicturePath;
    bool Remove = false;
  };
  void Run();

  std::string path_;
  mutable std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::optional<TSnapshot> pending_;
  bool busy_ = false, stop_ = false;
  uint64_t pictureSerial_ = ~uint64_t(0);          // of the picture copied last (caller's side)
  std::shared_ptr<const std::vector<uint8_t>> pixels_; // that copy, until the worker has compressed it
  uint64_t chunkSerial_ = ~uint64_t(0);            // of the compressed picture (worker's side)
  TChunk chunk_;
  std::string error_;
  uint64_t written_ = 0;
  std::thread worker_;
};

} // namespace project
