#include "Reader/NoteFiles.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace NoteFiles {

Contents read(const QString& path, qint64 maxBytes)
{
    Contents result;
    // Non-blocking, so opening a FIFO returns at once; not following links.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int cause = errno;
        if (cause == ENOENT || cause == ENOTDIR) return result;
        result.kind = cause == ELOOP ? Kind::Other : Kind::Regular;
        result.error = QString::fromLocal8Bit(std::strerror(cause));
        return result;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        result.kind = Kind::Other;
        return result;
    }
    result.kind = Kind::Regular;
    if (info.st_size > maxBytes) {
        ::close(fd);
        result.tooLarge = true;
        return result;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        result.error = file.errorString();
        ::close(fd);
        return result;
    }
    result.bytes = file.read(maxBytes + 1);
    if (result.bytes.size() > maxBytes) {
        result.bytes.clear();
        result.tooLarge = true;
    } else if (file.error() != QFileDevice::NoError) {
        result.bytes.clear();
        result.error = file.errorString();
    }
    return result;
}

} // namespace NoteFiles
