# Draws a distribution file of varnoth as a step curve, to PNG.
#   gnuplot -e "cdf='delays.cdf'; png='delays-cdf.png'" examples/plot-cdf.gp
# The optional `label` names the samples on the x axis (default: "sample").
if (!exists("cdf")) cdf = "delays.cdf"
if (!exists("png")) png = "delays-cdf.png"
if (!exists("label")) label = "sample"

set terminal pngcairo size 800,500 font ",11"
set output png
set title "Empirical cumulative distribution"
set xlabel label
set ylabel "fraction at or below"
set xrange [0:1]
set yrange [0:1.02]
set grid
set key off
plot cdf using 1:2 with steps linewidth 2
