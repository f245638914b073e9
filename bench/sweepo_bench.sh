#!/usr/bin/env bash
# Times sweepo on a node with 5,000 areas on both sides: a Squish
# configuration of 5,000 EchoArea lines among the usual other lines, and a
# GoldED include file of 5,000 AREADEF lines in another order, one in ten
# of them for areas the configuration does not define. Every AREADEF line
# rereads the configuration up to its area, so the run scans millions of
# lines; the report gives lines scanned per second and the time of
# `cat`-ing the configuration 5,000 times in one process, for scale.
#
#   bench/sweepo_bench.sh [path/to/sweepo] [areas]
#
# With KEEP=1 the generated node stays in /tmp for a profiler.
set -euo pipefail
cd "$(dirname "$0")/.."
sweepo=$(realpath "${1:-build/bin/sweepo}")
areas=${2:-5000}
[[ -x $sweepo ]] || { echo "no program at $sweepo; build first" >&2; exit 1; }

node=$(mktemp -d /tmp/sweepo-bench-XXXXXX)
if [[ ${KEEP:-} == 1 ]]; then
  echo "node kept in $node"
else
  trap 'rm -rf "$node"' EXIT
fi
cd "$node"
winpath() { printf '%s' "$node/$1" | tr / '\\'; }

# The configuration, CR LF as on the node: header, addresses, netmail and
# the special areas, then the echo areas in blocks with comments.
awk -v n="$areas" 'BEGIN {
  srand(1)
  print ";\r\n; SQUISH.CFG of 2:5020/9999\r\n;\r"
  print "Address 2:5020/9999\r\nAddress 2:5020/9999.1\r\nOrigin The Bench Node\r"
  print "Compress C:\\SQUISH\\COMPRESS.CFG\r\nRouting C:\\SQUISH\\ROUTE.CFG\r"
  print "Outbound C:\\OUTBOUND\r\nNetFile C:\\INBOUND\r\nLogFile C:\\SQUISH\\SQUISH.LOG\r"
  print "ArcmailAttach\r\nStripAttributes\r\nLinks 2:5020/1 2:5020/2 2:5020/3\r\n;\r"
  print "NetArea   NETMAIL    C:\\MAIL\\NETMAIL\r"
  print "BadArea   BAD_MSGS   C:\\MAIL\\BAD\r\nDupeArea  DUPES      C:\\MAIL\\DUPES\r\n;\r"
  for (i = 1; i <= n; i++) {
    if (i % 100 == 1) printf "; ---- group %d ----\r\n", int(i / 100)
    if (i % 37 == 0) printf ";EchoArea OLD.%05d C:\\MAIL\\OLD\\O%05d -$\r\n", i, i
    printf "EchoArea FIDO.AREA.%05d C:\\MAIL\\ECHO\\A%05d -$ -p2:5020/9999 2:5020/%d 2:5020/%d\r\n", i, i, i % 50, 100 + i % 7
  }
}' > squish.cfg

# The include file: header and separators, AREADEF lines in a shuffled
# order, every tenth one for an area the configuration lacks.
awk -v n="$areas" 'BEGIN {
  srand(2)
  for (i = 1; i <= n; i++) order[i] = i
  for (i = n; i > 1; i--) { j = int(rand() * i) + 1; t = order[i]; order[i] = order[j]; order[j] = t }
  print "; GoldED areas\r\nAREASEP ! \"Echomail\" 0 Echo\r"
  for (k = 1; k <= n; k++) {
    i = order[k]
    tag = (k % 10 == 0) ? sprintf("GONE.AREA.%05d", i) : sprintf("FIDO.AREA.%05d", i)
    printf "AREADEF %s \"Area %d\" 0 Echo Squish C:\\MAIL\\ECHO\\A%05d 2:5020/9999\r\n", tag, i, i
  }
}' > GOLDAREA.INC

printf 'SquishPath=%s\r\nEdit1=%s\r\n' "$(winpath squish.cfg)" "$(winpath GOLDAREA.INC)" > Sweepor.dat

# Lines scanned: for a defined area up to and with its area line, for an
# undefined one the whole configuration.
read -r scanned scanned_bytes < <(awk '
  FNR == NR {
    upto += length($0) + 1; sub(/\r$/, "")
    if (toupper($1) == "ECHOAREA" && !($2 in at)) { at[$2] = FNR; bytes[$2] = upto }
    total = FNR; all = upto; next
  }
  toupper($1) == "AREADEF" {
    if ($2 in at) { s += at[$2]; b += bytes[$2] } else { s += total; b += all }
  }
  END { printf "%d %d\n", s, b }' squish.cfg GOLDAREA.INC)
config_lines=$(wc -l < squish.cfg)
config_bytes=$(wc -c < squish.cfg)

now() { date +%s.%N; }
t0=$(now)
"$sweepo" Exec > out.txt < /dev/null || true
t1=$(now)
seq "$areas" | sed "s/.*/squish.cfg/" | xargs cat > /dev/null
t2=$(now)

marker=$(cat Sweepor.End 2>/dev/null || echo none)
summary_total=$(grep -c '^Processing ' out.txt || true)
kept=$(grep -c '^AREADEF ' GOLDAREA.INC || true)
awk -v a="$t0" -v b="$t1" -v c="$t2" -v s="$scanned" -v sb="$scanned_bytes" -v lines="$config_lines" \
    -v bytes="$config_bytes" -v n="$areas" -v m="$marker" -v p="$summary_total" \
    -v kept="$kept" 'BEGIN {
  sw = b - a; ct = c - b
  printf "configuration: %d lines, %d bytes; include: %d AREADEF lines\n", lines, bytes, n
  printf "sweepo: marker %s, %d processed, %d kept, %.3f s\n", m, p, kept, sw
  printf "lines scanned: %d, %.1f million lines/s\n", s, s / sw / 1e6
  printf "bytes scanned: %d, %.2f GB/s\n", sb, sb / sw / 1e9
  printf "cat of the configuration %d times: %.3f s, %.2f GB/s\n", n, ct, bytes * n / ct / 1e9
  printf "sweepo / cat: %.2f\n", sw / ct
}'
