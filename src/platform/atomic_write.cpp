#include "platform/atomic_write.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <set>
#include <random>
#include <vector>

namespace tw::platform {

namespace {

constexpr int kMaxLinkHops = 40;
constexpr int kTempAttempts = 100;

std::string parent_of(const std::string& p) {
    const auto pos = p.find_last_of('/');
    if (pos == std::string::npos) return ".";
    if (pos == 0) return "/";
    return p.substr(0, pos);
}

std::string name_of(const std::string& p) {
    const auto pos = p.find_last_of('/');
    return pos == std::string::npos ? p : p.substr(pos + 1);
}

std::string join(const std::string& folder, const std::string& name) {
    if (!name.empty() && name.front() == '/') return name;
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// A short name (well within NAME_MAX whatever the target's name is length),
// hidden, unlikely to collide; created with O_EXCL anyway.
std::string temp_name() {
    static std::mt19937_64 rng([] {
        std::random_device rd;
        const auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        return (static_cast<std::uint64_t>(rd()) << 32) ^ rd() ^ now ^ static_cast<std::uint64_t>(::getpid());
    }());
    static constexpr char kChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::string name = ".tw-";
    std::uint64_t r = rng();
    for (int i = 0; i < 8; ++i) {
        name += kChars[r % (sizeof(kChars) - 1)];
        r /= sizeof(kChars) - 1;
    }
    return name + ".tmp";
}

// Temporary files not yet renamed or removed, for abandon_unfinished_files().
struct Unfinished {
    std::mutex lock;
    std::set<std::string> temps;
    bool abandoned = false;
};
Unfinished& unfinished() {
    static Unfinished u;
    return u;
}
void forget_temp(const std::string& t) {
    std::lock_guard<std::mutex> g(unfinished().lock);
    unfinished().temps.erase(t);
}

std::string reason(int err) { return std::strerror(err); }

void set_error(std::string* error, const std::string& text) {
    if (error != nullptr) *error = text;
}

bool close_fd(int fd) {
    // After close() fails with EINTR the descriptor is gone on Linux; do not retry.
    return ::close(fd) == 0 || errno == EINTR;
}

void sync_folder(const std::string& folder) {
    const int dfd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dfd < 0) return;
    ::fsync(dfd);  // best effort: the rename is done either way
    ::close(dfd);
}

}  // namespace

AtomicFile::~AtomicFile() { discard(); }

void AtomicFile::fail(std::string* error, const std::string& what, int err) {
    set_error(error, what + ": " + reason(err));
    discard();
}

bool AtomicFile::open(const std::string& path, std::string* error) {
    discard();
    requested_ = path;
    target_.clear();
    folder_.clear();
    direct_ = false;
    had_old_ = false;
    if (path.empty()) {
        set_error(error, "No file name was given; give a file name");
        return false;
    }

    // A device or pipe reached through any link, also one whose text is no
    // path (/dev/stdout -> /proc/self/fd/1 -> "pipe:[...]"), is written as it is.
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISFIFO(st.st_mode)))
        return open_direct(path, path, error);

    // Follow symbolic links to the file that will really be written.
    std::string p = path;
    bool exists = false;
    for (int hops = 0;; ++hops) {
        if (::lstat(p.c_str(), &st) != 0) {
            const int e = errno;
            if (e == ENOENT) break;
            if (e == ENOTDIR) {
                set_error(error, "Cannot write " + path + ": a part of its folder path is not a folder");
                return false;
            }
            fail(error, "Cannot write " + path, e);
            return false;
        }
        if (!S_ISLNK(st.st_mode)) {
            exists = true;
            break;
        }
        if (hops >= kMaxLinkHops) {
            fail(error, "Cannot write " + path, ELOOP);
            return false;
        }
        std::vector<char> buf(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 2);
        const ssize_t n = ::readlink(p.c_str(), buf.data(), buf.size());
        if (n < 0 || static_cast<std::size_t>(n) >= buf.size()) {
            fail(error, "Cannot follow the link " + p, n < 0 ? errno : ENAMETOOLONG);
            return false;
        }
        p = join(parent_of(p), std::string(buf.data(), static_cast<std::size_t>(n)));
    }

    if (exists && S_ISDIR(st.st_mode)) {
        set_error(error, path + " is a folder; give a file name");
        return false;
    }
    if (name_of(p).empty()) {
        set_error(error, path + " names a folder, not a file; give a file name");
        return false;
    }
    if (exists && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode) || S_ISFIFO(st.st_mode))) return open_direct(path, p, error);
    if (exists && !S_ISREG(st.st_mode)) {
        set_error(error, path + " is neither a file, a device nor a pipe; give a file name");
        return false;
    }
    if (exists) {
        had_old_ = true;
        old_mode_ = st.st_mode & 07777;
        old_uid_ = st.st_uid;
        old_gid_ = st.st_gid;
    }

    folder_ = parent_of(p);
    if (!exists) {
        struct stat fst {};
        if (::stat(folder_.c_str(), &fst) != 0) {
            const int e = errno;
            if (e == ENOENT) {
                set_error(error, "Cannot write " + path + ": the folder " + folder_ + " does not exist");
            } else {
                fail(error, "Cannot write " + path, e);
            }
            return false;
        }
        if (!S_ISDIR(fst.st_mode)) {
            set_error(error, "Cannot write " + path + ": " + folder_ + " is not a folder");
            return false;
        }
    }
    // Mode 0666 lets the umask (or the folder's default ACL) decide a new
    // file's permissions; an old file's are restored in commit().
    for (int attempt = 0; attempt < kTempAttempts; ++attempt) {
        const std::string t = join(folder_, temp_name());
        std::unique_lock<std::mutex> g(unfinished().lock);
        if (unfinished().abandoned) {
            set_error(error, "Cannot write " + path + ": the program is ending");
            return false;
        }
        const int fd = ::open(t.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            unfinished().temps.insert(t);
            fd_ = fd;
            temp_ = t;
            target_ = p;
            return true;
        }
        if (errno != EEXIST) {
            fail(error, "Cannot write in the folder " + folder_, errno);
            return false;
        }
    }
    fail(error, "Cannot write in the folder " + folder_, EEXIST);
    return false;
}

