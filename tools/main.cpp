#include "tools/ComLink.h"
#include "tools/SimController.h"
#include "tools/Pty.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

#include <getopt.h>
#include <signal.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

namespace {

constexpr const char *kUsage =
    "usage: quarlin-sim [--com N] [--link-dir DIR | --no-link] [--reply-every-frame] [--quiet-ms MS]\n"
    "Stands in for the relay controller on a pseudo-terminal reachable as COM N (1-8, default 1):\n"
    "prints every frame the program downloads as a table and sends a reply record on request.\n"
    "  --com N              link DIR/comN to the pty (the program opens /dev/comN for COM N)\n"
    "  --link-dir DIR       where to make the link (default /dev)\n"
    "  --no-link            make no link; print the command that makes it\n"
    "  --reply-every-frame  answer each frame with a reply record\n"
    "  --quiet-ms MS        silence after which a frame counts as cut (default 200)\n"
    "  -h, --help           show this text\n"
    "While running: r + Enter sends a reply record, q + Enter quits.\n";

struct Options
{
    int com = 1;
    std::string linkDir = "/dev";
    bool link = true;
    bool replyEveryFrame = false;
    int quietMs = 200;
    bool help = false;
};

std::optional<int> number(const char *text, int low, int high)
{
    char *end = nullptr;
    errno = 0;
    const long value = std::strtol(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || value < low || value > high)
        return std::nullopt;
    return static_cast<int>(value);
}

enum OptionId { ComId = 1, LinkDirId, NoLinkId, ReplyId, QuietId };

// Says what is wrong before the usage, so a rejected call is not a puzzle.
std::optional<Options> rejected(const std::string &why = {})
{
    if (!why.empty())
        std::fprintf(stderr, "quarlin-sim: %s\n", why.c_str());
    std::fputs(kUsage, stderr);
    return std::nullopt;
}

std::optional<Options> parse(int argc, char *argv[])
{
    static const option kOptions[] = {{"com", required_argument, nullptr, ComId},
                                      {"link-dir", required_argument, nullptr, LinkDirId},
                                      {"no-link", no_argument, nullptr, NoLinkId},
                                      {"reply-every-frame", no_argument, nullptr, ReplyId},
                                      {"quiet-ms", required_argument, nullptr, QuietId},
                                      {"help", no_argument, nullptr, 'h'},
                                      {nullptr, 0, nullptr, 0}};
    Options options;
    int id;
    while ((id = ::getopt_long(argc, argv, "h", kOptions, nullptr)) != -1) {
        switch (id) {
        case ComId:
            if (const auto n = number(optarg, 1, 8))
                options.com = *n;
            else
                return rejected("--com " + std::string(optarg)
                                + ": the COM number must be 1 to 8; the program lists only those"
                                  " and opens /dev/comN only for them");
            break;
        case LinkDirId:
            options.linkDir = optarg;
            break;
        case NoLinkId:
            options.link = false;
            break;
        case ReplyId:
            options.replyEveryFrame = true;
            break;
        case QuietId:
            if (const auto n = number(optarg, 10, 60000))
                options.quietMs = *n;
            else
                return rejected("--quiet-ms " + std::string(optarg) + ": must be 10 to 60000 milliseconds");
            break;
        case 'h':
            options.help = true;
            break;
        default:
            // getopt_long has already named the option.
            return rejected();
        }
    }
    if (optind < argc)
        return rejected("unexpected argument \"" + std::string(argv[optind]) + "\"");
    return options;
}

// Started with sudo, the pty would belong to root and the program, run as
// the user, could not open it.
void handToSudoUser(const Pty &pty)
{
    const char *uid = std::getenv("SUDO_UID");
    const char *gid = std::getenv("SUDO_GID");
    if (::geteuid() != 0 || uid == nullptr || gid == nullptr)
        return;
    const auto user = number(uid, 0, 0x7FFFFFFF);
    const auto group = number(gid, 0, 0x7FFFFFFF);
    if (user && group && !pty.giveTo(static_cast<uid_t>(*user), static_cast<gid_t>(*group)))
        std::fprintf(stderr, "quarlin-sim: could not hand %s to user %s: %s\n", pty.slavePath().c_str(), uid,
                     std::strerror(errno));
}

// Ends on SIGINT, SIGTERM or SIGHUP through a descriptor, so the loop can
// take the link away on its way out.
int signalDescriptor()
{
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGHUP);
    if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0)
        return -1;
    return signalfd(-1, &signals, SFD_CLOEXEC);
}

