#include "tools/ComLink.h"

#include <cerrno>
#include <cstring>

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

} // namespace

ComLink::ComLink(std::string linkPath, std::string target)
    : m_path(std::move(linkPath)), m_target(std::move(target)), m_outcome(link())
{
}

ComLink::~ComLink()
{
    // Someone may have pointed it elsewhere meanwhile; that link is theirs.
    if (linked() && linkTarget(m_path) == m_target)
        ::unlink(m_path.c_str());
}

ComLink::Outcome ComLink::link()
{
    bool stale = false;
    struct stat info{};
    if (::lstat(m_path.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode))
            return Outcome::RealFile;
        // A pseudo-terminal's node exists only while someone holds its master,
        // so a link to one that is there is live, unless the pty is ours: a
        // killed simulator's link and our new pty can share the number.
        struct stat targetInfo{};
        struct stat ours{};
        m_detail = linkTarget(m_path);
        if (::stat(m_path.c_str(), &targetInfo) == 0
            && !(S_ISCHR(targetInfo.st_mode) && ::stat(m_target.c_str(), &ours) == 0
                 && targetInfo.st_rdev == ours.st_rdev))
            return Outcome::Busy;
        if (::unlink(m_path.c_str()) != 0)
            return refused(errno);
        stale = true;
    }
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
    case Outcome::Busy:
        return m_path + " already points to " + m_detail + ", which is there: left alone.\n"
             + "  Choose another --com number, or if that link is yours: " + linkCommand();
    case Outcome::RealFile:
        return m_path + " is a real device or file: left alone. Choose another --com number.";
    case Outcome::NotPermitted:
        return "could not create " + m_path + " (" + m_detail + "; run as root to have it made).\n"
             + "  Link it yourself:  " + linkCommand();
    case Outcome::Failed:
        return "could not create " + m_path + " (" + m_detail + ").\n  Link it yourself:  " + linkCommand();
    }
    return {};
}
