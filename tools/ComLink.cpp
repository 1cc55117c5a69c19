#include "tools/ComLink.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Where a symbolic link points, or empty.
std::string linkTarget(const std::string &path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
}

// The record is "PID pty\n"; what a crash cut short reads as no record.
std::string readRecord(int fd)
{
    char buffer[4200];
    const ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
    const std::string text = n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    return text.empty() || text.back() != '\n' ? std::string() : text.substr(0, text.size() - 1);
}

std::string recordPid(const std::string &record)
{
    return record.substr(0, record.find(' '));
}

std::string recordPty(const std::string &record)
{
    const auto space = record.find(' ');
    return space == std::string::npos ? std::string() : record.substr(space + 1);
}

} // namespace

ComLink::ComLink(std::string linkPath, std::string target)
    : m_path(std::move(linkPath)), m_record(m_path + ".quarlin-sim"), m_target(std::move(target)),
      m_outcome(link())
{
    if (!linked())
        releaseRecord();
}

ComLink::~ComLink()
{
    // Someone may have pointed it elsewhere meanwhile; that link is theirs.
    if (linked() && linkTarget(m_path) == m_target)
        ::unlink(m_path.c_str());
    releaseRecord();
}

void ComLink::releaseRecord()
{
    if (m_recordFd < 0)
        return;
    // Removed while still locked, so no other simulator takes it in between.
    ::unlink(m_record.c_str());
    ::close(m_recordFd);
    m_recordFd = -1;
}

// Locks the record of COM n for this simulator and says which pty the dead
// simulator before it linked, if any; Running while a live one holds it.
std::optional<ComLink::Outcome> ComLink::claimRecord(std::string &madeFor)
{
    // A record removed by its simulator between our open and our lock is
    // an orphan: lock the one that is at the path now.
    for (int attempt = 0; attempt < 5; ++attempt) {
        int fd = ::open(m_record.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
        const int openError = errno;
        if (fd < 0)
            fd = ::open(m_record.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            return refused(openError);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            m_detail = recordPid(readRecord(fd));
            ::close(fd);
            return Outcome::Running;
        }
        struct stat locked{};
        struct stat atPath{};
        if (::fstat(fd, &locked) == 0 && ::lstat(m_record.c_str(), &atPath) == 0 && locked.st_ino == atPath.st_ino
            && locked.st_dev == atPath.st_dev) {
            if ((::fcntl(fd, F_GETFL) & O_ACCMODE) != O_RDWR) {
                ::close(fd);
                return refused(openError);
            }
            madeFor = recordPty(readRecord(fd));
            m_recordFd = fd;
            return std::nullopt;
        }
        ::close(fd);
    }
    return refused(EAGAIN);
}

ComLink::Outcome ComLink::link()
{
    struct stat info{};
    const bool present = ::lstat(m_path.c_str(), &info) == 0;
    if (present && !S_ISLNK(info.st_mode))
        return Outcome::RealFile;
    std::string madeFor;
    if (const auto notClaimed = claimRecord(madeFor))
        return *notClaimed;

    bool stale = false;
    if (present) {
        m_detail = linkTarget(m_path);
        // A pseudo-terminal's node exists only while someone holds its master,
        // so a link to one that is there is live, unless it is ours or the
        // one a simulator that is gone made (its number may now be another's).
        struct stat targetInfo{};
        struct stat ours{};
        const bool there = ::stat(m_path.c_str(), &targetInfo) == 0;
        const bool ourPty = there && S_ISCHR(targetInfo.st_mode) && ::stat(m_target.c_str(), &ours) == 0
                         && targetInfo.st_rdev == ours.st_rdev;
        const bool deadSimulators = !madeFor.empty() && m_detail == madeFor;
        if (there && !ourPty && !deadSimulators)
            return Outcome::Busy;
        if (::unlink(m_path.c_str()) != 0)
            return refused(errno);
        stale = true;
    }
    const std::string record = std::to_string(::getpid()) + " " + m_target + "\n";
    if (::ftruncate(m_recordFd, 0) != 0
        || ::pwrite(m_recordFd, record.data(), record.size(), 0) != static_cast<ssize_t>(record.size()))
        return refused(errno);
    if (::symlink(m_target.c_str(), m_path.c_str()) != 0)
        return refused(errno);
    return stale ? Outcome::ReplacedStale : Outcome::Made;
}

ComLink::Outcome ComLink::refused(int error)
{
    m_detail = std::strerror(error);
    return error == EACCES || error == EPERM || error == EROFS ? Outcome::NotPermitted : Outcome::Failed;
}

std::string ComLink::linkCommand() const
{
    return "sudo ln -sf " + m_target + " " + m_path;
}

std::string ComLink::explanation() const
{
    switch (m_outcome) {
    case Outcome::Made:
        return m_path + " -> " + m_target + " (removed again when the simulator ends)";
    case Outcome::ReplacedStale:
        return m_path + " -> " + m_target + " (replaced a stale link to " + m_detail
             + "; removed again when the simulator ends)";
    case Outcome::Running:
        return m_path + " belongs to another simulator that is running"
             + (m_detail.empty() ? std::string() : " (PID " + m_detail + ")")
             + ": left alone. Choose another --com number.";
    case Outcome::Busy:
        return m_path + " already points to " + m_detail + ", which is there: left alone.\n"
             + "  Choose another --com number, or if that link is yours: " + linkCommand();
    case Outcome::RealFile:
        return m_path + " is a real device, directory or file: left alone. Choose another --com number.";
    case Outcome::NotPermitted:
        return "could not create " + m_path + " (" + m_detail + "; run as root to have it made).\n"
             + "  Link it yourself:  " + linkCommand();
    case Outcome::Failed:
        return "could not create " + m_path + " (" + m_detail + ").\n  Link it yourself:  " + linkCommand();
    }
    return {};
}
