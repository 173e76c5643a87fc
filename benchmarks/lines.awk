# n polylines of eight vertices as CSV with WKT (fields id, name, WKT), the
# same for every run: awk -v n=1000000 -f benchmarks/lines.awk
BEGIN {
  srand(42); print "id,name,WKT"
  for (i = 0; i < n; i++) {
    x = -180 + rand() * 350; y = -80 + rand() * 155
    line = sprintf("%.6f %.6f", x, y)
    for (v = 1; v < 8; v++) { x += rand() * 0.05; y += rand() * 0.05 - 0.025; line = line sprintf(",%.6f %.6f", x, y) }
    printf "%d,line %d,\"LINESTRING (%s)\"\n", i, i, line
  }
}
