#!/bin/sh
# The data tree's hot paths (adding, clearing and walking a million nodes,
# CopyTo, paste and drop of a million nodes) of this build beside another
# build's (an older tree), run in turn in one call; every figure of this
# build is held to 5 % over the other's.
#
#   bench/tree_hot_paths.sh OTHER_BUILD [THIS_BUILD] [RUNS]
set -e
other=${1:?usage: bench/tree_hot_paths.sh OTHER_BUILD [THIS_BUILD] [RUNS]}
this=${2:-build}
runs=${3:-5}
here=$(dirname "$0")
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
"$here/compare_builds.py" -n "$runs" --limit 1.05 --match "^(add|full walk|Clear)" "$this" "$other" \
  bench/tree_core/bench_tree_core 1000000
"$here/compare_builds.py" -n "$runs" --limit 1.05 --match "N +1000000 +(CopyTo|paste from|drop)" "$this" "$other" \
  bench/tree_paste/bench_tree_paste 125000
