// Files mapped for reading: the text is the file's, files that cannot be
// mapped are left to be read, and a file cut short under its mapping reads as
// zeros and says so instead of ending the process.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>

#include "map_test_files.h"
#include "platform/mapped_file.h"

namespace q {
namespace {

TEST(MappedFile, HoldsTheFileAndLeavesOtherKindsToBeRead) {
    test::MapFiles files;
    const std::string text = "mapProcFile003\n" + std::string(10000, 'x') + "\n";
    const std::string path = files.write("m.proc", text);
    auto mapped = MappedFile::map(path.c_str(), 1 << 20);
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(mapped->text(), text);
    EXPECT_FALSE(mapped->wasCutShort());

    EXPECT_EQ(MappedFile::map(path.c_str(), text.size() - 1), nullptr);  // larger than allowed
    EXPECT_EQ(MappedFile::map(files.write("empty.proc", "").c_str(), 1 << 20), nullptr);
    EXPECT_EQ(MappedFile::map(files.dir().string().c_str(), 1 << 20), nullptr);
    EXPECT_EQ(MappedFile::map(files.path("missing.proc").c_str(), 1 << 20), nullptr);
    EXPECT_EQ(MappedFile::map("/dev/zero", 1 << 20), nullptr);
    // A named pipe with no writer yet: left to be read, without waiting here.
    const std::string pipe = files.path("pipe.proc");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    EXPECT_EQ(MappedFile::map(pipe.c_str(), 1 << 20), nullptr);
}

// Memory and time bounded: what is no regular file (a pipe may never end, a
// device never does) or is larger than a map may be is refused at once, its
// kind or size named, before a byte is read.
TEST(MappedFile, OtherKindsAndOversizedFilesAreRefusedAtOnceWhenAsked) {
    test::MapFiles files;
    const std::string pipe = files.path("pipe.proc");
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    const std::string zeros = files.path("zero.cm");
    std::filesystem::create_symlink("/dev/zero", zeros);
    const std::string sparse = files.write("sparse.proc", "mapProcFile003\n");
    std::filesystem::resize_file(sparse, uintmax_t{2} << 30);  // 2 GiB of holes: no disk, no time

    std::string refusal;
    EXPECT_EQ(MappedFile::map(pipe.c_str(), 1 << 30, &refusal), nullptr);
    EXPECT_EQ(refusal, pipe + ": is a named pipe, not a regular file (map files are read from regular files only)");
    refusal.clear();
    EXPECT_EQ(MappedFile::map(zeros.c_str(), 1 << 30, &refusal), nullptr);
    EXPECT_NE(refusal.find("zero.cm: is a character device"), std::string::npos) << refusal;
    refusal.clear();
    EXPECT_EQ(MappedFile::map(sparse.c_str(), 1 << 30, &refusal), nullptr);
    EXPECT_EQ(refusal, sparse + ": is 2147483648 bytes; a map file may have at most 1073741824 bytes");
    refusal.clear();
    // What a reading reports better (missing, a directory, empty) is no refusal.
    for (const std::string& path : {files.path("missing.proc"), files.dir().string(), files.write("empty.cm", "")}) {
        EXPECT_EQ(MappedFile::map(path.c_str(), 1 << 30, &refusal), nullptr);
        EXPECT_EQ(refusal, "") << path;
    }
}

TEST(MappedFile, FileCutShortWhileMappedReadsAsZerosAndSaysSo) {
    test::MapFiles files;
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const std::string path = files.write("m.cm", std::string(3 * page + 10, 'a'));
    auto first = MappedFile::map(path.c_str(), 1 << 20);
    auto second = MappedFile::map(path.c_str(), 1 << 20);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    std::filesystem::resize_file(path, 100);

    size_t letters = 0, zeros = 0;
    for (char c : first->text()) (c == 'a' ? letters : zeros) += 1;
    EXPECT_EQ(letters, 100u);
    EXPECT_EQ(zeros, 3 * page + 10 - 100);
    EXPECT_TRUE(first->wasCutShort());
    // Told before any read past the end too, and read there without harm.
    EXPECT_TRUE(second->wasCutShort());
    EXPECT_EQ(second->text()[3 * page], '\0');

    // A file that grows is read to the length it had when mapped.
    const std::string growing = files.write("g.cm", "abc");
    auto mapped = MappedFile::map(growing.c_str(), 1 << 20);
    ASSERT_NE(mapped, nullptr);
    files.write("g.cm", "abcdef");
    EXPECT_EQ(mapped->text(), "abc");
}

TEST(MappedFile, BusErrorsOutsideItsMappingsAreNotSwallowed) {
    // With a file mapped, a bus error that is not a read of it still ends the
    // process as before.
    test::MapFiles files;
    const std::string path = files.write("m.proc", std::string(100, 'a'));
    EXPECT_EXIT(
        {
            std::signal(SIGBUS, SIG_DFL);  // whatever a sanitizer put there
            auto mapped = MappedFile::map(path.c_str(), 1 << 20);
            if (!mapped) std::_Exit(3);
            std::raise(SIGBUS);
            std::_Exit(0);
        },
        testing::KilledBySignal(SIGBUS), "");
}

}  // namespace
}  // namespace q