bool AtomicFile::open_direct(const std::string& path, const std::string& real, std::string* error) {
    // A device or pipe is written as it is; replacing it would break it.
    // Opening a FIFO waits until someone reads it.
    const int fd = ::open(real.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        fail(error, "Cannot write " + path, errno);
        return false;
    }
    fd_ = fd;
    direct_ = true;
    target_ = real;
    return true;
}

bool AtomicFile::write_all(const void* data, std::size_t size, std::string* error) {
    if (fd_ < 0) {
        set_error(error, "Cannot write " + requested_ + ": it is not open");
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd_, bytes + done, size - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(error, "Cannot write " + requested_, errno);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool AtomicFile::commit(std::string* error) {
    if (fd_ < 0) {
        set_error(error, "Cannot write " + requested_ + ": it is not open");
        return false;
    }
    if (direct_) {
        // Devices and pipes may not support fsync; that is no failure.
        if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS && errno != ENOTSUP) {
            fail(error, "Cannot write " + requested_, errno);
            return false;
        }
        const int fd = fd_;
        fd_ = -1;
        if (!close_fd(fd)) {
            set_error(error, "Cannot write " + requested_ + ": " + reason(errno));
            return false;
        }
        return true;
    }
    if (had_old_) {
        // Keep owner and group where allowed (root, or a group the user is
        // in); permissions after that, since a change of owner clears the
        // set-id bits.
        struct stat now {};
        if (::fstat(fd_, &now) == 0 && (now.st_uid != old_uid_ || now.st_gid != old_gid_)) {
            if (::fchown(fd_, old_uid_, old_gid_) != 0) (void)::fchown(fd_, static_cast<uid_t>(-1), old_gid_);
        }
        if (::fchmod(fd_, static_cast<mode_t>(old_mode_)) != 0) {
            fail(error, "Cannot write " + requested_, errno);
            return false;
        }
    }
    if (::fsync(fd_) != 0) {
        fail(error, "Cannot write " + requested_, errno);
        return false;
    }
    const int fd = fd_;
    fd_ = -1;
    if (!close_fd(fd)) {
        fail(error, "Cannot write " + requested_, errno);
        return false;
    }
    {
        // Renamed under the lock, so that an abandon either removes the
        // temporary file before or finds it renamed.
        std::lock_guard<std::mutex> g(unfinished().lock);
        if (unfinished().abandoned) {
            set_error(error, "Cannot write " + requested_ + ": the program is ending");
            temp_.clear();
            return false;
        }
        if (::rename(temp_.c_str(), target_.c_str()) != 0) {
            const int e = errno;
            ::unlink(temp_.c_str());
            unfinished().temps.erase(temp_);
            temp_.clear();
            set_error(error, "Cannot write " + requested_ + ": " + reason(e));
            return false;
        }
        unfinished().temps.erase(temp_);
    }
    temp_.clear();
    sync_folder(folder_);
    return true;
}

void AtomicFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        forget_temp(temp_);
        temp_.clear();
    }
}

bool write_file_atomically(const std::string& path, const void* data, std::size_t size, std::string* error) {
    AtomicFile f;
    return f.open(path, error) && f.write_all(data, size, error) && f.commit(error);
}

void abandon_unfinished_files() {
    std::lock_guard<std::mutex> g(unfinished().lock);
    unfinished().abandoned = true;
    for (const std::string& t : unfinished().temps) ::unlink(t.c_str());
    unfinished().temps.clear();
}

}  // namespace tw::platform
