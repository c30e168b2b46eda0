#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Makes the pictures of the user's guide (docs/images/) with the program itself:
#   - the test portrait, drawn by resources/generator/portrait.cpp;
#   - the tools' before/after pictures, from the stroke scripts in docs/replay/ (morphane-replay);
#   - screenshots of every page and dialog: the installed program runs under Xvfb with openbox
#     and is driven through its standard input (MORPHANE_DRIVER=stdin, app/StdinDriver.h);
#     `import` takes each window.
# Builds the release preset first when it is missing. Fails when a picture cannot be made.
#
# Running it twice gives the same files. For that the program sees a fixed world: the DejaVu
# fonts only, a 1280x1024 screen at 96 dpi, German locale, fresh settings, and (in a private
# mount namespace where the system allows one) a home /home/anna with a folder "Bilder" and the
# program installed in /usr/local. Without a namespace the file browser shows temporary paths
# and its pictures differ from run to run; the script says so.
set -euo pipefail
cd "$(dirname "$0")/.."
# Compiler cache entries shared by every clone of the project: paths below it count as relative.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$PWD}"
root=$PWD

if [ "${1:-}" != "--inside" ]; then
  if [ ! -f build/release/CMakeCache.txt ]; then
    ./scripts/install-deps.sh --test
    cmake --preset release
  fi
  # What the installation copies, and the portrait's generator; not the tests.
  cmake --build --preset release --target morphane_installed_files morphane_portrait
  work=$(mktemp -d "${TMPDIR:-/tmp}/morphane-shots.XXXXXX")
  trap 'rm -rf "$work"' EXIT
  cmake --install build/release --prefix "$work/usr-local" >/dev/null
  # Everything is made in the work folder and replaces docs/images/ only when all succeeded.
  images=$work/images
  mkdir -p "$images"

  build/release/resources/morphane_portrait "$images/portrait.png"
  for script in docs/replay/*.txt; do
    name=$(basename "$script" .txt)
    build/release/app/replay/morphane-replay "$images/portrait.png" "$script" "$images/werkzeug-$name.png"
  done
  # The animation of the smooth big eyes, small enough for the guide.
  build/release/app/replay/morphane-replay "$images/portrait.png" docs/replay/glaetten.txt "$work/glaetten.png" \
    --animate "$images/animation.gif" --frames 12 --size 200

  # The pictures folder the program browses; fixed times, so the list's date column stays.
  mkdir -p "$work/home/Bilder"
  cp "$images/portrait.png" "$work/home/Bilder/portrait.png"
  cp "$images/werkzeug-wachsen.png" "$work/home/Bilder/grosse-augen.png"
  printf 'kein Bild\n' > "$work/home/Bilder/kaputt.jpg"
  # A portrait the face detector finds (python3-skimage), for "Gesicht formen".
  cp /usr/lib/python3/dist-packages/skimage/data/astronaut.png "$work/home/Bilder/astronaut.png"
  touch -d "2026-05-04 10:00:00" "$work/home/Bilder"/*

  export MORPHANE_SHOTS_WORK=$work
  if unshare --user --map-root-user --mount true 2>/dev/null; then
    unshare --user --map-root-user --mount "$0" --inside
  elif [ "$(id -u)" -eq 0 ] && unshare --mount true 2>/dev/null; then
    unshare --mount "$0" --inside
  else
    echo "screenshots.sh: no private mount namespace here; the file browser shows temporary paths" >&2
    MORPHANE_SHOTS_PLAIN=1 "$0" --inside
  fi

  rm -f docs/images/*.png docs/images/*.gif
  mkdir -p docs/images
  cp "$images"/*.png "$images"/*.gif docs/images/
  # Every picture the guide and the README show must be one this run made.
  missing=0
  for link in $(grep -ohE '(docs/)?images/[A-Za-z0-9._-]+\.(png|gif)' README.md docs/*.md | sort -u); do
    if [ ! -f "docs/images/${link##*/}" ]; then
      echo "screenshots.sh: ${link} is shown but was not made" >&2
      missing=1
    fi
  done
  echo "screenshots.sh: $(ls docs/images/ | wc -l) pictures in docs/images/"
  exit $missing
fi

# --- inside: the fixed world, Xvfb, openbox and the program ---------------------------------
work=$MORPHANE_SHOTS_WORK
images=$work/images
if [ -z "${MORPHANE_SHOTS_PLAIN:-}" ]; then
  mount -t tmpfs tmpfs /home
  mkdir -p /home/anna
  mv "$work/home/Bilder" /home/anna/Bilder
  mount --bind "$work/usr-local" /usr/local
  home=/home/anna
  prefix=/usr/local
else
  home=$work/home
  prefix=$work/usr-local
fi

