#include "app/AppInstance.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

AppInstance::Error posixError(int code)
{
    // A value the system does not name is reported as an I/O error.
    if (code <= 0)
        code = EIO;
    return {code, QString::fromLocal8Bit(std::strerror(code))};
}

// mkdir -p, giving only the folders it creates the mode 0700.
int makePath(const QByteArray& path)
{
    for (qsizetype i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/')
            continue;
        const QByteArray part = path.left(i);
        if (::mkdir(part.constData(), 0700) == 0)
            continue;
        const int error = errno;
        struct stat info {};
        if (error == EEXIST && ::stat(part.constData(), &info) == 0 && S_ISDIR(info.st_mode))
            continue;
        return error == EEXIST ? ENOTDIR : error;
    }
    return 0;
}

} // namespace

AppInstance::Result AppInstance::acquire(const QString& directory)
{
    const QByteArray folder = QFile::encodeName(directory);
    if (const int error = makePath(folder))
        return posixError(error);

    const QByteArray lockPath = folder + "/app.lock";
    const int fd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return posixError(errno);

    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_uid != ::getuid() || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return posixError(EACCES);
    }

    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return posixError(error);
    }
    return std::unique_ptr<AppInstance>(new AppInstance(fd));
}

AppInstance::~AppInstance()
{
    ::close(m_descriptor);
}
