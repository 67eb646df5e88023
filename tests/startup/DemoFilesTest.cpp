// The bundled demo installation: built by the demo tool from the checked-in
// sources, read back with the program's own readers.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>

#include "startup/Calendar.h"
#include "support/Fakes.h"
#include "text/Cp932.h"
#include "text/ItemReader.h"
#include "text/LeadingNumber.h"

#ifndef KESTREL_MAKE_DEMO
#define KESTREL_MAKE_DEMO KESTREL_BINARY_DIR "/tools/make_demo"
#endif

extern char** environ;

using namespace kestrel;
namespace fs = std::filesystem;

namespace {

const fs::path kSource = fs::path(KESTREL_DEMO_SOURCE_DIR) / "install";

int runMakeDemo(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {KESTREL_MAKE_DEMO};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<char*> raw;
    for (auto& a : argv)
        raw.push_back(a.data());
    raw.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, raw[0], nullptr, nullptr, raw.data(), environ) != 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

uint32_t le(const std::string& b, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b.at(at + static_cast<size_t>(i)));
    return v;
}

std::vector<std::string> itemsOf(const fs::path& file) {
    return readItems(readCp932File(file));
}

// One installation for all cases, made once: the tool is a separate program.
class DemoInstall : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        s_dir = new test::TempDir;
        s_status = runMakeDemo({kSource.string(), s_dir->path().string()});
    }
    static void TearDownTestSuite() {
        delete s_dir;
        s_dir = nullptr;
    }
    void SetUp() override { ASSERT_EQ(s_status, 0) << "make_demo failed"; }

    static fs::path root() { return s_dir->path(); }
    static fs::path shared() { return root() / "共有データ"; }
    static fs::path sounds() { return shared() / "音フォルダ"; }

    static test::TempDir* s_dir;
    static int s_status;
};
test::TempDir* DemoInstall::s_dir = nullptr;
int DemoInstall::s_status = -1;

TEST_F(DemoInstall, EveryTextFileIsCp932WithCrLfAndMatchesItsSource) {
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(kSource)) {
        if (entry.path().extension() != ".txt") continue;
        ++files;
        const fs::path installed = root() / fs::relative(entry.path(), kSource);
        SCOPED_TRACE(installed.string());
        const std::string bytes = test::readBytes(installed);
        for (size_t i = 0; i < bytes.size(); ++i) {
            const bool lineEnd = bytes[i] == '\r' || bytes[i] == '\n';
            const bool crLf = bytes[i] == '\r' ? i + 1 < bytes.size() && bytes[i + 1] == '\n'
                                               : i > 0 && bytes[i - 1] == '\r';
            ASSERT_TRUE(!lineEnd || crLf) << "lone line-end byte at " << i;
        }
        std::string expected;
        for (char c : test::readBytes(entry.path())) {
            if (c == '\n') expected += '\r';
            expected += c;
        }
        EXPECT_EQ(cp932ToUtf8(bytes), expected);
    }
    EXPECT_EQ(files, 5);
}

TEST_F(DemoInstall, FoldersAreLaidOutAsASchoolInstallsThem) {
    EXPECT_TRUE(fs::is_directory(root() / "起動"));
    EXPECT_TRUE(fs::is_empty(root() / "起動"));
    EXPECT_TRUE(fs::is_regular_file(shared() / "Kestrel" / "タイム回数データ.txt"));
    EXPECT_TRUE(fs::is_regular_file(sounds() / "新音ファイル.txt"));
}

TEST_F(DemoInstall, PathFileAndSharedConfigurationHoldTenItems) {
    const auto path = itemsOf(root() / "パスデータ.txt");
    ASSERT_EQ(path.size(), 10u);
    EXPECT_EQ(path[0], "共有データ\\");

    // The configuration's last line has no line end; its item still counts.
    const std::string raw = test::readBytes(shared() / "共通データ.txt");
    EXPECT_NE(raw.back(), '\n');
    const auto config = itemsOf(shared() / "共通データ.txt");
    ASSERT_EQ(config.size(), 10u);
    EXPECT_EQ(config[0], "4");
    EXPECT_EQ(leadingNumber(config[1].substr(0, 5)), 12345);
    EXPECT_GT(config[1].size(), 5u);
    EXPECT_TRUE(config[2] == "0" || config[2] == "1");
    EXPECT_FALSE(config[5].empty()) << "teacher password";
}

