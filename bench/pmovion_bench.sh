#!/usr/bin/env bash
# Times pmovion on nodes of 2,000 and 20,000 echo areas, every third one
# auto-named with its four base files, with and without Check3, against
# the floor of the same work: a read, write and fsync copy of the
# configuration plus the same number of renames done by one tight loop.
# Every run gets a fresh copy of the node. Prints the median of each, the
# ratio pmovion/floor and the growth from the small node to the big one.
# Not part of ./test.sh.
#
#   bench/pmovion_bench.sh [path/to/pmovion] [runs]
set -euo pipefail
cd "$(dirname "$0")/.."
pmovion=$(realpath "${1:-build/bin/pmovion}")
runs=${2:-5}
[[ -x $pmovion ]] || { echo "no program at $pmovion; build first" >&2; exit 1; }

work=$(mktemp -d /tmp/pmovion-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

# Milliseconds since the epoch.
now() { date +%s%3N; }

median() { sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

# make_node DIR AREAS: the configuration, its base files and the list of
# the renames the floor does (old new, one pair per line). Paths are
# relative to the node, where every run starts.
make_node() {
  local dir=$1 areas=$2
  mkdir -p "$dir/mail"
  (cd "$dir" && awk -v n="$areas" '
    BEGIN {
      printf "; a generated node\r\nNetArea NETMAIL mail\\netmail\r\n" > "squish.cfg"
      for (i = 0; i < n; i++) {
        if (i % 3 == 0) {
          base = sprintf("AUTO%04x", int(i / 3))
          path = "mail\\" base
          for (e = 1; e <= 4; e++) {
            ext = substr(".sqd.sqi.sql.sqp", 4 * e - 3, 4)
            print "mail/" base ext, "mail/x" i ext > "renames"
            print "mail/" base ext > "files"
          }
        } else {
          path = sprintf("mail\\a%05d", i)
        }
        printf "EchoArea BENCH.AREA.%05d %s -$ -$m500 -p2:5020/1 2:5020/%d 2:5020/%d\r\n", i, path, i, i + 1 > "squish.cfg"
      }
    }' && xargs -a files touch && rm files)
}

# A fresh copy of the template as "$work/run", flushed to disk.
fresh_copy() {
  rm -rf "$work/run"
  cp -a "$1" "$work/run"
  sync
}

# One timed run of pmovion, in ms.
time_pmovion() {
  fresh_copy "$1"
  printf 'SquishPath=squish.cfg\r\nCheck3=%s\r\n' "$2" > "$work/run/Movionr.dat"
  local start end
  start=$(now)
  (cd "$work/run" && "$pmovion" Exec > /dev/null)
  end=$(now)
  [[ $(cat "$work/run/Movionr.End") == 00 ]] || { echo "pmovion failed" >&2; exit 1; }
  echo $((end - start))
}

# The floor, in ms.
time_floor() {
  fresh_copy "$1"
  local start end
  start=$(now)
  (cd "$work/run" &&
    dd if=squish.cfg of=copy.cfg bs=64k conv=fsync status=none &&
    perl -ne 'chomp; my ($a, $b) = split / /; rename $a, $b or die "$a: $!"' renames)
  end=$(now)
  echo $((end - start))
}

declare -A result
for areas in 2000 20000; do
  template="$work/node$areas"
  make_node "$template" "$areas"
  for check3 in "" TRUE; do
    p=() f=()
    for ((i = 0; i < runs; i++)); do
      p+=("$(time_pmovion "$template" "$check3")")
      f+=("$(time_floor "$template")")
    done
    pm=$(printf '%s\n' "${p[@]}" | median)
    fl=$(printf '%s\n' "${f[@]}" | median)
    label=${check3:+Check3}
    result[$areas${label}]=$pm
    printf '%6d areas %-7s pmovion %6d ms  floor %6d ms  ratio %5.2f\n' \
      "$areas" "${label:-plain}" "$pm" "$fl" "$(echo "$pm / ($fl + 0.5)" | bc -l)"
  done
done
for label in "" Check3; do
  printf 'growth 2,000 -> 20,000 areas %-7s %5.2f x\n' "${label:-plain}" \
    "$(echo "${result[20000$label]} / (${result[2000$label]} + 0.5)" | bc -l)"
done
