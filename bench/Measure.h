#pragma once

#include <map>
#include <string>
#include <vector>

double median(std::vector<double> values);
double percentile(std::vector<double> values, double fraction);

// CPU time of every thread of this process, user and system.
double processCpuSeconds();
// How often this process went to sleep of its own accord: its wake-ups.
long voluntarySwitches();

// A field of /proc/self/status in kB (VmRSS, VmHWM), -1 when missing.
long statusKb(const char *field);
// Makes VmHWM start again from the present resident size.
bool resetPeakRss();

// One figure on stdout as "key value", for bench/run.sh to pick up.
void report(const std::string &key, double value);
// Progress and explanations go to stderr, away from the figures.
void note(const char *format, ...) __attribute__((format(printf, 1, 2)));

struct Options
{
    std::map<std::string, double> values;
    double get(const std::string &name, double fallback) const;
};