TEST_F(DemoInstall, RosterEntriesAreCompleteAndFitTheNameList) {
    const auto items = itemsOf(shared() / "新名簿.txt");
    ASSERT_EQ(items.size() % 8, 0u);
    std::set<int> numbers;
    std::map<int, int> statuses;
    int teachers = 0, quotedWithComma = 0;
    for (size_t i = 0; i < items.size(); i += 8) {
        SCOPED_TRACE(items[i + 4]);
        const int number = static_cast<int>(leadingNumber(items[i]));
        EXPECT_TRUE(number >= 1 && number <= 5000);
        EXPECT_TRUE(numbers.insert(number).second) << "duplicate number " << number;
        EXPECT_EQ(items[i + 1].size(), 4u);
        const double year = leadingNumber(items[i + 1]);
        EXPECT_TRUE(year >= 1950 && year <= 2030);
        // Grade tag, a blank and the name share a nine-character column.
        size_t length = 0;
        for (unsigned char c : items[i + 4])
            length += (c & 0xC0) != 0x80;
        EXPECT_TRUE(length >= 1 && length <= 6) << "name length " << length;
        ++statuses[static_cast<int>(leadingNumber(items[i + 5]))];
        if (items[i + 4].find("先生") != std::string::npos) ++teachers;
        for (size_t k : {i + 6, i + 7})
            if (items[k].find(',') != std::string::npos) ++quotedWithComma;
    }
    EXPECT_GE(numbers.size(), 30u);
    EXPECT_EQ(statuses[1], 1);
    EXPECT_EQ(statuses[2], 1);
    EXPECT_EQ(teachers, 1);
    EXPECT_EQ(quotedWithComma, 1);
}

TEST_F(DemoInstall, CriteriaFileHasTheEditorsCaptionLineAndFiveLevels) {
    const std::string text = readCp932File(shared() / "Kestrel" / "タイム回数データ.txt");
    EXPECT_EQ(text.substr(0, text.find("\r\n")),
              "目標Time,最低Time,ｸﾘｱﾎﾟｲﾝﾄ,ｸﾘｱ回数,ﾎﾟｲﾝﾄ倍率,禁回,禁点,判期間,禁期間,,,");
    const auto items = readItems(text);
    ASSERT_EQ(items.size(), 6u * 12u);
    for (int level = 1; level <= 5; ++level) {
        SCOPED_TRACE(level);
        const auto row = items.begin() + level * 12;
        const double target = leadingNumber(row[0]), minimum = leadingNumber(row[1]);
        EXPECT_GT(target, 0);
        EXPECT_GT(minimum, target) << "the minimum line is slower than the target";
        EXPECT_GT(leadingNumber(row[2]), 0);
        EXPECT_GT(leadingNumber(row[3]), 0);
        EXPECT_GE(leadingNumber(row[4]), 1);
        EXPECT_GT(leadingNumber(row[7]), 0);
        EXPECT_GT(leadingNumber(row[8]), 0);
        for (int k = 9; k < 12; ++k)
            EXPECT_EQ(row[k], "");
    }
}

TEST_F(DemoInstall, SoundTableNamesAllCuesAndEveryFileExists) {
    const char* cues[] = {"正解音1", "正解音2",     "間違い音1",   "間違い音2",   "最高音1",
                          "最高音2", "自己最高音1", "自己最高音2", "自己最高音3", "不合格音1"};
    ItemReader reader(readCp932File(sounds() / "新音ファイル.txt"));
    std::map<std::string, std::vector<std::string>> blocks;
    std::string current;
    while (auto item = reader.next()) {
        if (current.empty()) {
            current = *item;
            blocks[current];
        } else if (*item == "*") {
            current.clear();
        } else {
            blocks[current].push_back(*item);
        }
    }
    EXPECT_TRUE(current.empty()) << "unterminated block " << current;
    EXPECT_EQ(blocks.size(), 10u);
    for (const char* cue : cues) {
        SCOPED_TRACE(cue);
        ASSERT_TRUE(blocks.count(cue));
        EXPECT_TRUE(!blocks[cue].empty() && blocks[cue].size() < 20);
        for (const auto& name : blocks[cue])
            EXPECT_TRUE(fs::is_regular_file(sounds() / (name + ".wav"))) << name;
    }
    for (const char* fixed : {"最高1.wav", "合格.wav", "警告1.wav"})
        EXPECT_TRUE(fs::is_regular_file(sounds() / fixed)) << fixed;
}

