// Abandoning unfinished writes when a tool must end at once: temporary files
// go, no target is replaced afterwards, finished writes stay.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/atomic_write.h"

namespace tw::platform {
namespace {

namespace fs = std::filesystem;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// Runs in a child process (the abandon is for good), which exits 0 only
// when every check holds.
void abandon_in_child(const fs::path& dir) {
    const std::string target = (dir / "take.wav").string();
    const std::string done = (dir / "done.wav").string();
    if (!write_file_atomically(done, "done", 4)) _exit(1);
    AtomicFile f;
    if (!f.open(target) || !f.write_all("new", 3) || !fs::exists(f.temp_path())) _exit(2);
    const std::string temp = f.temp_path();
    abandon_unfinished_files();
    if (fs::exists(temp)) _exit(3);
    std::string why;
    if (f.commit(&why) || why.find("ending") == std::string::npos) _exit(4);
    if (write_file_atomically(target, "later", 5)) _exit(5);
    if (slurp(target) != "old" || slurp(done) != "done") _exit(6);
    _exit(0);
}

TEST(AtomicFileAbandon, RemovesTemporariesAndRefusesLaterCommits) {
    const fs::path dir = fs::temp_directory_path() / ("tw_abandon_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir / "take.wav") << "old";
    EXPECT_EXIT(abandon_in_child(dir), ::testing::ExitedWithCode(0), "");
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir)) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"done.wav", "take.wav"}));
    fs::remove_all(dir);
}

}  // namespace
}  // namespace tw::platform