mkdir -p "$work/runtime" "$work/fc-cache"
chmod 700 "$work/runtime"
cat > "$work/fonts.conf" <<EOF
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "fonts.dtd">
<fontconfig>
  <dir>/usr/share/fonts/truetype/dejavu</dir>
  <cachedir>$work/fc-cache</cachedir>
  <match target="font">
    <edit name="antialias" mode="assign"><bool>true</bool></edit>
    <edit name="hinting" mode="assign"><bool>true</bool></edit>
    <edit name="hintstyle" mode="assign"><const>hintslight</const></edit>
    <edit name="rgba" mode="assign"><const>none</const></edit>
  </match>
</fontconfig>
EOF

export HOME=$home XDG_CONFIG_HOME=$home/.config XDG_DATA_HOME=$home/.local/share
export XDG_CACHE_HOME=$home/.cache XDG_RUNTIME_DIR=$work/runtime
export FONTCONFIG_FILE=$work/fonts.conf
unset LANG LC_ALL LC_MESSAGES QT_QPA_PLATFORM QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
export QT_QPA_PLATFORMTHEME= QT_STYLE_OVERRIDE=Fusion
export QT_QPA_PLATFORM=xcb

run_session() {
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
  local wm=$!
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q window && break
    sleep 0.1
  done

  coproc APP { cd "$home" && exec env LANG=de_DE.UTF-8 LANGUAGE=de MORPHANE_DRIVER=stdin "$prefix/bin/morphane" 2>"$work/morphane.log"; }
  local pid=$APP_PID
  reply=""
  abort() {
    echo "screenshots.sh: $*" >&2
    cat "$work/morphane.log" >&2
    kill "$pid" "$wm" 2>/dev/null || true
    exit 1
  }
  send() {
    echo "$*" >&"${APP[1]}"
    read -r -t 60 reply <&"${APP[0]}" || abort "no answer to '$*'"
    case $reply in error*) abort "'$*': $reply" ;; esac
  }
  # Takes the top window once two captures a moment apart agree (lists fill in the background).
  # With a second argument (a component name) only that part of the window is kept.
  shot() {
    send shot ${2:-}
    local answer=${reply#window } previous="" n crop=()
    local id=${answer%% *}
    [ -n "${2:-}" ] && crop=(-crop "${answer#* }" +repage)
    for n in $(seq 40); do
      import -window "$id" "$work/shot-$n.ppm"
      if [ -n "$previous" ] && cmp -s "$previous" "$work/shot-$n.ppm"; then
        convert "$work/shot-$n.ppm" "${crop[@]}" -strip -define png:exclude-chunks=date,time "$images/$1.png"
        return 0
      fi
      previous=$work/shot-$n.ppm
      sleep 0.3
    done
    abort "the window of $1 does not settle"
  }

  shot start
  send folder "$home/Bilder"
  send open "$home/Bilder/portrait.png"
  shot gesicht-operieren
  send zoom 1
  send play "$root/docs/replay/wachsen.txt"
  shot gesicht-operieren-wachsen
  shot werkzeugleiste SpeedBar1
  send smooth on
  shot gesicht-operieren-glaetten
  send smooth off
  send page 2
  shot ergebnis-verarbeiten
  send page 0
  send select "$home/Bilder/portrait.png"
  shot motiv-laden
  send open "$home/Bilder/kaputt.jpg"
  # The strokes are not saved: the question before they are dropped comes first.
  shot frage-verwerfen
  send click Verwerfen
  shot fehler-laden
  send click OK
  send click ueberbtn
  shot info
  send click OK
  send page 2
  # The save dialog lists the files' dates: those of the program's own files are fixed here.
  touch -d "2026-05-04 10:00:00" "$prefix/bin"/* "$home/Bilder"/*
  send click SaveAsBtn
  shot speichern
  send cancel
  send click PrintBtn
  shot drucken
  send cancel
  send click "Animation speichern..."
  shot animation-speichern
  send cancel
  # Both strokes taken back: nothing unsaved, so opening another picture asks nothing.
  send undo
  send undo
  # "Gesicht formen": the faces are searched in the background, then the dialog opens.
  send page 0
  send open "$home/Bilder/astronaut.png"
  send click FaceBtn
  for _ in $(seq 120); do
    echo "face eyes 60" >&"${APP[1]}"
    read -r -t 60 reply <&"${APP[0]}" || abort "no answer to 'face eyes 60'"
    [ "$reply" = ok ] && break
    sleep 0.5
  done
  [ "$reply" = ok ] || abort "the dialog Gesicht formen did not open"
  send face smile 70
  shot gesicht-formen
  send click OK
  shot gesicht-formen-ergebnis
  # The face change taken back: nothing unsaved, so quitting asks its ordinary question.
  send undo
  send click endebtn
  shot beenden
  # The program ends with this click; its answer may not come any more.
  echo "click OK" >&"${APP[1]}"
  for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null && abort "the program did not end after the close question"
  kill "$wm" 2>/dev/null || true
}

# xvfb-run gives a free display and its own authority file; the screen is fixed.
export root images work home prefix
xvfb-run -a -s "-screen 0 1280x1024x24 -dpi 96 -nolisten tcp" bash -c "$(declare -f run_session); run_session"
