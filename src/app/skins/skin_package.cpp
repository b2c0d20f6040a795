#include "app/skins/skin_package.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace tw::skins {

namespace fs = std::filesystem;

namespace {

struct ArchiveCloser {
    void operator()(zip_t* z) const { zip_discard(z); }
};
struct EntryCloser {
    void operator()(zip_file_t* f) const { zip_fclose(f); }
};

bool is_symlink_entry(zip_t* z, zip_uint64_t i) {
    zip_uint8_t opsys = 0;
    zip_uint32_t attr = 0;
    if (zip_file_get_external_attributes(z, i, 0, &opsys, &attr) != 0) return false;
    return opsys == ZIP_OPSYS_UNIX && S_ISLNK(static_cast<mode_t>(attr >> 16));
}

// Makes the folders of `relative` below `root`, refusing any existing part
// that is not a real folder (a symbolic link could lead outside). The parent
// folder of the file on success, "" otherwise.
fs::path make_parent_folders(const fs::path& root, const fs::path& relative) {
    fs::path at = root;
    const fs::path parent = relative.parent_path();
    for (const fs::path& part : parent) {
        at /= part;
        std::error_code ec;
        const fs::file_status st = fs::symlink_status(at, ec);
        if (st.type() == fs::file_type::not_found) {
            if (!fs::create_directory(at, ec) && ec) return {};
        } else if (st.type() != fs::file_type::directory) {
            return {};
        }
    }
    return at;
}

// Streams entry i into a temporary file beside its target and renames it
// over the target. Stops at `limit` bytes (more than declared is an error).
bool write_entry(zip_t* z, zip_uint64_t i, const fs::path& target, std::uint64_t limit, std::uint64_t& total) {
    std::unique_ptr<zip_file_t, EntryCloser> in(zip_fopen_index(z, i, 0));
    if (!in) return false;
    std::string tmp = (target.parent_path() / ("." + target.filename().string() + ".part-XXXXXX")).string();
    const int fd = mkstemp(tmp.data());
    if (fd < 0) return false;
    bool ok = true;
    std::uint64_t got = 0;
    char buf[16384];
    for (;;) {
        const zip_int64_t n = zip_fread(in.get(), buf, sizeof buf);
        if (n < 0) { ok = false; break; }
        if (n == 0) break;
        got += static_cast<std::uint64_t>(n);
        if (got > limit || total + got > kMaxPackageBytes) { ok = false; break; }
        for (zip_int64_t off = 0; off < n && ok;) {
            const ssize_t w = ::write(fd, buf + off, static_cast<size_t>(n - off));
            if (w <= 0) ok = false; else off += w;
        }
        if (!ok) break;
    }
    if (::close(fd) != 0) ok = false;
    std::error_code ec;
    if (ok) {
        // rename() replaces a symbolic link at the target itself, never what it points to.
        fs::rename(tmp, target, ec);
        ok = !ec;
    }
    if (!ok) fs::remove(tmp, ec);
    else total += got;
    return ok;
}

}  // namespace

bool safe_entry_name(const std::string& name) {
    if (name.empty() || name.size() > 255 || name.front() == '/' || name.back() == '/') return false;
    for (const unsigned char c : name)
        if (c < 0x20 || c == 0x7f || c == '\\' || c == ':') return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        const std::size_t end = std::min(name.find('/', start), name.size());
        const std::string part = name.substr(start, end - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = end + 1;
    }
    return true;
}

UnpackResult unpack_skin_package(const std::string& package, const std::string& folder) {
    UnpackResult r;
    int err = 0;
    std::unique_ptr<zip_t, ArchiveCloser> z(zip_open(package.c_str(), ZIP_RDONLY, &err));
    if (!z) return r;
    r.opened = true;
    const zip_int64_t count = zip_get_num_entries(z.get(), 0);
    if (count < 0 || count > kMaxEntries) {
        r.refused = true;
        return r;
    }

    // First pass: decide every entry and add up what the archive declares.
    struct Planned {
        zip_uint64_t index;
        std::string name;
        std::uint64_t size;
    };
    std::vector<Planned> plan;
    std::uint64_t declared = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto idx = static_cast<zip_uint64_t>(i);
        zip_stat_t st;
        zip_stat_init(&st);
        const char* raw = zip_get_name(z.get(), idx, ZIP_FL_ENC_RAW);
        const std::string name = raw != nullptr ? raw : "";
        if (zip_stat_index(z.get(), idx, ZIP_FL_ENC_RAW, &st) != 0 || !(st.valid & ZIP_STAT_SIZE)) {
            r.skipped.push_back(name);
            continue;
        }
        if (!name.empty() && name.back() == '/') continue;  // a folder entry: folders are made as needed
        const bool encrypted = (st.valid & ZIP_STAT_ENCRYPTION_METHOD) && st.encryption_method != ZIP_EM_NONE;
        if (!safe_entry_name(name) || encrypted || is_symlink_entry(z.get(), idx) || st.size > kMaxEntryBytes) {
            r.skipped.push_back(name);
            continue;
        }
        declared += st.size;
        if (declared > kMaxPackageBytes) {
            r.refused = true;
            r.skipped.clear();
            return r;
        }
        plan.push_back({idx, name, st.size});
    }

    std::error_code ec;
    fs::create_directories(folder, ec);
    const fs::path root = fs::path(folder);
    if (!fs::is_directory(root, ec)) {
        for (const Planned& p : plan) r.skipped.push_back(p.name);
        return r;
    }
    std::uint64_t total = 0;
    for (const Planned& p : plan) {
        const fs::path rel(p.name);
        const fs::path parent = make_parent_folders(root, rel);
        // The resolved place must still lie inside the folder.
        const fs::path target = parent / rel.filename();
        const fs::path canon_root = fs::weakly_canonical(root, ec);
        const fs::path canon_parent = parent.empty() ? fs::path() : fs::weakly_canonical(parent, ec);
        const std::string cr = canon_root.string(), cp = canon_parent.string();
        const bool inside = !parent.empty() && (cp == cr || cp.rfind(cr + "/", 0) == 0);
        const fs::file_status ts = fs::symlink_status(target, ec);
        const bool target_ok = ts.type() == fs::file_type::not_found || ts.type() == fs::file_type::regular ||
                               ts.type() == fs::file_type::symlink;
        if (inside && target_ok && write_entry(z.get(), p.index, target, std::min(p.size, kMaxEntryBytes), total))
            r.written.push_back(p.name);
        else
            r.skipped.push_back(p.name);
    }
    return r;
}

}  // namespace tw::skins
