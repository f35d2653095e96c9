#pragma once

#include <QString>
#include <vector>

namespace tv::bench {

// Writes a new Tallyvane database of n realistic items (names, item numbers, counts, costs,
// totals, invoices, dates) with the given number of distinct vendors; fails if the file exists.
void generateInventory(const QString &path, int n, int distinctVendors = 1000, unsigned seed = 42);

// Peak resident memory of this process so far, in KiB (VmHWM), and the current one (VmRSS).
long peakRssKiB();
long currentRssKiB();
// Resets the peak resident memory (VmHWM) to what is resident now.
void resetPeak();
// CPU time of this process, every thread: on a machine shared with other work, the fairer figure.
double cpuMs();

// The middle of the figures of several runs.
double median(std::vector<double> figures);

// Milliseconds of a whole shell command, run through /bin/sh; -1 when it fails.
double timeShellMs(const QString &command);

} // namespace tv::bench
