#!/usr/bin/env bash
# source_tree_test.sh SOURCE_ROOT TEST_PROGRAM: a test program started by hand in the source tree
# runs in a scratch folder, so the fixtures it writes under the show's own names (here a song
# into data/common/music/) leave the show's data as it was.
set -uo pipefail
root=$1 program=$2
song=data/common/music/dubr0lp.mp3
# The scratch folders (one for the program, one for each death test's child) go with this one.
TMPDIR=$(mktemp -d)
export TMPDIR
trap 'rm -rf "$TMPDIR"' EXIT
cd "$root" || exit 1
before=$(cksum < "$song")
said=$("$program" --gtest_filter='MusicFailures.*' 2>&1 > /dev/null)
if [ "$(cksum < "$song")" != "$before" ]; then
  echo "FAILED: $song changed under a test run from the source tree"
  exit 1
fi
case "$said" in
  *"running in $TMPDIR/halvoren-tests-"*) exit 0 ;;
  *) echo "FAILED: the program did not move to a scratch folder: $said"; exit 1 ;;
esac
