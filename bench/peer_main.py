"""What the benchmarks' Python peers share: their command line and timing.

  <peer>.py make DIR      writes the peer's documents into DIR
  <peer>.py read FILE N   reads FILE N times and prints
                          "best <seconds> points <count>" for the fastest
                          pass, timed here, so that interpreter start-up is
                          not counted
"""
import sys
import time


def run(make, read_once):
    if sys.argv[1] == "make":
        make(sys.argv[2])
        return
    path, n = sys.argv[2], int(sys.argv[3])
    best = float("inf")
    count = 0
    for _ in range(n):
        t0 = time.perf_counter()
        count = read_once(path)
        best = min(best, time.perf_counter() - t0)
    print(f"best {best:.6f} points {count}")
