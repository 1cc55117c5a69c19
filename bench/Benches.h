#pragma once

#include "bench/Measure.h"

// Each returns the process exit code; figures go out through report().
int runIdle(int &argc, char **argv, const Options &options);
int runDownload(int &argc, char **argv, const Options &options);
int runReceive(const Options &options);
int runFrame(const Options &options);
