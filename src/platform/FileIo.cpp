#include "platform/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <random>

namespace q417 {
namespace {

std::string ErrnoText(const char* what, const std::string& path) {
    return std::string(what) + " " + path + ": " + std::strerror(errno);
}

// Closes a descriptor on every path out of a function.
struct FdGuard {
    int fd = -1;
    ~FdGuard() {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

}  // namespace

FileReadResult ReadWholeFile(const std::string& path, std::size_t maxBytes) {
    FileReadResult result;
    FdGuard guard{::open(path.c_str(), O_RDONLY | O_CLOEXEC)};
    if (guard.fd < 0) {
        result.status =
            (errno == ENOENT || errno == ENOTDIR) ? ReadStatus::Missing : ReadStatus::Error;
        result.error = ErrnoText("cannot open", path);
        return result;
    }
    struct stat st {};
    if (::fstat(guard.fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        result.status = ReadStatus::Error;
        result.error = "not a file: " + path;
        return result;
    }
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(guard.fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            result.status = ReadStatus::Error;
            result.error = ErrnoText("cannot read", path);
            result.data.clear();
            return result;
        }
        if (n == 0) {
            break;
        }
        if (result.data.size() + static_cast<std::size_t>(n) > maxBytes) {
            result.status = ReadStatus::TooLarge;
            result.error = "file too large: " + path;
            result.data.clear();
            return result;
        }
        result.data.append(buf, static_cast<std::size_t>(n));
    }
    result.status = ReadStatus::Ok;
    return result;
}

bool WriteFileAtomically(const std::string& path, std::string_view data, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    std::size_t slash = path.find_last_of('/');
    std::string dir = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
    std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::random_device rd;
    std::string tmp = dir + "/." + base + ".tmp" + std::to_string(rd());

    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return fail(ErrnoText("cannot create", tmp));
    }
    const char* p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::string why = ErrnoText("cannot write", tmp);
            ::close(fd);
            ::unlink(tmp.c_str());
            return fail(why);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) {
        std::string why = ErrnoText("cannot flush", tmp);
        ::close(fd);
        ::unlink(tmp.c_str());
        return fail(why);
    }
    if (::close(fd) != 0) {
        std::string why = ErrnoText("cannot close", tmp);
        ::unlink(tmp.c_str());
        return fail(why);
    }
    if (::rename(tmp.c_str(), path.c_str()) != 0) {
        std::string why = ErrnoText("cannot replace", path);
        ::unlink(tmp.c_str());
        return fail(why);
    }
    return true;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsBareFileName(std::string_view name) {
    if (name.empty() || name == "." || name == "..") {
        return false;
    }
    for (char c : name) {
        if (c == '/' || c == '\\' || c == '\0') {
            return false;
        }
    }
    return name.find("..") == std::string_view::npos;
}

}  // namespace q417
