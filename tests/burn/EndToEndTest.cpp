// End to end: larderly-cli burns onto the simulated CD-R writer, and third-party tools read
// the disc image back (isoinfo, xorriso, 7z). Covers the drive list, one and two sessions,
// injected drive faults and the files the command refuses.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <array>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <future>
#include <random>
#include <regex>
#include <string>

namespace fs = std::filesystem;

namespace {

struct ShellRun {
    int rc = -1;
    std::string out;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

ShellRun Shell(const std::string& command) {
    ShellRun r;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    if (!p) return r;
    std::array<char, 4096> buf;
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), p)) > 0)
        r.out.append(buf.data(), n);
    int status = pclose(p);
    r.rc = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

bool HaveTool(const char* tool) {
    return Shell(std::string("command -v ") + tool).rc == 0;
}

class EndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("burn_e2e_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
        cli = std::string(LARDERLY_BIN_DIR) + "/larderly-cli";
        library = std::string(LARDERLY_BIN_DIR) + "/libvirtualdrive.so";
        if (!fs::exists(library)) GTEST_SKIP() << "the simulated writer is not built";
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string Env(const std::string& image, const std::string& faults = "",
                    const std::string& media = "cdr") const {
        std::string env = "LARDERLY_ASPI_LIBRARY=" + Quote(library) +
                          " LARDERLY_VDRIVE_IMAGE=" + Quote(image) +
                          " LARDERLY_VDRIVE_MEDIA=" + media;
        if (!faults.empty()) env += " LARDERLY_VDRIVE_FAULTS=" + Quote(faults);
        return env + " ";
    }
    std::string DriveLine(const std::string& image, const std::string& media = "cdr") {
        ShellRun r = Shell(Env(image, "", media) + Quote(cli) + " burn --list 2>/dev/null");
        EXPECT_EQ(r.rc, 0);
        return r.out.substr(0, r.out.find('\n'));
    }
    ShellRun Burn(const std::string& image, const std::vector<std::string>& files,
                  const std::string& faults = "", const std::string& media = "cdr") {
        std::string cmd = Env(image, faults, media) + Quote(cli) + " burn --drive " +
                          Quote(DriveLine(image, media));
        for (const auto& f : files)
            cmd += " " + Quote(f);
        return Shell(cmd);
    }
    std::string MakeFile(const std::string& name, size_t size, unsigned seed, std::time_t mtime) {
        std::string path = (dir / name).string();
        std::vector<char> data(size);
        std::mt19937 rng(seed);
        for (auto& c : data)
            c = static_cast<char>(rng());
        std::ofstream(path, std::ios::binary)
            .write(data.data(), static_cast<std::streamsize>(data.size()));
        utimbuf t{mtime, mtime};
        utime(path.c_str(), &t);
        return path;
    }
    static uint32_t TrackStart(const std::string& output) {
        std::smatch m;
        std::regex re("sectors written from LBA ([0-9]+)");
        return std::regex_search(output, m, re) ? static_cast<uint32_t>(std::stoul(m[1]))
                                                : 0xFFFFFFFFu;
    }

    fs::path dir;
    std::string cli, library;
};

// 4 March 2021 05:06:07 UTC (the tests run with TZ=UTC).
constexpr std::time_t kStamp = 1614834367;

TEST_F(EndToEndTest, ListShowsTheSimulatedWriter) {
    std::string line = DriveLine((dir / "disc.img").string());
    EXPECT_EQ(line.substr(0, 9), "0:0:0,?: ");
    EXPECT_EQ(line.size(), 9u + 28u);
    // Without a named library nothing is found here (no /dev/sr* in a test machine is assumed
    // either way): the command must not crash.
    ShellRun r = Shell("LARDERLY_ASPI_LIBRARY=/nonexistent.so " + Quote(cli) + " burn --list");
    EXPECT_TRUE(r.rc == 0 || r.rc == 1) << r.out;
}

