#!/usr/bin/env Rscript
# One page for a study: the pooled posterior of the mutation's location in
# every region, in base pairs, one panel a region.
#
# Usage: plot-regions.R MUTLOC-REPORT RESULTS/regions.tsv OUT.pdf
#
# Each panel is the histogram of the pooled trace rows after the burn-in
# (PREFIX.dat, as mutloc-report pools them), turned into base pairs through
# the region's marker table; the line is the pooled median and the shaded
# band the equal-tailed 95 % interval of the study table, the ticks on the
# axis the markers. A region that did not run shows its message instead.

args <- commandArgs(trailingOnly = TRUE)
if (length(args) != 3) {
  cat("usage: plot-regions.R MUTLOC-REPORT RESULTS/regions.tsv OUT.pdf\n", file = stderr())
  quit(save = "no", status = 2)
}
report <- args[1]
if (!file.exists(report)) report <- Sys.which(report)
# mutloc-report's readers (sourced, it runs nothing).
source(report)

study <- read.delim(args[2], colClasses = "character", check.names = FALSE, na.strings = "NA")
results <- dirname(args[2])
number <- function(x) suppressWarnings(as.numeric(x))

regionPanel <- function(row) {
  title <- paste0(row$region, "  (", row$span, ")")
  if (row$status != "ok") {
    plot.new()
    title(main = title, cex.main = 0.9)
    text(0.5, 0.5, paste(strwrap(row$message, 50), collapse = "\n"), cex = 0.75, col = "firebrick")
    return(invisible())
  }
  param <- file.path(results, row$region, "region.txt")
  settings <- readSettings(paste0(param, ".log"))
  trace <- readTrace(paste0(param, ".dat"), settings)
  draws <- as.vector(trace$location[trace$iteration >= settings$burnIn, , drop = FALSE])
  markers <- readMarkerTable(param, settings$markers)
  if (is.null(markers)) {
    values <- draws
    ticks <- settings$markers
    unit <- "Morgans"
    centre <- number(row$location_median)
    band <- number(c(row$location_low, row$location_high))
  } else {
    values <- basePairsAt(markers, draws)
    ticks <- markers$position
    unit <- paste0("base pairs on chromosome ", markers$chromosome)
    centre <- number(row$location_median_bp)
    band <- number(c(row$location_low_bp, row$location_high_bp))
  }
  breaks <- seq(min(ticks), max(ticks), length.out = 41)
  values <- pmin(pmax(values, min(ticks)), max(ticks))
  h <- hist(values, breaks = breaks, plot = FALSE)
  plot(NA, xlim = range(ticks), ylim = c(0, max(h$density) * 1.1), xlab = unit, ylab = "posterior density",
       main = title, cex.main = 0.9, cex.lab = 0.8, xaxt = "n", yaxt = "n")
  at <- pretty(range(ticks))
  axis(1, at = at, labels = format(at, big.mark = ",", scientific = FALSE, trim = TRUE), cex.axis = 0.7)
  rect(band[1], 0, band[2], max(h$density) * 1.1, col = "grey90", border = NA)
  rect(h$breaks[-length(h$breaks)], 0, h$breaks[-1], h$density, col = "steelblue", border = "white")
  abline(v = centre, col = "firebrick", lwd = 2)
  rug(ticks, ticksize = 0.03)
  converged <- if (identical(row$converged, "yes")) "" else ", not converged"
  mtext(sprintf("median %s, R-hat %.3g%s", format(centre, big.mark = ","), number(row$location_rhat), converged),
        side = 3, line = 0.2, cex = 0.65)
}

pdf(args[3], width = 11.69, height = 8.27)  # one A4 page, landscape
n <- nrow(study)
columns <- ceiling(sqrt(n))
par(mfrow = c(ceiling(n / columns), columns), mar = c(4, 4, 3, 1))
for (i in seq_len(n)) regionPanel(study[i, ])
invisible(dev.off())
cat("plot-regions: wrote ", args[3], "\n", sep = "")
