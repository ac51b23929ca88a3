#include "DocumentFile.h"

#include "xml/Dom.h"

#include <cerrno>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace xml::detail {

namespace {

ReadStatus FromOpenErrno(int err) {
    return err == EACCES || err == EPERM ? ReadStatus::AccessDenied : ReadStatus::NotFound;
}

ReadStatus Classify(const struct stat& st) {
    if (S_ISDIR(st.st_mode))
        return ReadStatus::AccessDenied;
    if (!S_ISREG(st.st_mode))
        return ReadStatus::NotRegular;
    if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) > kMaxDocumentBytes)
        return ReadStatus::TooLarge;
    return ReadStatus::Ok;
}

struct FileDescriptor {
    int fd;
    ~FileDescriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

ReadStatus ReadDocumentFile(const std::string& path, std::string& out, int& error) noexcept {
    out.clear();
    error = 0;
    // The path is looked at before opening so that a FIFO is never opened for reading (which
    // would wait for a writer) and a device such as /dev/zero is never read.
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return FromOpenErrno(errno);
    if (const ReadStatus s = Classify(st); s != ReadStatus::Ok)
        return s;
    // The path may have been replaced since: O_NONBLOCK keeps even a FIFO from blocking the open,
    // and the descriptor itself is checked again.
    const FileDescriptor file{::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY)};
    if (file.fd < 0)
        return FromOpenErrno(errno);
    if (::fstat(file.fd, &st) != 0) {
        error = errno;
        return ReadStatus::ReadFailed;
    }
    if (const ReadStatus s = Classify(st); s != ReadStatus::Ok)
        return s;
    try {
        // Read until the end rather than trusting the size: the file may grow or shrink meanwhile.
        constexpr std::size_t kChunk = 1 << 16;
        out.reserve(static_cast<std::size_t>(st.st_size) + kChunk);
        for (;;) {
            const std::size_t used = out.size();
            out.resize(used + kChunk);
            const ssize_t n = ::read(file.fd, out.data() + used, kChunk);
            if (n < 0) {
                out.resize(used);
                if (errno == EINTR)
                    continue;
                error = errno;
                out.clear();
                return ReadStatus::ReadFailed;
            }
            out.resize(used + static_cast<std::size_t>(n));
            if (n == 0)
                break;
            if (out.size() > kMaxDocumentBytes) {
                out.clear();
                return ReadStatus::TooLarge;
            }
        }
    } catch (const std::bad_alloc&) {
        out.clear();
        out.shrink_to_fit();
        error = ENOMEM;
        return ReadStatus::OutOfMemory;
    }
    return ReadStatus::Ok;
}

pugi::xml_node FirstTooDeep(pugi::xml_node top, int topDepth) noexcept {
    pugi::xml_node n = top.first_child();
    int depth = topDepth + 1;
    while (n) {
        if (depth > kMaxElementDepth && n.type() == pugi::node_element)
            return n;
        if (pugi::xml_node child = n.first_child()) {
            n = child;
            ++depth;
            continue;
        }
        while (!n.next_sibling()) {
            n = n.parent();
            --depth;
            if (!n || n == top)
                return {};
        }
        n = n.next_sibling();
    }
    return {};
}

} // namespace xml::detail