enum class Command { None, Reply, Quit, Unknown };

Command command(std::string line)
{
    while (!line.empty() && (line.back() == '\r' || line.back() == ' '))
        line.pop_back();
    if (line.empty())
        return Command::None;
    if (line == "r" || line == "R")
        return Command::Reply;
    if (line == "q" || line == "Q")
        return Command::Quit;
    return Command::Unknown;
}

// Runs until a signal, q, or a failed line. True for a normal end.
bool run(SimController &controller, int signals)
{
    pollfd fds[3] = {{controller.master(), POLLIN, 0}, {signals, POLLIN, 0}, {STDIN_FILENO, POLLIN, 0}};
    std::string typed;
    for (;;) {
        const int ready = ::poll(fds, 3, controller.holding() ? controller.quietMs() : -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0) {
            std::fprintf(stderr, "quarlin-sim: poll: %s\n", std::strerror(errno));
            return false;
        }
        if (ready == 0) {
            controller.lineQuiet();
            continue;
        }
        if (fds[1].revents != 0)
            return true;
        if (fds[0].revents != 0 && !controller.readLine())
            return false;
        if (fds[2].revents != 0) {
            char buffer[256];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) {
                // No keyboard (started in the background): frames are still shown.
                fds[2].fd = -1;
                continue;
            }
            typed.append(buffer, static_cast<std::size_t>(n));
            for (std::size_t end; (end = typed.find('\n')) != std::string::npos;) {
                const Command c = command(typed.substr(0, end));
                typed.erase(0, end + 1);
                if (c == Command::Quit)
                    return true;
                if (c == Command::Reply) {
                    controller.sendReply();
                } else if (c == Command::Unknown) {
                    std::fputs("Commands: r = send a reply record, q = quit\n", stdout);
                    std::fflush(stdout);
                }
            }
        }
    }
}

void printHeader(const Options &options, const Pty &pty, const ComLink *link)
{
    const std::string linkPath = options.linkDir + "/com" + std::to_string(options.com);
    std::printf("quarlin-sim: relay controller simulator\n");
    std::printf("  pseudo-terminal  %s\n", pty.slavePath().c_str());
    if (link != nullptr)
        std::printf("  COM %d            %s\n", options.com, link->explanation().c_str());
    else
        std::printf("  COM %d            not linked (--no-link). Link it yourself:  sudo ln -sf %s %s\n", options.com,
                    pty.slavePath().c_str(), linkPath.c_str());
    std::printf("Type r + Enter to send a reply record, q + Enter or Ctrl+C to quit.\n");
    std::printf("Waiting for frames on COM %d...\n\n", options.com);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char *argv[])
{
    const auto options = parse(argc, argv);
    if (!options)
        return 2;
    if (options->help) {
        std::fputs(kUsage, stdout);
        return 0;
    }

    Pty pty;
    if (const std::string error = pty.open(); !error.empty()) {
        std::fprintf(stderr, "quarlin-sim: no pseudo-terminal: %s\n", error.c_str());
        return 1;
    }
    handToSudoUser(pty);

    const int signals = signalDescriptor();
    if (signals < 0) {
        std::fprintf(stderr, "quarlin-sim: signalfd: %s\n", std::strerror(errno));
        return 1;
    }

    std::unique_ptr<ComLink> link;
    if (options->link)
        link = std::make_unique<ComLink>(options->linkDir + "/com" + std::to_string(options->com), pty.slavePath());
    printHeader(*options, pty, link.get());

    SimController controller(pty.master(), options->quietMs, options->replyEveryFrame, stdout);
    const bool ok = run(controller, signals);
    if (link && link->linked())
        std::printf("Removing the link %s/com%d.\n", options->linkDir.c_str(), options->com);
    link.reset();
    ::close(signals);
    return ok ? 0 : 1;
}
