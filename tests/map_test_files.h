#pragma once
// Small map files written for one test into a directory of their own.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

namespace q::test {

class MapFiles {
public:
    MapFiles() {
        const auto* info = testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::path(testing::TempDir()) /
               (std::string("maps_") + info->test_suite_name() + "_" + info->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    ~MapFiles() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    // Writes text to dir/name and returns the file's path.
    std::string write(const std::string& name, const std::string& text) const {
        const std::string path = (dir_ / name).string();
        std::FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr) << path;
        if (f) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
        return path;
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    const std::filesystem::path& dir() const { return dir_; }

private:
    std::filesystem::path dir_;
};

}  // namespace q::test
