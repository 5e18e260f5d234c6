# libs.sh: what make-release.sh and check-release.sh both ask of a library; sourced by them.

# Whether a soname is one of the system's (a pattern of desktop-libs.txt beside this file).
desktop_patterns=$(grep -v '^#' "$(dirname "${BASH_SOURCE[0]}")/desktop-libs.txt" | grep -v '^$' | tr '\n' ' ')
on_desktop_list() {
  local p
  for p in $desktop_patterns; do
    # shellcheck disable=SC2053
    [[ $1 == $p ]] && return 0
  done
  return 1
}

# The sonames an ELF file names as NEEDED, one a line.
needed() { readelf -d "$1" | awk '/\(NEEDED\)/ { gsub(/[][]/, "", $5); print $5 }'; }
