#include "platform/ini_file.h"

#ifndef SI_NO_CONVERSION
#define SI_NO_CONVERSION
#endif
#define SI_IMPLEMENTATION
#include <SimpleIni.h>
#include <sys/stat.h>

#include <cctype>
#include <climits>
#include <fstream>
#include <iterator>

#include "platform/atomic_write.h"

namespace tw::platform {

struct IniFile::Data {
    CSimpleIniA ini{/*a_bIsUtf8=*/true, /*a_bMultiKey=*/false, /*a_bMultiLine=*/false};
};

IniFile::IniFile(std::string path) : path_(std::move(path)), data_(std::make_unique<Data>()) {
    data_->ini.SetSpaces(false);  // "key=value", as INI files are usually written
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) return;  // missing: an empty file
    existed_ = true;
    if (!S_ISREG(st.st_mode) || st.st_size > kMaxBytes) {
        unreadable_ = true;
        return;
    }
    std::ifstream in(path_, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) {
        unreadable_ = true;
        return;
    }
    if (data_->ini.LoadData(text.data(), text.size()) < 0) {
        data_->ini.Reset();
        unreadable_ = true;
    }
}

IniFile::IniFile(std::string path, const std::string& text) : path_(std::move(path)), data_(std::make_unique<Data>()) {
    data_->ini.SetSpaces(false);
    if (static_cast<long>(text.size()) > kMaxBytes || data_->ini.LoadData(text.data(), text.size()) < 0) {
        data_->ini.Reset();
        unreadable_ = true;
    }
    existed_ = true;
}

IniFile::~IniFile() = default;

std::string IniFile::read_string(const std::string& section, const std::string& key,
                                 const std::string& fallback) const {
    const char* v = data_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    return v == nullptr ? fallback : std::string(v);
}

int IniFile::read_int(const std::string& section, const std::string& key, int fallback) const {
    const char* v = data_->ini.GetValue(section.c_str(), key.c_str(), nullptr);
    if (v == nullptr) return fallback;
    while (*v == ' ' || *v == '\t') ++v;
    bool negative = false;
    if (*v == '+' || *v == '-') negative = *v++ == '-';
    if (!std::isdigit(static_cast<unsigned char>(*v))) return fallback;
    long long n = 0;
    for (; std::isdigit(static_cast<unsigned char>(*v)); ++v) {
        if (n <= static_cast<long long>(INT_MAX) + 1) n = n * 10 + (*v - '0');
    }
    if (negative) n = -n;
    if (n > INT_MAX) return INT_MAX;
    if (n < INT_MIN) return INT_MIN;
    return static_cast<int>(n);
}

void IniFile::write_string(const std::string& section, const std::string& key, const std::string& value) {
    std::string v = value;
    for (char& c : v)
        if (c == '\n' || c == '\r') c = ' ';
    data_->ini.SetValue(section.c_str(), key.c_str(), v.c_str());
}

void IniFile::write_int(const std::string& section, const std::string& key, int value) {
    write_string(section, key, std::to_string(value));
}

bool IniFile::save(std::string* error) {
    if (unreadable_) {
        if (error != nullptr)
            *error = "Cannot save " + path_ + ": it could not be read, so it is left as it is; move it away and try again";
        return false;
    }
    std::string text;
    if (data_->ini.Save(text, false) < 0) {
        if (error != nullptr) *error = "Cannot save " + path_ + ": out of memory";
        return false;
    }
    return write_file_atomically(path_, text.data(), text.size(), error);
}

}  // namespace tw::platform
