// Writing a file so that nobody ever sees it half-written: the data goes into
// a temporary file in the target's folder, is flushed to disk and then
// renamed over the target. A symbolic link as target replaces the file it
// points to (the link stays); a device or pipe (e.g. /dev/null) is written
// directly and never replaced by a regular file.
//
// Threads: UI thread (tools call it from their main thread). Never on the
// audio thread.
#pragma once

#include <cstddef>
#include <string>

namespace tw::platform {

class AtomicFile {
public:
    AtomicFile() = default;
    // Discards the temporary file unless commit() succeeded.
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Prepares writing `path`: follows symbolic links to the real target,
    // refuses a folder or anything that is not a file, device or pipe, and
    // opens the temporary file (or the device). False with a sentence in
    // `error` (if given) when that is not possible; nothing is created then.
    bool open(const std::string& path, std::string* error = nullptr);

    // Where to write: the temporary file, or the device/pipe itself; -1 when
    // not open. The descriptor stays owned by this object.
    int fd() const { return fd_; }
    // True when writing straight into a device or pipe.
    bool direct() const { return direct_; }
    // The file that commit() puts in place (links resolved).
    const std::string& target() const { return target_; }
    // The temporary file ("" when writing directly or not open).
    const std::string& temp_path() const { return temp_; }

    // Writes all `size` bytes at the current position (retrying short
    // writes). False with a sentence in `error`.
    bool write_all(const void* data, std::size_t size, std::string* error = nullptr);

    // Gives the new file the old one's permissions (a new file gets the
    // usual ones), flushes it to disk and renames it over the target. False
    // with a sentence in `error`; the target is then untouched and the
    // temporary file removed. The descriptor is closed either way.
    bool commit(std::string* error = nullptr);

    // Closes and removes the temporary file; the target is untouched.
    void discard();

private:
    void fail(std::string* error, const std::string& what, int err);
    bool open_direct(const std::string& path, const std::string& real, std::string* error);

    std::string requested_;
    std::string target_;
    std::string folder_;
    std::string temp_;
    int fd_ = -1;
    bool direct_ = false;
    bool had_old_ = false;
    unsigned old_mode_ = 0;
    unsigned old_uid_ = 0;
    unsigned old_gid_ = 0;
};

// open + write_all + commit in one call. False with a sentence in `error`
// (no full stop at its end, so callers can add their own).
bool write_file_atomically(const std::string& path, const void* data, std::size_t size,
                           std::string* error = nullptr);

// For a process about to end with work unfinished: removes the temporary
// file of every AtomicFile not yet committed or discarded, and makes every
// later commit() fail, so that no target is replaced afterwards. A commit
// that has already renamed its file is not undone. Any thread except a
// signal handler (it takes a lock).
void abandon_unfinished_files();

}  // namespace tw::platform
