// Writing a preset file onto awkward targets: a link, a device or pipe, a
// very long name, a folder, a file with its own permissions.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "presets/preset_file.h"

namespace tw {
namespace {

namespace fs = std::filesystem;

class PresetWriteTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("tw_preset_write_" + std::to_string(::getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        rec_.set_version(303);
        rec_.set_kind(0, 13);
        rec_.set_param_word(0, 5, 0x12345678);
    }
    void TearDown() override { fs::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    static std::string slurp(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    std::string record_bytes() const { return std::string(rec_.bytes.begin(), rec_.bytes.end()); }
    // Names in the folder that are not `keep` (temporaries left behind).
    int strays(std::initializer_list<std::string> keep) const {
        int n = 0;
        for (const auto& e : fs::directory_iterator(dir_)) {
            const std::string name = e.path().filename().string();
            if (std::find(keep.begin(), keep.end(), name) == keep.end()) ++n;
        }
        return n;
    }

    fs::path dir_;
    PresetRecord rec_;
    std::string err_;
};

TEST_F(PresetWriteTest, LinkTargetIsReplacedAndTheLinkKept) {
    std::ofstream(path("real.pre")) << "old";
    fs::create_symlink("real.pre", path("link.pre"));  // relative, as users make them
    ASSERT_TRUE(write_preset_record(path("link.pre"), rec_, &err_)) << err_;
    EXPECT_TRUE(fs::is_symlink(path("link.pre")));
    EXPECT_EQ(fs::read_symlink(path("link.pre")), "real.pre");
    EXPECT_TRUE(slurp(path("real.pre")) == record_bytes());

    // A dangling link creates the file it points to; a chain of links is followed.
    fs::create_directories(path("sub"));
    fs::create_symlink("sub/new.pre", path("dangling.pre"));
    fs::create_symlink(path("dangling.pre"), path("chain.pre"));
    ASSERT_TRUE(write_preset_record(path("chain.pre"), rec_, &err_)) << err_;
    EXPECT_TRUE(fs::is_symlink(path("chain.pre")));
    EXPECT_TRUE(fs::is_symlink(path("dangling.pre")));
    EXPECT_TRUE(slurp(path("sub/new.pre")) == record_bytes());
    EXPECT_EQ(strays({"real.pre", "link.pre", "sub", "dangling.pre", "chain.pre"}), 0);
}

TEST_F(PresetWriteTest, PipeIsWrittenIntoNotReplaced) {
    ASSERT_EQ(::mkfifo(path("pipe").c_str(), 0600), 0);
    // A reader is waiting; the record fits in the pipe's buffer.
    const int rfd = ::open(path("pipe").c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(rfd, 0);
    const bool ok = write_preset_record(path("pipe"), rec_, &err_);
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = ::read(rfd, buf, sizeof buf)) > 0;) got.append(buf, static_cast<std::size_t>(n));
    ::close(rfd);
    EXPECT_TRUE(ok) << err_;
    EXPECT_TRUE(got == record_bytes()) << got.size() << " bytes arrived";
    EXPECT_TRUE(fs::is_fifo(path("pipe")));
    EXPECT_EQ(strays({"pipe"}), 0);
}

TEST_F(PresetWriteTest, DeviceNodeIsWrittenIntoNotReplaced) {
    // A private null device, so that a fault can never replace /dev/null.
    if (::mknod(path("null").c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0)
        GTEST_SKIP() << "making a device node needs root";
    ASSERT_TRUE(write_preset_record(path("null"), rec_, &err_)) << err_;
    struct stat st {};
    ASSERT_EQ(::lstat(path("null").c_str(), &st), 0);
    EXPECT_TRUE(S_ISCHR(st.st_mode));
    EXPECT_EQ(st.st_rdev, makedev(1, 3));
    EXPECT_EQ(strays({"null"}), 0);
}

TEST_F(PresetWriteTest, NamesUpToTheLongestAllowedWork) {
    for (std::size_t len : {248u, 255u}) {
        const std::string name = std::string(len - 4, 'n') + ".pre";
        ASSERT_TRUE(write_preset_record(path(name), rec_, &err_)) << len << ": " << err_;
        EXPECT_TRUE(slurp(path(name)) == record_bytes());
        ASSERT_TRUE(write_preset_record(path(name), rec_, &err_)) << len << " again: " << err_;
    }
    EXPECT_EQ(strays({std::string(244, 'n') + ".pre", std::string(251, 'n') + ".pre"}), 0);
}

TEST_F(PresetWriteTest, FolderAsTargetAsksForAFileName) {
    fs::create_directories(path("PRESETS"));
    EXPECT_FALSE(write_preset_record(path("PRESETS"), rec_, &err_));
    EXPECT_EQ(err_, path("PRESETS") + " is a folder; give a file name");
    EXPECT_TRUE(fs::is_directory(path("PRESETS")));
    EXPECT_EQ(strays({"PRESETS"}), 0);
    EXPECT_FALSE(write_preset_record(path("missing/x.pre"), rec_, &err_));
    EXPECT_NE(err_.find("the folder " + path("missing") + " does not exist"), std::string::npos) << err_;
}

TEST_F(PresetWriteTest, OldPermissionsAreKeptNewFileFollowsTheUmask) {
    std::ofstream(path("mine.pre")) << "old";
    fs::permissions(path("mine.pre"), fs::perms(0640));
    ASSERT_TRUE(write_preset_record(path("mine.pre"), rec_, &err_)) << err_;
    EXPECT_EQ(fs::status(path("mine.pre")).permissions(), fs::perms(0640));

    const mode_t old_mask = ::umask(027);
    const bool ok = write_preset_record(path("new.pre"), rec_, &err_);
    ::umask(old_mask);
    ASSERT_TRUE(ok) << err_;
    EXPECT_EQ(fs::status(path("new.pre")).permissions(), fs::perms(0640));
}

}  // namespace
}  // namespace tw
