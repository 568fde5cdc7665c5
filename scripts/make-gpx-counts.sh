#!/usr/bin/env bash
# Counts the waypoints, routes, route points, tracks, track segments and
# track points of every GPX file in a folder with xmllint (not with our own
# reader), as the GPX reader sees them: element names compared as written
# (prefix included) without regard to letter case, the root being the
# document element named gpx. Files xmllint cannot parse are left out.
#
#   scripts/make-gpx-counts.sh tests/data/realworld > tests/formats/realworld_counts.tsv
set -euo pipefail
dir=${1:?usage: make-gpx-counts.sh DIR}

up=ABCDEFGHIJKLMNOPQRSTUVWXYZ
lo=abcdefghijklmnopqrstuvwxyz
is() { echo "translate(name(),'$up','$lo')='$1'"; }
root="/*[$(is gpx)]"

echo -e "# file\twpt\trte\trtept\ttrk\ttrkseg\ttrkpt"
echo "# made by scripts/make-gpx-counts.sh with xmllint --xpath"
for f in "$dir"/*.gpx; do
  xmllint --nonet --noout "$f" >/dev/null 2>&1 || continue
  count() { xmllint --nonet --xpath "count($1)" "$f" 2>/dev/null; }
  wpt=$(count "$root/*[$(is wpt)]")
  rte=$(count "$root/*[$(is rte)]")
  rtept=$(count "$root/*[$(is rte)]/*[$(is rtept)]")
  trk=$(count "$root/*[$(is trk)]")
  trkseg=$(count "$root/*[$(is trk)]/*[$(is trkseg)]")
  trkpt=$(count "$root/*[$(is trk)]/*[$(is trkseg)]/*[$(is trkpt)]")
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(basename "$f")" "$wpt" "$rte" "$rtept" "$trk" "$trkseg" "$trkpt"
done