TEST_F(EndToEndTest, BurnedDiscReadsBackWithThirdPartyTools) {
    if (!HaveTool("isoinfo") || !HaveTool("xorriso") || !HaveTool("7z"))
        GTEST_SKIP() << "tools missing";
    std::string image = (dir / "disc.img").string();
    std::string backup = MakeFile("recipebackup.001", 300000, 1, kStamp);
    std::string longName = MakeFile("Long Name Recipe.txt", 5000, 2, kStamp + 86400);
    ShellRun burn = Burn(image, {backup, longName});
    ASSERT_EQ(burn.rc, 0) << burn.out;
    EXPECT_NE(burn.out.find(">>> STARTING WRITE PROCESS ON CD-R AT "), std::string::npos)
        << burn.out;
    EXPECT_EQ(TrackStart(burn.out), 0u);

    ShellRun descriptors = Shell("isoinfo -d -J -i " + Quote(image));
    ASSERT_EQ(descriptors.rc, 0) << descriptors.out;
    EXPECT_NE(descriptors.out.find("Joliet with UCS level 1 found"), std::string::npos)
        << descriptors.out;
    EXPECT_NE(descriptors.out.find("Volume size is: 300"), std::string::npos) << descriptors.out;
    ShellRun joliet = Shell("isoinfo -J -l -i " + Quote(image));
    ASSERT_EQ(joliet.rc, 0) << joliet.out;
    EXPECT_TRUE(std::regex_search(
        joliet.out, std::regex(R"(300000 Mar  4 2021 \[ +150 00\]  recipebackup\.001;1)")))
        << joliet.out;
    EXPECT_TRUE(std::regex_search(
        joliet.out, std::regex(R"(5000 Mar  5 2021 \[ +[0-9]+ 00\]  Long Name Recipe\.txt;1)")))
        << joliet.out;
    ShellRun iso = Shell("isoinfo -l -i " + Quote(image));
    EXPECT_NE(iso.out.find("RECIPE~1.001;1"), std::string::npos) << iso.out;

    ShellRun xorriso = Shell("xorriso -indev " + Quote(image) + " -lsl / 2>/dev/null");
    EXPECT_TRUE(
        std::regex_search(xorriso.out, std::regex(R"(300000 Mar  4  2021 'recipebackup\.001')")))
        << xorriso.out;
    EXPECT_TRUE(
        std::regex_search(xorriso.out, std::regex(R"(5000 Mar  5  2021 'Long Name Recipe\.txt')")))
        << xorriso.out;

    fs::path out = dir / "out";
    ShellRun seven = Shell("7z x -y -o" + Quote(out.string()) + " " + Quote(image));
    ASSERT_EQ(seven.rc, 0) << seven.out;
    EXPECT_EQ(Shell("cmp " + Quote(backup) + " " + Quote((out / "recipebackup.001").string())).rc,
              0);
    EXPECT_EQ(
        Shell("cmp " + Quote(longName) + " " + Quote((out / "Long Name Recipe.txt").string())).rc,
        0);
}

TEST_F(EndToEndTest, SecondSessionIsReadableAtItsStart) {
    if (!HaveTool("isoinfo")) GTEST_SKIP() << "isoinfo missing";
    std::string image = (dir / "disc.img").string();
    std::string first = MakeFile("recipebackup.001", 200000, 3, kStamp);
    ShellRun one = Burn(image, {first});
    ASSERT_EQ(one.rc, 0) << one.out;
    fs::path later = dir / "later";
    fs::create_directories(later);
    std::string second = (later / "recipebackup.001").string();
    { std::ofstream(second, std::ios::binary) << std::string(70000, 'x'); }
    ShellRun two = Burn(image, {second});
    ASSERT_EQ(two.rc, 0) << two.out;
    uint32_t start = TrackStart(two.out);
    EXPECT_GT(start, 300u) << "after the first session's lead-out and the next lead-in";

    ShellRun read = Shell("isoinfo -T " + std::to_string(start) + " -J -l -i " + Quote(image));
    ASSERT_EQ(read.rc, 0) << read.out;
    EXPECT_TRUE(std::regex_search(
        read.out,
        std::regex(
            R"(70000 [A-Z][a-z]{2} [ 0-9]{2} [0-9]{4} \[ *[0-9]+ 00\]  recipebackup\.001;1)")))
        << read.out;
    fs::path out = dir / "out";
    ShellRun extract = Shell("isoinfo -T " + std::to_string(start) + " -J -i " + Quote(image) +
                             " -x '/recipebackup.001;1' > " + Quote((dir / "extracted").string()));
    ASSERT_EQ(extract.rc, 0);
    EXPECT_EQ(Shell("cmp " + Quote(second) + " " + Quote((dir / "extracted").string())).rc, 0);
    // The first session is still where it was.
    ShellRun old = Shell("isoinfo -J -l -i " + Quote(image));
    EXPECT_NE(old.out.find("200000"), std::string::npos) << old.out;
}

