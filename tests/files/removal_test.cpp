// Removing a name in one system call, as the fault handler does: it must
// tell a name removed from one already gone and from one it could not
// remove, since only a name already gone means the result replaced the
// drawing.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "files/files.hpp"

namespace textmatte::testing {
namespace {

namespace fs = std::filesystem;

class Folder {
  public:
    Folder() {
        std::random_device random;
        path_ = fs::temp_directory_path() / ("textmatte-removal-" + std::to_string(random()));
        fs::create_directory(path_);
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    std::string at(const char* name) const { return (path_ / name).string(); }

  private:
    fs::path path_;
};

TEST(Removal, SaysWhetherTheNameWasRemovedAlreadyGoneOrKept) {
    Folder folder;
    const std::string file = folder.at("JWC_TEMP.$$$");
    std::ofstream(file) << "partial";
    const std::string folder_name = folder.at("JWC_TEMP.LCK");
    fs::create_directory(folder_name);

    EXPECT_EQ(remove_name_at_once(file.c_str()), Removal::removed);
    EXPECT_FALSE(fs::exists(file));
    EXPECT_EQ(remove_name_at_once(file.c_str()), Removal::already_gone);
    // A folder is not a name it removes: it stays, and that is no "gone".
    EXPECT_EQ(remove_name_at_once(folder_name.c_str()), Removal::failed);
    EXPECT_TRUE(fs::is_directory(folder_name));
}

} // namespace
} // namespace textmatte::testing
