#include "app/leftover_takes.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "fx/take_stream.h"
#include "platform/effect_services.h"
#include "platform/file_dialogs.h"

namespace tw {

namespace fs = std::filesystem;

namespace {

std::string local_time(std::int64_t t, const char* format) {
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    localtime_r(&tt, &tm);
    char buf[64] = {};
    std::strftime(buf, sizeof buf, format, &tm);
    return buf;
}

// Moves `from` to `to`: a rename, or a copy and removal across file systems.
bool move_file(const std::string& from, const std::string& to, std::string& why) {
    std::error_code ec;
    fs::rename(from, to, ec);
    if (!ec) return true;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
    if (ec) {
        why = ec.message();
        return false;
    }
    fs::remove(from, ec);
    return true;
}

}  // namespace

int offer_leftover_takes(Dialogs& dialogs) {
    int kept = 0;
    for (const LeftoverTake& t : leftover_takes(recordings_folder())) {
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.1f", t.seconds);
        const std::string when = local_time(t.modified, "%Y-%m-%d %H:%M");
        if (!dialogs.question("A take of " + std::string(seconds) + " s recorded until " + when +
                              " was not saved when the program ended. Keep it? (No discards it.)")) {
            std::error_code ec;
            fs::remove(t.path, ec);
            continue;
        }
        const auto chosen = platform::effect_services().file_dialogs().save_file(
            {"Save wav file", "wav files|*.wav", recordings_folder()});
        if (!chosen) continue;   // asked again at the next start
        std::string to = *chosen;
        if (fs::path(to).extension().empty()) to += ".wav";
        std::string why;
        if (move_file(t.path, to, why))
            ++kept;
        else
            dialogs.warning("Could not save the take as " + to + " (" + why + ").",
                            "It is kept and offered again at the next start.");
    }
    return kept;
}

std::vector<std::string> keep_leftover_takes() {
    std::vector<std::string> names;
    for (const LeftoverTake& t : leftover_takes(recordings_folder())) {
        const std::string stem = recordings_folder() + "/Recovered take " + local_time(t.modified, "%Y-%m-%d %H-%M-%S");
        std::string to = stem + ".wav";
        std::error_code ec;
        for (int n = 2; fs::exists(to, ec) && n < 1000; ++n) to = stem + " (" + std::to_string(n) + ").wav";
        std::string why;
        if (move_file(t.path, to, why)) names.push_back(to);
    }
    return names;
}

}  // namespace tw