TEST_F(EndToEndTest, InjectedFaults) {
    struct Case {
        const char* faults;
        int rc;
        const char* text; // expected on stderr
    } cases[] = {
        {"busy-write=3", 0, "sectors written"},
        {"longwrite=4", 0, "sectors written"},
        {"becoming-ready=3", 0, "sectors written"},
        {"medium-error=200", 1, "burn: WRITER ERROR [MEDIUM ERROR (WRITE ERROR)]"},
        {"no-media", 1, "burn: WRITER ERROR [NOT READY (MEDIUM NOT PRESENT)]"},
    };
    std::string file = MakeFile("recipebackup.001", 400000, 4, kStamp);
    std::vector<std::future<ShellRun>> runs;
    for (size_t i = 0; i < std::size(cases); ++i) {
        std::string image = (dir / ("disc" + std::to_string(i) + ".img")).string();
        runs.push_back(
            std::async(std::launch::async, [this, image, file, f = std::string(cases[i].faults)] {
                return Burn(image, {file}, f);
            }));
    }
    for (size_t i = 0; i < std::size(cases); ++i) {
        ShellRun r = runs[i].get();
        EXPECT_EQ(r.rc, cases[i].rc) << cases[i].faults << "\n" << r.out;
        EXPECT_NE(r.out.find(cases[i].text), std::string::npos) << cases[i].faults << "\n" << r.out;
    }
}

TEST_F(EndToEndTest, OtherMedia) {
    if (!HaveTool("isoinfo")) GTEST_SKIP() << "isoinfo missing";
    struct Case {
        const char* media;
        const char* name; // as the starting line names it
    } cases[] = {{"cdrw", "CD-RW"},
                 {"dvdr", "DVD-R"},
                 {"dvdrw", "DVD-RW"},
                 {"dvd+r", "DVD+R"},
                 {"dvd+rw", "DVD+RW"}};
    std::string file = MakeFile("recipebackup.001", 150000, 5, kStamp);
    std::vector<std::future<ShellRun>> runs;
    for (const Case& c : cases) {
        std::string image = (dir / (std::string(c.media) + ".img")).string();
        runs.push_back(
            std::async(std::launch::async, [this, image, file, m = std::string(c.media)] {
                return Burn(image, {file}, "", m);
            }));
    }
    for (size_t i = 0; i < std::size(cases); ++i) {
        ShellRun r = runs[i].get();
        ASSERT_EQ(r.rc, 0) << cases[i].media << "\n" << r.out;
        EXPECT_NE(
            r.out.find(std::string(">>> STARTING WRITE PROCESS ON ") + cases[i].name + " AT "),
            std::string::npos)
            << r.out;
        std::string image = (dir / (std::string(cases[i].media) + ".img")).string();
        ShellRun list = Shell("isoinfo -J -l -i " + Quote(image));
        EXPECT_TRUE(std::regex_search(
            list.out, std::regex(R"(150000 Mar  4 2021 \[ +150 00\]  recipebackup\.001;1)")))
            << cases[i].media << "\n"
            << list.out;
    }
}

