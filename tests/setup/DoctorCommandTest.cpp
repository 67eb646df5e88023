// kestrel-doctor as the IT person runs it: its exit status and report, the
// JSON report, the password line it makes, and the two-PC lock test run by
// two processes on one folder, whose locks do reach each other.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "levelmenu/LevelMenu.h"
#include "results/ResultsTestSupport.h"
#include "setup/LockTest.h"
#include "support/DemoSchool.h"
#include "text/Cp932.h"

using namespace kestrel;
using namespace kestrel::test;
namespace fs = std::filesystem;

namespace {

const std::string kDoctor = KESTREL_BINARY_DIR "/doctor/kestrel-doctor";

struct DoctorRun {
    int status = -1;
    std::string output;
};

DoctorRun doctor(const DemoSchool& school, std::vector<std::string> args,
                 const fs::path& input = {}) {
    const fs::path out = school / ("doctor-" + std::to_string(std::rand()) + ".out");
    args.insert(args.begin(), {"--folder", school.programFolder().string()});
    DoctorRun r;
    r.status = waitForExit(spawnProgram(kDoctor, args, out, input), std::chrono::seconds(120));
    r.output = readBytes(out);
    fs::remove(out);
    return r;
}

std::vector<std::string> lockFilesIn(const fs::path& folder) {
    std::vector<std::string> left;
    for (const fs::directory_entry& e : fs::directory_iterator(folder))
        if (e.path().filename().string().starts_with(".kestrel-doctor")) left.push_back(e.path());
    return left;
}

} // namespace

TEST(DoctorCommand, ExitStatusAndReportsOfASoundAndABrokenSchool) {
    DemoSchool school;
    ASSERT_TRUE(school.ok);
    const DoctorRun sound = doctor(school, {});
    EXPECT_EQ(sound.status, 0) << sound.output;
    EXPECT_EQ(sound.output.find("エラー"), std::string::npos) << sound.output;
    EXPECT_EQ(sound.output.find("注意"), std::string::npos) << sound.output;

    writeCp932File(school.shared() / "新名簿.txt",
                   readCp932File(school.shared() / "新名簿.txt") + "0,2016,0,0,林,0,,\r\n");
    const DoctorRun broken = doctor(school, {});
    EXPECT_EQ(broken.status, 1) << broken.output;
    EXPECT_NE(broken.output.find("エラー  名簿（"), std::string::npos) << broken.output;
    const DoctorRun json = doctor(school, {"--json"});
    EXPECT_EQ(json.status, 1);
    EXPECT_TRUE(json.output.starts_with("{\"checks\": [")) << json.output;
    EXPECT_NE(json.output.find("{\"check\": \"roster\", \"verdict\": \"error\""),
              std::string::npos);

    EXPECT_EQ(doctor(school, {"--nonsense"}).status, 2);
    EXPECT_EQ(waitForExit(spawnProgram(kDoctor, {"--hash-password", "--json"})), 2);
}

TEST(DoctorCommand, HashPasswordPrintsALineThatTheMenuAccepts) {
    DemoSchool school;
    writeBytes(school / "same.txt", "せんせい 1\nせんせい 1\n");
    const fs::path out = school / "hash.out";
    ASSERT_EQ(waitForExit(spawnProgram(kDoctor, {"--hash-password"}, out, school / "same.txt")), 0);
    const std::string text = readBytes(out);
    const size_t at = text.find("$y$");
    ASSERT_NE(at, std::string::npos) << text;
    const std::string hash = text.substr(at, text.find('\n', at) - at);
    EXPECT_TRUE(teacherPasswordMatches(hash, "せんせい 1")) << hash;
    EXPECT_FALSE(teacherPasswordMatches(hash, "せんせい1"));

    writeBytes(school / "differ.txt", "abc\nabd\n");
    EXPECT_EQ(waitForExit(spawnProgram(kDoctor, {"--hash-password"}, out, school / "differ.txt")),
              1);
    EXPECT_EQ(readBytes(out).find("$y$"), std::string::npos);
}

TEST(DoctorCommand, TheLockTestOfTwoProcessesOnOneFolderIsOkAndLeavesNothing) {
    DemoSchool school;
    ASSERT_TRUE(school.ok);
    const fs::path a = school / "a.out", b = school / "b.out";
    const std::vector<std::string> args = {"--folder", school.programFolder().string(), "--locks"};
    const pid_t first = spawnProgram(kDoctor, args, a);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const pid_t second = spawnProgram(kDoctor, args, b);
    EXPECT_EQ(waitForExit(first, std::chrono::seconds(120)), 0) << readBytes(a);
    EXPECT_EQ(waitForExit(second, std::chrono::seconds(120)), 0) << readBytes(b);
    for (const fs::path& out : {a, b}) {
        const std::string text = readBytes(out);
        EXPECT_NE(text.find("もう 1 台のパソコンで"), std::string::npos) << text;
        EXPECT_NE(text.find("OK      ロックの試験"), std::string::npos) << text;
    }
    EXPECT_TRUE(lockFilesIn(school.data()).empty());
}

TEST(DoctorCommand, ALockTestStoppedWhileItWaitsLeavesNothing) {
    DemoSchool school;
    ASSERT_TRUE(school.ok);
    const fs::path out = school / "alone.out";
    const pid_t alone =
        spawnProgram(kDoctor, {"--folder", school.programFolder().string(), "--locks"}, out);
    // Stopped once it waits for the other PC: after it has announced itself.
    for (int i = 0; i < 600 && lockFilesIn(school.data()).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(lockFilesIn(school.data()).empty()) << "it did not announce itself";
    ::kill(alone, SIGINT);
    EXPECT_EQ(waitForExit(alone, std::chrono::seconds(10)), 130) << readBytes(out);
    EXPECT_NE(readBytes(out).find("注意    ロックの試験"), std::string::npos) << readBytes(out);
    EXPECT_TRUE(lockFilesIn(school.data()).empty());
}
