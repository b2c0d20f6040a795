// An INI file of sections and "key=value" lines (MTEQ.ini, playback.ini):
// read with defaults, changed in memory, saved whole through a temporary
// file. Keys and sections are matched without regard to case. The file is
// untrusted: anything unreadable reads as the defaults.
//
// Threads: UI thread.
#pragma once

#include <memory>
#include <string>

namespace tw::platform {

class IniFile {
public:
    // Reads `path`. A missing file is an empty one; a file that exists but
    // cannot be read (or is larger than kMaxBytes) also reads as empty, and
    // save() then leaves it alone.
    explicit IniFile(std::string path);
    // Reads `text` as the content of the file at `path` (where save() writes).
    IniFile(std::string path, const std::string& text);
    ~IniFile();
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    static constexpr long kMaxBytes = 1 << 20;

    const std::string& path() const { return path_; }
    // True if the file existed when read and could be read.
    bool existed() const { return existed_; }

    // The value of `key` in `section`, or `fallback` when either is missing.
    std::string read_string(const std::string& section, const std::string& key, const std::string& fallback) const;
    // The leading decimal integer of the value (an optional sign and digits
    // after any blanks; what follows is ignored; out-of-range values
    // saturate), or `fallback` when the key is missing or holds no number.
    int read_int(const std::string& section, const std::string& key, int fallback) const;

    // Sets a value in memory (line breaks in it become spaces); save() writes it.
    void write_string(const std::string& section, const std::string& key, const std::string& value);
    void write_int(const std::string& section, const std::string& key, int value);

    // Writes the whole file (temporary file + rename). False with a
    // sentence in `error`; the old file is then untouched.
    bool save(std::string* error = nullptr);

private:
    struct Data;
    std::string path_;
    std::unique_ptr<Data> data_;
    bool existed_ = false;
    bool unreadable_ = false;
};

}  // namespace tw::platform