TEST_F(DemoInstall, SoundFilesAreShortDistinctMonoPcmWithoutClicks) {
    std::set<std::string> bodies;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(sounds())) {
        if (entry.path().extension() != ".wav") continue;
        ++files;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string b = test::readBytes(entry.path());
        ASSERT_GE(b.size(), 44u);
        EXPECT_EQ(b.substr(0, 4), "RIFF");
        EXPECT_EQ(le(b, 4, 4), b.size() - 8);
        EXPECT_EQ(b.substr(8, 8), "WAVEfmt ");
        EXPECT_EQ(le(b, 16, 4), 16u);
        EXPECT_EQ(le(b, 20, 2), 1u) << "PCM";
        EXPECT_EQ(le(b, 22, 2), 1u) << "mono";
        EXPECT_EQ(le(b, 24, 4), 22050u);
        EXPECT_EQ(le(b, 28, 4), 44100u);
        EXPECT_EQ(le(b, 32, 2), 2u);
        EXPECT_EQ(le(b, 34, 2), 16u);
        EXPECT_EQ(b.substr(36, 4), "data");
        const uint32_t data = le(b, 40, 4);
        ASSERT_EQ(data, b.size() - 44);
        const double seconds = data / 2 / 22050.0;
        EXPECT_TRUE(seconds >= 0.2 && seconds <= 1.0) << seconds << " s";
        const size_t n = data / 2;
        auto sample = [&](size_t i) { return static_cast<int16_t>(le(b, 44 + 2 * i, 2)); };
        int peak = 0;
        for (size_t i = 0; i < n; ++i)
            peak = std::max(peak, std::abs(int{sample(i)}));
        EXPECT_GT(peak, 8000) << "audible";
        EXPECT_LT(peak, 32000) << "not clipped";
        EXPECT_LT(std::abs(int{sample(0)}), 100);
        EXPECT_LT(std::abs(int{sample(n - 1)}), 100);
        EXPECT_TRUE(bodies.insert(b.substr(44)).second) << "same sound as another file";
    }
    EXPECT_EQ(files, 22);
}

namespace {

struct LoggedRun {
    double date, time;
    int student, level;
    int32_t seconds;
    std::string schoolCode;
};

std::vector<LoggedRun> loggedRuns(const fs::path& log) {
    const std::string b = test::readBytes(log);
    std::vector<LoggedRun> runs;
    for (size_t at = 0; at + 44 <= b.size(); at += 44) {
        double date, time;
        std::memcpy(&date, &b[at], 8); // the test machine is little-endian, as the log
        std::memcpy(&time, &b[at + 8], 8);
        runs.push_back({date, time, static_cast<int16_t>(le(b, at + 16, 2)),
                        static_cast<int16_t>(le(b, at + 18, 2)),
                        static_cast<int32_t>(le(b, at + 20, 4)), b.substr(at + 24, 5)});
    }
    return runs;
}

double today() {
    const std::time_t t = std::time(nullptr);
    std::tm local{};
    localtime_r(&t, &local);
    return static_cast<double>(dayNumber({local.tm_year + 1900, local.tm_mon + 1, local.tm_mday}));
}

} // namespace

TEST_F(DemoInstall, HistoryOfRunsLeadsUpToTodayWithRecordsAtEveryLevel) {
    const fs::path log = shared() / "Kestrel" / "成績累積データ.dat";
    ASSERT_TRUE(fs::exists(log));
    EXPECT_EQ(fs::file_size(log) % 44, 0u);
    const std::vector<LoggedRun> runs = loggedRuns(log);
    ASSERT_GE(runs.size(), 2000u);
    ASSERT_LE(runs.size(), 6000u);

    std::set<int> listed;
    const auto roster = itemsOf(shared() / "新名簿.txt");
    for (size_t i = 0; i < roster.size(); i += 8)
        if (roster[i + 4].find("先生") == std::string::npos)
            listed.insert(static_cast<int>(leadingNumber(roster[i])));

    const double day = today();
    std::map<std::pair<int, int>, int32_t> best;
    std::map<std::pair<int, int>, int> records, runsToday;
    int timeOuts = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        const LoggedRun& r = runs[i];
        SCOPED_TRACE(i);
        if (i > 0) {
            const LoggedRun& p = runs[i - 1];
            ASSERT_TRUE(p.date < r.date || (p.date == r.date && p.time <= r.time))
                << "in the order the runs were made";
        }
        ASSERT_TRUE(listed.count(r.student)) << r.student;
        ASSERT_TRUE(r.level >= 1 && r.level <= 5);
        ASSERT_TRUE(r.date <= day && r.date >= day - 130);
        ASSERT_TRUE(r.time >= 0 && r.time < 1);
        ASSERT_EQ(r.schoolCode, "12345");
        ASSERT_TRUE(r.seconds == 99999 || (r.seconds > 0 && r.seconds < 1000)) << r.seconds;
        const auto key = std::pair{r.student, r.level};
        if (r.seconds == 99999) ++timeOuts;
        if (r.seconds < 1800 && (!best.count(key) || r.seconds < best[key])) {
            best[key] = r.seconds;
            ++records[key];
        }
        if (r.date == day) ++runsToday[key];
    }
    EXPECT_EQ(runs.back().date, day) << "runs today";
    EXPECT_GE(runsToday.size(), 5u);
    for (const auto& [key, n] : runsToday)
        EXPECT_LE(n, 3) << "no level practised too much today";
    EXPECT_GE(timeOuts, 10);
    for (int level = 1; level <= 5; ++level) {
        int improving = 0;
        for (const auto& [key, n] : records)
            if (key.second == level && n >= 4) ++improving;
        EXPECT_GE(improving, 3) << "students with record runs at level " << level;
    }

    // The same seed: another installation holds the same runs up to today.
    test::TempDir again;
    ASSERT_EQ(runMakeDemo({kSource.string(), again.path().string()}), 0);
    const std::vector<LoggedRun> second =
        loggedRuns(again / "共有データ" / "Kestrel" / "成績累積データ.dat");
    ASSERT_EQ(second.size(), runs.size());
    for (size_t i = 0; i < runs.size() && runs[i].date < day; ++i)
        ASSERT_TRUE(second[i].date == runs[i].date && second[i].time == runs[i].time &&
                    second[i].student == runs[i].student && second[i].seconds == runs[i].seconds)
            << i;
}

