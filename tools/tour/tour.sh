#!/usr/bin/env bash
# The tour: runs the felt-tour test binary (which drives hapticdemo through every
# demo with virtual devices and hand scripts) into out/tour/, then draws one plot
# per demo from its stretch of the trace and writes out/tour/index.html.
#   tools/tour/tour.sh [--update-docs]   from the repository root, on an X display
# (scripts/demo --tour builds what it needs and provides a private X server).
# --update-docs copies the seven trion.6 screenshots and three plots to docs/.
set -euo pipefail
cd "$(dirname "$0")/../.."
update_docs=0
[ "${1:-}" = --update-docs ] && update_docs=1

out=out/tour
rm -rf "$out"
mkdir -p "$out"
status=0
TKX_TOUR_OUT="$PWD/$out" LIBGL_ALWAYS_SOFTWARE=1 GALLIUM_DRIVER=llvmpipe \
  build/tests/demo/test_hapticdemo_tour_felt --gtest_also_run_disabled_tests || status=$?

# one plot per demo: the hand's and the effector's position, and the motor force
plot() {
  local dat=$1 png=$2 title=$3 gripper=""
  # a gripper's motor torque beside the force, on the devices that have one
  [ "${4:-}" = gripper ] && gripper=', "" using 1:13 with lines lw 1.5 lc rgb "#8e44ad" title "gripper (N m)"'

  gnuplot <<GP
set terminal pngcairo size 640,400 font "DejaVu Sans,8"
set output "$png"
set multiplot layout 2,1 title "$title"
set grid
set key outside right top samplen 2
set lmargin 9
set rmargin 16
set format x ""
set ylabel "position (mm)"
plot "$dat" using 1:(\$2*1000) with lines dt 2 lc rgb "#c0392b" title "hand x", \
     "" using 1:(\$3*1000) with lines dt 2 lc rgb "#27ae60" title "hand y", \
     "" using 1:(\$4*1000) with lines dt 2 lc rgb "#2e6fd8" title "hand z", \
     "" using 1:(\$5*1000) with lines lw 1.5 lc rgb "#c0392b" title "effector x", \
     "" using 1:(\$6*1000) with lines lw 1.5 lc rgb "#27ae60" title "effector y", \
     "" using 1:(\$7*1000) with lines lw 1.5 lc rgb "#2e6fd8" title "effector z"
set format x "%g"
set xlabel "time since the press that opened the demo (s)"
set ylabel "motor force (N)"
plot "$dat" using 1:8 with lines lw 1.5 lc rgb "#c0392b" title "force x", \
     "" using 1:9 with lines lw 1.5 lc rgb "#27ae60" title "force y", \
     "" using 1:10 with lines lw 1.5 lc rgb "#2e6fd8" title "force z"$gripper
unset multiplot
GP
}

# each device's demos: panel|name|title|what is felt, from the test
html="$out/index.html"
{
  cat <<'HTML'
<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8"><title>hapticdemo: the tour</title>
<style>
body { font-family: sans-serif; background: #f4f4f4; margin: 1.5em; }
section { background: #fff; margin: 1em 0; padding: 0.8em; display: flex; flex-wrap: wrap; gap: 0.8em; }
section h3 { width: 100%; margin: 0; }
section p { width: 100%; margin: 0; }
img { width: 640px; max-width: 100%; border: 1px solid #ccc; }
</style></head><body>
<h1>hapticdemo: every demo shown and felt</h1>
<p>Each demo entered from the menu by a virtual device's hand script, its characteristic gesture done,
and left with Escape. Left: the screen at the telling moment. Right: the hand's target (dashed) and the
effector (solid), and the force the motors apply, from the virtual device's per-exchange trace
(<code>TKX_VIRTUAL_TRACE</code>).</p>
HTML
  for leg in trion6:"a virtual trion.6" polux7:"a virtual polux.7 (its gripper as the button, the 7-DOF demos)" \
    falcon:"a virtual Falcon (homed first)"; do
    key=${leg%%:*}
    [ -s "$out/$key.txt" ] || continue
    echo "<h2>With ${leg#*:}</h2>"
    while IFS='|' read -r panel name title felt; do
      shot="$panel-$name.png"
      [ "$key" != trion6 ] && shot="$key-$panel-$name.png"
      dat="$out/$key-$name.dat"
      [ "$key" = trion6 ] && dat="$out/$name.dat"
      png="${dat%.dat}-plot.png"
      [ -s "$dat" ] && plot "$dat" "$png" "$title" "$([ "$key" = polux7 ] && echo gripper)" >&2 || true
      echo "<section><h3>$title</h3><p>$felt</p>"
      [ -s "$out/$shot" ] && echo "<img src=\"$shot\" alt=\"$title, the screen\">"
      [ -s "$png" ] && echo "<img src=\"$(basename "$png")\" alt=\"$title, position and force\">"
      echo "</section>"
    done <"$out/$key.txt"
  done
  echo "</body></html>"
} >"$html"
echo "the tour: $PWD/$html" >&2

if [ "$update_docs" = 1 ]; then
  if [ "$status" -ne 0 ]; then
    echo "the tour failed: docs/ left as it was" >&2
    exit "$status"
  fi
  mkdir -p docs/tour
  cp "$out"/[0-6]-*.png docs/tour/
  for name in grasp textures dynamics; do cp "$out/$name-plot.png" docs/tour/; done
  echo "docs/tour/ updated" >&2
fi
exit "$status"
