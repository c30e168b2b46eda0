// SPDX-License-Identifier: GPL-3.0-or-later
#include "ReplayScript.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <sstream>

namespace replay {
namespace {

std::vector<std::string> Tokens(const std::string& line) {
  std::vector<std::string> t;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    size_t j = i;
    while (j < line.size() && line[j] != ' ' && line[j] != '\t') ++j;
    if (j > i) t.push_back(line.substr(i, j - i));
    i = j;
  }
  return t;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// An integer of any size; values beyond 32 bits saturate (positions far outside any view).
bool ParseInt(const std::string& s, int32_t& out) {
  size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
  if (i == s.size()) return false;
  for (size_t k = i; k < s.size(); ++k)
    if (!IsDigit(s[k])) return false;
  errno = 0;
  const long long v = std::strtoll(s.c_str(), nullptr, 10);
  if (errno == ERANGE || v > std::numeric_limits<int32_t>::max() || v < std::numeric_limits<int32_t>::min())
    out = s[0] == '-' ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
  else
    out = int32_t(v);
  return true;
}

// A decimal with a point: [sign] digits [. digits] or [sign] . digits; no exponent, no names.
// Read in extended precision, as the spin edits read their text.
bool ParseDecimal(const std::string& s, long double& out) {
  size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
  size_t digits = 0;
  bool point = false;
  for (size_t k = i; k < s.size(); ++k) {
    if (IsDigit(s[k])) ++digits;
    else if (s[k] == '.' && !point) point = true;
    else return false;
  }
  if (digits == 0) return false;
  out = std::strtold(s.c_str(), nullptr);
  return true;
}

int32_t IndexOf(const std::string& word, std::initializer_list<const char*> words) {
  int32_t n = 0;
  for (const char* w : words) {
    if (word == w) return n;
    ++n;
  }
  return -1;
}

} // namespace

bool ParseScript(std::istream& in, std::vector<TCommand>& commands, std::string& error) {
  std::string line;
  int32_t number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> t = Tokens(line);
    if (t.empty() || t[0][0] == '#') continue;
    const auto fail = [&](const std::string& what) {
      error = "Zeile " + std::to_string(number) + ": " + what + ": \"" + line + "\"";
      return false;
    };
    TCommand c;
    c.Line = number;
    const std::string& cmd = t[0];
    const auto want = [&](size_t n) { return t.size() == n + 1; };
    if (cmd == "tool" || cmd == "axes" || cmd == "normalize" || cmd == "smooth") {
      if (!want(1)) return fail("genau ein Wert erwartet");
      if (cmd == "tool") {
        c.Kind = TCommandKind::Tool;
        c.Choice = IndexOf(t[1], {"grow", "shrink", "eraser", "smear", "drag", "protect", "release"});
        if (c.Choice < 0) return fail("unbekanntes Werkzeug (grow, shrink, eraser, smear, drag, protect, release)");
      } else if (cmd == "axes") {
        c.Kind = TCommandKind::Axes;
        c.Choice = IndexOf(t[1], {"xy", "x", "y"});
        if (c.Choice < 0) return fail("unbekannte Achsenwahl (xy, x, y)");
      } else {
        c.Kind = cmd == "smooth" ? TCommandKind::Smooth : TCommandKind::Normalize;
        const int32_t v = IndexOf(t[1], {"off", "on"});
        if (v < 0) return fail("on oder off erwartet");
        c.Choice = v;
      }
    } else if (cmd == "strength" || cmd == "zoom") {
      c.Kind = cmd == "strength" ? TCommandKind::Strength : TCommandKind::Zoom;
      if (!want(1) || !ParseDecimal(t[1], c.Value)) return fail("eine Dezimalzahl mit Punkt erwartet");
    } else if (cmd == "pressure") {
      c.Kind = TCommandKind::Pressure;
      if (!want(1) || !ParseDecimal(t[1], c.Value) || c.Value < 0 || c.Value > 1)
        return fail("ein Druck von 0 bis 1 (Dezimalzahl mit Punkt) erwartet");
    } else if (cmd == "radius") {
      c.Kind = TCommandKind::Radius;
      if (!want(1) || !ParseInt(t[1], c.X)) return fail("eine ganze Zahl erwartet");
    } else if (cmd == "down" || cmd == "move" || cmd == "up") {
      c.Kind = cmd == "down" ? TCommandKind::Down : cmd == "move" ? TCommandKind::Move : TCommandKind::Up;
      if (!want(2) || !ParseInt(t[1], c.X) || !ParseInt(t[2], c.Y)) return fail("zwei ganze Zahlen X Y erwartet");
    } else if (cmd == "face") {
      c.Kind = TCommandKind::Face;
      if (!want(2)) return fail("ein Merkmal und ein Wert erwartet");
      c.Choice = IndexOf(t[1], {"eyes", "nose", "smile", "chin", "width", "caricature"});
      if (c.Choice < 0) return fail("unbekanntes Merkmal (eyes, nose, smile, chin, width, caricature)");
      if (!ParseInt(t[2], c.X) || c.X < -100 || c.X > 100) return fail("ein Wert von -100 bis 100 erwartet");
    } else if (cmd == "tick" || cmd == "undo" || cmd == "redo") {
      c.Kind = cmd == "tick" ? TCommandKind::Tick : cmd == "undo" ? TCommandKind::Undo : TCommandKind::Redo;
      if (!want(0)) return fail(cmd + " hat keine Werte");
    } else {
      return fail("unbekannter Befehl \"" + cmd + "\"");
    }
    commands.push_back(c);
  }
  return true;
}

} // namespace replay