TEST_F(DemoInstall, RunningAgainReplacesTheFilesAndKeepsOthers) {
    const fs::path log = shared() / "Kestrel" / "成績累積データ.dat";
    test::writeBytes(log, std::string(44, 'x'));
    test::writeBytes(shared() / "新名簿.txt", "garbage");
    ASSERT_EQ(runMakeDemo({kSource.string(), root().string()}), 0);
    EXPECT_EQ(test::readBytes(log), std::string(44, 'x'));
    EXPECT_EQ(itemsOf(shared() / "新名簿.txt").size() % 8, 0u);
    // An empty log has no run to keep: it gets the history.
    test::writeBytes(log, "");
    ASSERT_EQ(runMakeDemo({kSource.string(), root().string()}), 0);
    EXPECT_GE(fs::file_size(log), 2000u * 44u);
}

TEST(DemoTool, FailsOnBadArgumentsAndBadSources) {
    test::TempDir dir;
    EXPECT_NE(runMakeDemo({}), 0);
    EXPECT_NE(runMakeDemo({(dir / "missing").string(), (dir / "out").string()}), 0);

    // A source that cannot be written in CP932 is refused, not mangled.
    fs::create_directories(dir / "src");
    test::writeBytes(dir / "src" / "パスデータ.txt", "共有データ\\\n😀\n");
    EXPECT_NE(runMakeDemo({(dir / "src").string(), (dir / "out").string()}), 0);

    // A sound name that would leave the sound folder is refused.
    fs::create_directories(dir / "src2" / "s" / "音フォルダ");
    test::writeBytes(dir / "src2" / "パスデータ.txt", "s\\\n");
    test::writeBytes(dir / "src2" / "s" / "音フォルダ" / "新音ファイル.txt", "正解音2,../x,*\n");
    EXPECT_NE(runMakeDemo({(dir / "src2").string(), (dir / "out2").string()}), 0);
    EXPECT_FALSE(fs::exists(dir / "out2" / "s" / "x.wav"));
}

TEST(Cp932, TrickyCharactersRoundTripThroughAFile) {
    struct Case {
        const char* utf8;
        const char* cp932;
        const char* readBack; // what a reader sees afterwards
    } cases[] = {
        {"－", "\x81\x7C", "－"},
        {"～", "\x81\x60", "～"},
        {"∥", "\x81\x61", "∥"},
        {"￢", "\x81\xCA", "￢"},
        // The wave dash shares the full-width tilde's code.
        {"〜", "\x81\x60", "～"},
        {"ﾚﾍﾞﾙ", "\xDA\xCD\xDE\xD9", "ﾚﾍﾞﾙ"},
        {"　", "\x81\x40", "　"},
        {"①髙", "\x87\x40\xFB\xFC", "①髙"},
        {"小５,\"a,b\"\r\n", "\x8F\xAC\x82\x54,\"a,b\"\r\n", "小５,\"a,b\"\r\n"},
    };
    test::TempDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.utf8);
        writeCp932File(dir / "t.txt", c.utf8);
        EXPECT_EQ(test::readBytes(dir / "t.txt"), c.cp932);
        EXPECT_EQ(readCp932File(dir / "t.txt"), c.readBack);
    }
}

TEST(Cp932, BytesOutsideTheCodePageAreAnEncodingError) {
    test::TempDir dir;
    test::writeBytes(dir / "bad.txt", "\x81\x7C\xFF\xFF");
    try {
        readCp932File(dir / "bad.txt");
        FAIL() << "no error";
    } catch (const FileError& e) {
        EXPECT_EQ(e.kind(), FileError::Kind::Encoding);
    }
    EXPECT_THROW(writeCp932File(dir / "out.txt", "😀"), FileError);
    EXPECT_FALSE(std::filesystem::exists(dir / "out.txt"));
}

} // namespace