std::string ReadText(const fs::path& p) {
    std::ifstream in(p);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(EndToEndTest, DvdSessionsAreClosedOrTheBurnFails) {
    // The drive answers "long write in progress" for 3 polls after each flush and close: the
    // closes are asked again until the track and the session are closed.
    std::string file = MakeFile("recipebackup.001", 150000, 6, kStamp);
    std::string image = (dir / "plus.img").string();
    ShellRun r = Burn(image, {file}, "longsync=3", "dvd+r");
    ASSERT_EQ(r.rc, 0) << r.out;
    std::string state = ReadText(image + ".state");
    EXPECT_TRUE(std::regex_search(state, std::regex(R"(track 1 1 0 [0-9]+ [0-9]+ 1 0)"))) << state;
    EXPECT_NE(state.find("\nsession 1 "), std::string::npos) << state;
}

TEST_F(EndToEndTest, TestWriteLeavesTheDiscAsItWas) {
    std::string file = MakeFile("recipebackup.001", 150000, 7, kStamp);
    auto testBurn = [&](const std::string& image, const std::string& media) {
        std::string cmd = Env(image, "", media) + Quote(cli) + " burn --test-write --drive " +
                          Quote(DriveLine(image, media)) + " " + Quote(file);
        return Shell(cmd);
    };
    // No test mode on DVD+R: refused before anything is written.
    std::string plus = (dir / "plus.img").string();
    ShellRun refused = testBurn(plus, "dvd+r");
    EXPECT_EQ(refused.rc, 1) << refused.out;
    EXPECT_NE(refused.out.find(">>> TEST/DUMMY WRITE NOT POSSIBLE ON DVD+R (NO TEST MODE)"),
              std::string::npos)
        << refused.out;
    EXPECT_FALSE(fs::exists(plus + ".state")) << ReadText(plus + ".state");
    // DVD-R has one: the write runs, but no track is reserved and nothing is recorded.
    std::string minus = (dir / "minus.img").string();
    ShellRun simulated = testBurn(minus, "dvdr");
    ASSERT_EQ(simulated.rc, 0) << simulated.out;
    EXPECT_NE(simulated.out.find(">>> TEST/DUMMY WRITE"), std::string::npos) << simulated.out;
    EXPECT_EQ(ReadText(minus + ".state").find("track "), std::string::npos)
        << ReadText(minus + ".state");
    EXPECT_TRUE(!fs::exists(minus) || fs::file_size(minus) == 0 ||
                ReadText(minus).find_first_not_of('\0') == std::string::npos)
        << "nothing recorded";
}

TEST_F(EndToEndTest, RefusedFiles) {
    std::string image = (dir / "disc.img").string();
    ShellRun missing = Burn(image, {(dir / "nothing.bin").string()});
    EXPECT_EQ(missing.rc, 1);
    EXPECT_NE(missing.out.find("no such file"), std::string::npos) << missing.out;

    // A sparse file of exactly 4 GiB: its size does not fit a directory record.
    std::string huge = (dir / "huge.bin").string();
    { std::ofstream(huge, std::ios::binary); }
    fs::resize_file(huge, 4ull << 30);
    // The same name from two folders: the second file is named and nothing is burned.
    std::string one = MakeFile("recipe.txt", 100, 8, kStamp);
    fs::create_directories(dir / "other");
    std::string two = MakeFile("other/recipe.txt", 200, 9, kStamp);
    ShellRun twice = Burn(image, {one, two});
    EXPECT_EQ(twice.rc, 1) << twice.out;
    EXPECT_NE(twice.out.find("burn: " + two +
                             ": not added (a file of the same name is in the image already)"),
              std::string::npos)
        << twice.out;
    EXPECT_FALSE(fs::exists(image) && fs::file_size(image) > 0) << "nothing was written";

    ShellRun big = Burn(image, {huge});
    EXPECT_EQ(big.rc, 1);
    EXPECT_NE(big.out.find("files of 4 GiB or more cannot be burned"), std::string::npos)
        << big.out;
    EXPECT_FALSE(fs::exists(image) && fs::file_size(image) > 0) << "nothing was written";
}

} // namespace
