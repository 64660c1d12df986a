// Every test process gets a scratch directory of its own, so tests that CTest
// runs side by side (and suites run from several checkouts at once) never
// write into each other's files. testing::TempDir() reads TEST_TMPDIR.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

class ScratchDirectory : public testing::Environment {
public:
    ScratchDirectory() {
        dir_ = std::filesystem::temp_directory_path() /
               ("quorvane-tests-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
        ::setenv("TEST_TMPDIR", (dir_.string() + "/").c_str(), 1);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

private:
    std::filesystem::path dir_;
};

[[maybe_unused]] testing::Environment* const g_scratch =
    testing::AddGlobalTestEnvironment(new ScratchDirectory);

}  // namespace
