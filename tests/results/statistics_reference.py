#!/usr/bin/env python3
"""The reference figures of lot_statistics_test.cpp's fixed lot, computed
with Python's statistics module rather than Orvik's code. Run it and paste
its output into the test's table when the lot changes."""
import statistics

# Averages (ohms) of twelve coupons of a 50-ohm test, limits 49.5 to 50.8 ohms.
lot = [50.12, 49.87, 50.31, 50.05, 49.66, 50.48, 50.22, 49.94, 50.09, 50.37, 49.78, 50.15]
lsl, usl = 49.5, 50.8

mean = statistics.fmean(lot)
sd = statistics.stdev(lot)
ranges = [abs(b - a) for a, b in zip(lot, lot[1:])]
mr = statistics.fmean(ranges)
figures = {
    "mean": mean,
    "sd": sd,
    "min": min(lot),
    "max": max(lot),
    "cp": (usl - lsl) / (6 * sd),
    "cpk": min(usl - mean, mean - lsl) / (3 * sd),
    "mean_moving_range": mr,
    "lower": mean - 2.66 * mr,
    "upper": mean + 2.66 * mr,
    "range_upper": 3.267 * mr,
}
for name, value in figures.items():
    print(f"{{\"{name}\", {value!r}}},")
