#!/usr/bin/env bash
# Times blurbo over a big node against plain copies of the same file.
#
# Makes a node in /tmp with 20,000 ECHOAREA lines and a 20,000-line
# description list, then runs, as often as asked (default 10), blurbo,
# `cp` of the configuration and `cat` of it, and prints the median time of
# each and the ratios blurbo/cp and blurbo/cat. Not part of ./test.sh.
#
#   bench/blurbo_bench.sh [build/bin/blurbo] [runs]
set -euo pipefail
blurbo=$(realpath "${1:-$(dirname "$0")/../build/bin/blurbo}")
runs=${2:-10}
areas=20000

node=$(mktemp -d /tmp/blurbo-bench-XXXXXX)
trap 'rm -rf "$node"' EXIT
cd "$node"

# Half the areas are Squish-style, half fidoconfig-style; every third has
# a description already; the list knows every other tag, in another order.
awk -v n="$areas" 'BEGIN {
  for (i = 0; i < n; i++) {
    tag = sprintf("BENCH.AREA.%05d", i)
    old = (i % 3 == 0) ? " -$n\"old text\"" : ""
    if (i % 2 == 0)
      printf "EchoArea   %s   D:\\MSG\\A%05d   -$%s -$m500 -p2:5020/1 2:5020/%d 2:5020/%d\n", tag, i, old, i, i + 1
    else
      printf "EchoArea %s /fido/msg/a%05d -b Squish -p 32 -g C -a 2:5020/1 2:5020/%d\n", tag, i, i
    if (i % 50 == 0) printf ";\tcomment   line %d\n", i
  }
}' > squish.orig
awk -v n="$areas" 'BEGIN {
  for (i = n - 1; i >= 0; i--)
    if (i % 2 == 0) printf "bench.area.%05d    Description of area number %d\r\n", i, i
    else printf "OTHER.AREA.%05d  Not in the node\r\n", i
}' > blurbor.dsc
printf 'SquishPath=%s\r\nCheck1=TRUE\r\nCheck2=TRUE\r\n' \
  "$(printf '%s' "$node/squish.cfg" | tr / '\\')" > Blurbor.dat

now() { date +%s%N; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

: > t.blurbo; : > t.cp; : > t.cat
for ((run = 0; run < runs; run++)); do
  cp squish.orig squish.cfg
  rm -f squish.cfg.areas*.bak copy.cfg
  sync
  t0=$(now); rc=0; "$blurbo" Exec > console.txt || rc=$?; t1=$(now)
  if [ "$rc" != 100 ] || [ "$(cat Blurbor.End)" != 00 ]; then
    echo "blurbo failed: exit $rc" >&2; exit 1
  fi
  echo $((t1 - t0)) >> t.blurbo
  t0=$(now); cp squish.orig copy.cfg; t1=$(now)
  echo $((t1 - t0)) >> t.cp
  t0=$(now); cat squish.orig > copy.cfg; t1=$(now)
  echo $((t1 - t0)) >> t.cat
done

b=$(median < t.blurbo); c=$(median < t.cp); k=$(median < t.cat)
echo "node: $areas area lines, $(wc -c < squish.orig) bytes; list: $(wc -l < blurbor.dsc) lines"
echo "median of $runs runs: blurbo $((b / 1000)) us, cp $((c / 1000)) us, cat $((k / 1000)) us"
awk -v b="$b" -v c="$c" -v k="$k" \
  'BEGIN { printf "ratio blurbo/cp %.1f, blurbo/cat %.1f\n", b / c, b / k }'
