// larderly-cli seg with folders named by drive letter: they go through the [Drives] map of
// the settings file, as the backup's folders do, and an unmapped letter is refused.
#include "RunCommand.h"
#include "TestHome.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

namespace fs = std::filesystem;
using larderly::testing::RunCommand;
using larderly::testing::TestHome;
using larderly::testing::WriteFile;

TEST(CliSeg, DriveLettersGoThroughTheDriveMap) {
    TestHome h;
    fs::create_directories(h.path("floppy"));
    fs::create_directories(h.path("disk-d"));
    fs::create_directories(h.path("work"));
    WriteFile(h.ini(), "[Drives]\nA=" + h.path("floppy") + "\nD=" + h.path("disk-d") + "\n");
    WriteFile(h.path("work/notes.txt"), "a few words to keep\n");
    // Run from a folder of the test, where a literal "A:" or "D:" folder would show up.
    const std::string cli = "cd " + h.path("work") + " && " +
                            larderly::testing::BuiltProgram("larderly-cli") + " --home " +
                            h.home() + " seg ";

    struct Case {
        std::string dir, folder;
    } cases[] = {
        {"A:\\\\", "floppy"}, {"'D:\\sets\\one'", "disk-d/sets/one"}, {"d:/two", "disk-d/two"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dir);
        auto r = RunCommand(cli + "a --dir " + c.dir + " notes.txt");
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_TRUE(fs::exists(h.path(c.folder) + "/SegData.001")) << r.out;
        r = RunCommand(cli + "x --dir " + c.dir + " -C " + c.dir);
        EXPECT_EQ(r.status, 0) << r.out;
        EXPECT_EQ(r.out.rfind(h.path(c.folder) + "/", 0), 0u)
            << "expanded into the mapped folder: " << r.out;
    }
    for (const auto& e : fs::directory_iterator(h.path("work")))
        EXPECT_EQ(e.path().filename(), "notes.txt")
            << "nothing but the input in the current folder";

    const auto r = RunCommand(cli + "a --dir 'Q:\\x' notes.txt");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("Drive Q: is not mapped"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(h.path("work/Q:")));
}

} // namespace
