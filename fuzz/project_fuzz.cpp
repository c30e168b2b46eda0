// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target: reading a project file. A refusal must come with a message; a project read must
// be whole (picture and mask of its size, every mask entry inside the picture), and its stroke
// history, when accepted, must undo and redo inside the mask.
#include "Project.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  project::TProject p;
  std::string error;
  if (!project::ReadProjectMemory(data, size, p, error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  const size_t n = size_t(p.Width) * size_t(p.Height);
  if (p.Pixels.size() != n * 3 || p.Mask.size() != n || (!p.Protection.empty() && p.Protection.size() != n))
    std::abort();
  for (const warp::TMaskEntry& e : p.Mask)
    if (e.X < 0 || e.X >= p.Width || e.Y < 0 || e.Y >= p.Height) std::abort();
  warp::TStrokeHistory history;
  if (!history.Deserialize(p.History.data(), p.History.size(), p.Width, p.Height, error)) return 0;
  const auto inside = [&](int32_t r, int32_t left, int32_t right) {
    if (r < 0 || r >= p.Height || left < 0 || right >= p.Width || left > right) std::abort();
  };
  while (history.CanUndo()) history.Undo(p.Mask.data(), inside);
  while (history.CanRedo()) history.Redo(p.Mask.data(), inside);
  for (const warp::TMaskEntry& e : p.Mask)
    if (e.X < 0 || e.X >= p.Width || e.Y < 0 || e.Y >= p.Height) std::abort();
  return 0;
}
