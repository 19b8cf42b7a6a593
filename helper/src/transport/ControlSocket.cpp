#include "transport/ControlSocket.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace ovrin::helper {

namespace {

std::string lastError()
{
    return std::strerror(errno);
}

// True when something accepts connections on the socket file at `path`.
bool answers(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

} // namespace

ControlSocket::ControlSocket(boost::asio::io_context& io)
    : m_acceptor(boost::asio::make_strand(io))
{}

ControlSocket::~ControlSocket()
{
    close();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

ControlSocket::Result ControlSocket::open(const DataFolder& folder, std::string& error)
{
    // Never through a symbolic link: that would create or lock whatever file it names.
    m_lockFd = ::open(folder.lock().c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (m_lockFd < 0) {
        error = errno == ELOOP
                    ? folder.lock().string() + " is a symbolic link; refusing to follow it"
                    : "cannot open " + folder.lock().string() + ": " + lastError();
        return Result::Failed;
    }
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        error = "another helper is already running for " + folder.root.string();
        return errno == EWOULDBLOCK ? Result::Busy : Result::Failed;
    }

    const std::string path = folder.socket().string();
    if (path.size() >= sizeof(sockaddr_un::sun_path)) {
        error = "socket path too long (" + std::to_string(path.size()) + " bytes): " + path;
        return Result::Failed;
    }
    struct stat info {};
    if (::lstat(path.c_str(), &info) == 0) {
        if (S_ISLNK(info.st_mode)) {
            error = path + " is a symbolic link; refusing to follow it";
            return Result::Failed;
        }
        if (!S_ISSOCK(info.st_mode)) {
            error = path + " exists and is not a socket; not touching it";
            return Result::Failed;
        }
        if (answers(path)) {
            error = "another program already answers on " + path + "; not taking it over";
            return Result::Busy;
        }
        if (::unlink(path.c_str()) != 0) {
            error = "cannot remove the stale socket " + path + ": " + lastError();
            return Result::Failed;
        }
        m_removedStale = true;
    }

    boost::system::error_code ec;
    const boost::asio::local::stream_protocol::endpoint endpoint(path);
    m_acceptor.open(endpoint.protocol(), ec);
    if (!ec) {
        // The socket file is made 0600 by the umask: bind() never follows a symbolic link,
        // while a chmod() by path would.
        const mode_t previous = ::umask(0177);
        m_acceptor.bind(endpoint, ec);
        ::umask(previous);
    }
    if (ec) {
        error = "cannot listen on " + path + ": " + ec.message();
        return ec == boost::asio::error::address_in_use ? Result::Busy : Result::Failed;
    }
    // From here on the file is ours: close() removes it, unless it was replaced.
    m_path = path;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISSOCK(info.st_mode)) {
        error = path + " was replaced while the socket was being created";
        m_path.clear();
        return Result::Failed;
    }
    m_device = info.st_dev;
    m_inode = info.st_ino;
    m_acceptor.listen(boost::asio::socket_base::max_listen_connections, ec);
    if (ec) {
        error = "cannot listen on " + path + ": " + ec.message();
        return Result::Failed;
    }
    return Result::Listening;
}

void ControlSocket::close()
{
    boost::system::error_code ignored;
    m_acceptor.close(ignored);
    if (m_path.empty())
        return;
    struct stat info {};
    if (::lstat(m_path.c_str(), &info) == 0 && info.st_dev == m_device && info.st_ino == m_inode)
        ::unlink(m_path.c_str());
    m_path.clear();
}

} // namespace ovrin::helper
