// SPDX-License-Identifier: GPL-3.0-or-later
// The stroke script of morphane-replay: one command per line, tokens separated by spaces or tabs,
// blank lines and lines starting with '#' skipped, CR LF accepted.
//
//   tool grow|shrink|eraser|smear|drag|protect|release   axes xy|x|y   normalize on|off
//   strength V   radius N   zoom V   pressure P   down X Y   move X Y   up X Y   tick
//   smooth on|off
//   undo   redo   (the last stroke, as Ctrl+Z and Ctrl+Y in the window; ignored during a stroke)
//   face eyes|nose|smile|chin|width|caricature V   (-100..100; every face of the current result)
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace replay {

enum class TCommandKind { Tool, Axes, Normalize, Strength, Radius, Zoom, Down, Move, Up, Tick, Undo, Redo, Smooth, Pressure, Face };

// Tool choices beyond the five tool codes: the protection brush and the release brush.
constexpr int32_t kChoiceProtect = 5;
constexpr int32_t kChoiceRelease = 6;

struct TCommand {
  TCommandKind Kind = TCommandKind::Tick;
  int32_t Line = 0;
  int32_t Choice = 0;     // tool code 0..4 or kChoiceProtect, kChoiceRelease; axes 0 = xy, 1 = x, 2 = y;
                          // normalize and smooth 1 = on; face: the feature (face::TFeature)
  int32_t X = 0, Y = 0;   // view pixels of down/move/up; radius and face value in X
  long double Value = 0;  // strength and zoom, as the spin edits read their text; pressure 0..1
};

// Reads the whole script. False with a German message naming the line when a line is malformed.
bool ParseScript(std::istream& in, std::vector<TCommand>& commands, std::string& error);

} // namespace replay
