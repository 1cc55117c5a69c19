#include "bench/Benches.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void usage()
{
    std::fputs("usage: quarlin-bench idle|download|receive|frame [--name value ...]\n"
               "  idle      --seconds 5 --runs 3   CPU of the connected window, no data / reception / 960 B/s\n"
               "  download  --runs 50              click on DownLoad to the 27th byte on the line\n"
               "  receive   --runs 5               ReplyReceiver::feed over 1 MB and 16 MB streams\n"
               "  frame     --batches 9 --batch 100000   ReadTimeTable plus BuildDownloadFrame\n"
               "Figures are printed as \"key value\" lines; bench/run.sh makes the table.\n",
               stderr);
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc < 2) {
        usage();
        return 2;
    }
    const std::string command = argv[1];
    Options options;
    for (int i = 2; i + 1 < argc; i += 2) {
        if (std::strncmp(argv[i], "--", 2) != 0) {
            usage();
            return 2;
        }
        options.values[argv[i] + 2] = std::strtod(argv[i + 1], nullptr);
    }

    // Qt only sees the program name: the options are the bench's own.
    int qtArgc = 1;
    if (command == "idle")
        return runIdle(qtArgc, argv, options);
    if (command == "download")
        return runDownload(qtArgc, argv, options);
    if (command == "receive")
        return runReceive(options);
    if (command == "frame")
        return runFrame(options);
    usage();
    return 2;
}
