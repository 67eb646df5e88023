// The classroom server through its request handling: sign-in, the level
// menu, whole runs judged and timed by the server, the record it appends
// (the same bytes as the desktop's), and every way a request may try to
// write what the server did not measure.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <random>

#include "context/Procedures.h"
#include "drill/Problem.h"
#include "levelmenu/LevelMenu.h"
#include "levelmenu/Ranking.h"
#include "results/ResultRecord.h"
#include "results/RunEvaluation.h"
#include "roster/RosterDisplay.h"
#include "server/ServerReplies.h"
#include "server/ServerSchool.h"
#include "startup/Folders.h"
#include "text/SortedLines.h"

namespace kestrel::test {
namespace {

using json = nlohmann::json;
using server::Response;

std::vector<ResultRecord> records(const std::filesystem::path& log) {
    const std::string bytes = readBytes(log);
    std::vector<ResultRecord> out;
    for (size_t at = 0; at + kResultRecordSize <= bytes.size(); at += kResultRecordSize)
        out.push_back(
            decodeResultRecord(reinterpret_cast<const unsigned char*>(bytes.data()) + at));
    return out;
}

class ServerTest : public ::testing::Test {
protected:
    ServerSchool school;

    // Signs in the student of the list's line (all grades, points mode).
    std::string signIn(int line = 2) {
        const Response r = school.call("POST", "/api/signin", json{{"line", line}}.dump());
        EXPECT_EQ(r.status, 200) << r.body;
        return cookieOf(r);
    }
    json startRun(const std::string& session, int level) {
        const Response r = school.call("POST", "/api/runs", json{{"level", level}}.dump(), session);
        EXPECT_EQ(r.status, 201) << r.body;
        return body(r);
    }
    Response answer(const std::string& session, const std::string& run, const std::string& entry) {
        return school.call("POST", "/api/runs/" + run + "/answer", json{{"entry", entry}}.dump(),
                           session);
    }
};

TEST_F(ServerTest, TheNameScreenListsTheRosterAsTheDesktopDoes) {
    const Response r = school.call("GET", "/api/names");
    ASSERT_EQ(r.status, 200) << r.body;
    const json j = body(r);
    EXPECT_EQ(j["Label1"], "名前を選びなさい");
    EXPECT_EQ(j["List1"][0]["text"], "－－－－－－");
    ASSERT_GT(j["List1"].size(), 3u);
    // Line k's Label1 is what the desktop shows when the line is chosen.
    const std::string line = j["List1"][2]["text"];
    EXPECT_EQ(j["List1"][2]["Label1"], chosenNameText(line));
    const Response third =
        school.call("GET", "/api/names", {}, {}, {{"grade", "小３"}, {"mode", "0"}});
    ASSERT_EQ(third.status, 200);
    for (size_t k = 1; k < body(third)["List1"].size(); ++k)
        EXPECT_TRUE(body(third)["List1"][k]["text"].get<std::string>().starts_with("小3"));
}

TEST_F(ServerTest, SignInIsRefusedWithoutAStudent) {
    struct Case {
        std::string body;
        int status;
    };
    const Case cases[] = {
        {R"({"line":0})", 422},
        {R"({"line":9999})", 422},
        {R"({"line":-1})", 422},
        {R"({})", 400},
        {R"({"line":"2"})", 400},
        {R"({"line":2.5})", 400},
        {R"({"line":2,"grade":"小９"})", 400},
        {R"({"line":2,"mode":7})", 400},
        {R"([2])", 400},
        {R"(not json)", 400},
        {"", 400},
    };
    for (const Case& c : cases) {
        const Response r = school.call("POST", "/api/signin", c.body);
        EXPECT_EQ(r.status, c.status) << c.body << " -> " << r.body;
        EXPECT_EQ(cookieOf(r), "") << c.body;
        if (c.status == 422) {
            EXPECT_EQ(body(r)["Label1"], "名前を選びなさい");
            EXPECT_EQ(body(r)["cue"], "wrong");
        }
    }
    EXPECT_EQ(school.server->sessionCount(), 0u);
    // Without a session the menu and the runs are closed.
    EXPECT_EQ(school.call("GET", "/api/menu").status, 401);
    EXPECT_EQ(school.call("POST", "/api/runs", R"({"level":1})").status, 401);
}

TEST_F(ServerTest, AWholeRunIsJudgedTimedAndRecordedAsTheDesktopRecordsIt) {
    const std::string session = signIn();
    // The desktop's view of the same log before the run, for comparison.
    const std::filesystem::path desktopLog = school.root() / "desktop.dat";
    TestContext desktop;
    desktop.clock.set(school.clock.now().date, school.clock.now().secondsOfDay);
    FolderSetup setup = readFolderSetup(school.root() / "Kestrel" / "kestrel-server");
    desktop.ctx.folders = setup.folders;
    desktop.ctx.config = setup.config;
    desktop.ctx.criteria = readCriteriaFile(criteriaFilePath(setup.folders));

    const json run = startRun(session, 3);
    const std::string id = run["run"];
    EXPECT_EQ(run["sLabel9"], "10");
    EXPECT_EQ(run["sLabel10"], "0");
    EXPECT_EQ(run["sLabel12"], "1");
    EXPECT_EQ(run["bar"]["limit"], 5 * desktop.ctx.criteria[3].minimumTime);
    json problem = run["problem"];

    // A wrong answer (an empty entry is judged, as on the desktop) costs
    // ten seconds and waits for "+" "+".
    school.clock.advance(4);
    Response r = answer(session, id, "");
    ASSERT_EQ(r.status, 200) << r.body;
    EXPECT_EQ(body(r)["verdict"], "wrong");
    EXPECT_EQ(body(r)["seitouLabel"], solve(problem));
    EXPECT_EQ(body(r)["sLabel10"], "14");
    EXPECT_EQ(body(r)["Commandkakunin2"], "\"+\"を２回押しなさい");
    EXPECT_EQ(answer(session, id, solve(problem)).status, 409) << "keys only count towards + +";
    r = school.call("POST", "/api/runs/" + id + "/confirm", "{}", session);
    ASSERT_EQ(r.status, 200) << r.body;
    problem = body(r)["problem"];

    // Ten right answers, three seconds each.
    for (int k = 1; k <= 10; ++k) {
        school.clock.advance(3);
        r = answer(session, id, solve(problem));
        ASSERT_EQ(r.status, 200) << r.body;
        EXPECT_EQ(body(r)["verdict"], "right");
        EXPECT_EQ(body(r)["sLabel9"], std::to_string(10 - k));
        if (k < 10) problem = body(r)["problem"];
    }
    const json end = body(r)["end"];
    const int seconds = 4 + 10 + 30;
    EXPECT_EQ(end["Label18"], "今の成績：" + std::to_string(seconds) + "秒");
    EXPECT_EQ(end["cover"], "lblsss1");
    EXPECT_EQ(end["Label13"], " (このレベル　1回目)");
    EXPECT_EQ(end["afterTimer"]["Command4"], "メニューへ");

    // One record, with the server's time, for this student and level.
    const std::vector<ResultRecord> written = records(school.log());
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].seconds, seconds);
    EXPECT_EQ(written[0].level, 3);

    // The desktop's RecordRun for the same run writes the same 44 bytes and
    // earns the same message.
    desktop.ctx.folders.DataFolder = school.root().string() + "/desktop/";
    std::filesystem::create_directories(desktop.ctx.folders.DataFolder);
    ASSERT_TRUE(BuildSummary(desktop.ctx));
    desktop.clock.set(school.clock.now().date, school.clock.now().secondsOfDay);
    desktop.ctx.state.CurrentStudentNumber = written[0].studentNumber;
    desktop.ctx.state.RunTime = seconds;
    const std::optional<RecordFlags> flags = RecordRun(desktop.ctx, 3);
    ASSERT_TRUE(flags);
    EXPECT_EQ(readBytes(resultsLogPath(desktop.ctx.folders)), readBytes(school.log()));
    const std::string message = runMessageText(
        runMessage(RunPhase::RunFinished, *flags, seconds, desktop.ctx.criteria[3].minimumTime));
    EXPECT_EQ(end["Label20"], message.empty() ? json(nullptr) : json(message));

    // The run is over: nothing more is judged or recorded, and the menu counts it.
    EXPECT_EQ(answer(session, id, "1").status, 409);
    const json menu = body(school.call("GET", "/api/menu", {}, session));
    EXPECT_EQ(menu["Label18"], "本日総回数＝1回");
    EXPECT_TRUE(menu["levels"][2]["Label14"].get<std::string>().starts_with("1回/"));
    EXPECT_EQ(records(school.log()).size(), 1u);
}

TEST_F(ServerTest, ARunTimesOutAtFiveTimesTheMinimumAndRecordsNoTime) {
    const std::string session = signIn();
    const json run = startRun(session, 1);
    const std::string id = run["run"];
    const int limit = run["bar"]["limit"];
    ASSERT_GT(limit, 0);

    // The page's polls keep the run alive; before the limit it runs on.
    int t = 0;
    while (t + 30 < limit) {
        school.clock.advance(30);
        t += 30;
        EXPECT_EQ(body(school.call("GET", "/api/runs/" + id, {}, session))["state"], "running");
    }
    school.clock.advance(limit - t);
    const Response r = school.call("GET", "/api/runs/" + id, {}, session);
    ASSERT_EQ(r.status, 200) << r.body;
    const json end = body(r)["end"];
    EXPECT_EQ(end["cover"], "lblsss2");
    EXPECT_EQ(end["lblsss2"], "時間切れ");
    EXPECT_EQ(end["Label20"], "時間切れ");
    EXPECT_EQ(end["Label18"], "記録なし");
    const std::vector<ResultRecord> written = records(school.log());
    ASSERT_EQ(written.size(), 1u);
    EXPECT_EQ(written[0].seconds, 99999);
    // An answer after the end changes nothing.
    EXPECT_EQ(answer(session, id, "1").status, 409);
    EXPECT_EQ(records(school.log()).size(), 1u);
}

TEST_F(ServerTest, AnAnswerAfterTheLimitTimesTheRunOut) {
    const std::string session = signIn();
    const json run = startRun(session, 1);
    const int limit = run["bar"]["limit"];
    int t = 0;
    while (t + 20 < limit) {
        school.clock.advance(20);
        t += 20;
        school.call("GET", "/api/runs/" + run["run"].get<std::string>(), {}, session);
    }
    school.clock.advance(limit - t + 2);
    const Response r = answer(session, run["run"], solve(run["problem"]));
    EXPECT_EQ(body(r)["verdict"], "timeUp") << r.body;
    ASSERT_EQ(records(school.log()).size(), 1u);
    EXPECT_EQ(records(school.log())[0].seconds, 99999);
}

TEST_F(ServerTest, RunsOfOthersAndForgedIdsReachNothing) {
    const std::string alice = signIn(2);
    const std::string bob = signIn(3);
    const json run = startRun(alice, 1);
    const std::string id = run["run"];
    struct Case {
        std::string method, path, session;
        int status;
    };
    const Case cases[] = {
        {"POST", "/api/runs/" + id + "/answer", bob, 404},
        {"GET", "/api/runs/" + id, bob, 404},
        {"GET", "/api/runs/" + id + "/hint", bob, 404},
        {"POST", "/api/runs/forged/answer", alice, 404},
        {"POST", "/api/runs/" + id + "/answer", "forged", 401},
        {"POST", "/api/runs/" + id + "/answer", "", 401},
        {"POST", "/api/runs/" + id + "/record", alice, 404},
        {"POST", "/api/runs/" + id + "/answer/again", alice, 404},
        {"POST", "/api/runs/", alice, 404},
    };
    for (const Case& c : cases) {
        const Response r = c.method == "POST"
                               ? school.call(c.method, c.path, R"({"entry":"1"})", c.session)
                               : school.call(c.method, c.path, {}, c.session);
        EXPECT_EQ(r.status, c.status) << c.method << " " << c.path << " " << c.session;
    }
    // Alice's run is untouched: her first answer is still the first.
    const Response mine = answer(alice, id, solve(run["problem"]));
    EXPECT_EQ(body(mine)["sLabel9"], "9") << mine.body;
    EXPECT_EQ(school.logBytes(), 0u);
}

TEST_F(ServerTest, OnlyLevelsTheStudentMayStartStart) {
    ServerSchool closed([](server::ServerSetup& s) { s.criteria[2].overPracticeCount = "1"; });
    const Response in = closed.call("POST", "/api/signin", R"({"line":2})");
    const std::string session = cookieOf(in);
    // One run of level 2 practises it too much.
    const json run = body(closed.call("POST", "/api/runs", R"({"level":2})", session));
    const std::string id = run["run"];
    json problem = run["problem"];
    for (int k = 0; k < 10; ++k) {
        closed.clock.advance(2);
        const json r = body(closed.call("POST", "/api/runs/" + id + "/answer",
                                        json{{"entry", solve(problem)}}.dump(), session));
        if (r.contains("problem")) problem = r["problem"];
    }
    ASSERT_EQ(records(closed.log()).size(), 1u);

    const json menu = body(closed.call("GET", "/api/menu", {}, session));
    EXPECT_EQ(menu["levels"][1]["enabled"], false);
    EXPECT_EQ(menu["levels"][1]["Text1"], "やりすぎ禁止");
    for (const char* level : {"0", "2", "6", "99", "-1"}) {
        const Response r =
            closed.call("POST", "/api/runs", std::string(R"({"level":)") + level + "}", session);
        EXPECT_EQ(r.status, 403) << level;
    }
    EXPECT_EQ(closed.call("POST", "/api/runs", R"({"level":5})", session).status, 201);
    EXPECT_EQ(records(closed.log()).size(), 1u);
}

TEST_F(ServerTest, NoRunIsThrownAway) {
    const std::string session = signIn();
    json run = startRun(session, 1);
    const std::string id = run["run"];
    for (int k = 0; k < 9; ++k) {
        school.clock.advance(2);
        run["problem"] = body(answer(session, id, solve(run["problem"])))["problem"];
    }
    // A new start while the run goes on is refused, with the run to go back to.
    const Response again = school.call("POST", "/api/runs", R"({"level":2})", session);
    EXPECT_EQ(again.status, 409);
    EXPECT_EQ(body(again)["run"]["run"], id);
    // A reloaded page finds the run where it stood: the tenth problem, its seq.
    const json resumed = body(school.call("GET", "/api/session", {}, session));
    EXPECT_EQ(resumed["run"]["sLabel9"], "1");
    EXPECT_EQ(resumed["run"]["problem"], run["problem"]);
    EXPECT_EQ(resumed["run"]["state"], "running");

    // Signed out, and the page gone: the run goes on to its limit and is
    // recorded as a time-out, as a desktop run that runs out is.
    school.call("POST", "/api/signout", "{}", session);
    const int limit = run["bar"]["limit"];
    school.clock.advance(limit);
    const std::string other = signIn(3);
    EXPECT_EQ(school.call("GET", "/api/menu", {}, other).status, 200);
    ASSERT_EQ(records(school.log()).size(), 1u);
    EXPECT_EQ(records(school.log())[0].seconds, 99999);

    // A run that no page asks after is recorded the same way.
    const json silent = startRun(other, 2);
    school.clock.advance(silent["bar"]["limit"].get<int>() + 1);
    EXPECT_EQ(school.call("GET", "/api/names").status, 200);
    EXPECT_EQ(records(school.log()).size(), 2u);
}

TEST_F(ServerTest, LimitsRefuseWithoutWriting) {
    const std::string session = signIn();
    EXPECT_EQ(school.call("POST", "/api/runs", std::string(5000, ' '), session).status, 413);
    school.client = "8.8.8.8";
    EXPECT_EQ(school.call("GET", "/api/names").status, 403);
    school.client = "::ffff:10.1.2.3";
    EXPECT_EQ(school.call("GET", "/").status, 200);
    school.client = "192.168.7.7";
    int refused = 0;
    for (int k = 0; k < 100; ++k)
        if (school.call("GET", "/").status == 429) ++refused;
    EXPECT_EQ(refused, 40) << "a burst of 60, then the rate";
    school.clock.advance(1);
    EXPECT_EQ(school.call("GET", "/").status, 200);
    EXPECT_EQ(school.logBytes(), 0u);
}

// The same student's level menu on a tablet and on a desktop PC, on one log
// that both have written to.
TEST_F(ServerTest, TheMenuShowsWhatTheDesktopShowsForTheSameLog) {
    const std::string session = signIn(3);
    for (int level : {1, 2, 2}) {
        json run = startRun(session, level);
        json problem = run["problem"];
        for (int k = 0; k < 10; ++k) {
            school.clock.advance(4);
            const json r = body(answer(session, run["run"], solve(problem)));
            if (r.contains("problem")) problem = r["problem"];
        }
    }
    TestContext desktop;
    desktop.clock.set(school.clock.now().date, school.clock.now().secondsOfDay);
    const FolderSetup setup = readFolderSetup(school.root() / "Kestrel" / "kestrel-server");
    desktop.ctx.folders = setup.folders;
    desktop.ctx.config = setup.config;
    desktop.ctx.criteria = readCriteriaFile(criteriaFilePath(setup.folders));
    DefineProgram(desktop.ctx.program);
    DefineLevelTable(desktop.ctx.program);
    NameListState lists;
    名簿表示(desktop.ctx, lists);
    const int student = lists.numberOfLine(3);
    // A desktop PC's run beside the tablet's.
    desktop.ctx.state.CurrentStudentNumber = static_cast<int16_t>(student);
    desktop.ctx.state.RunTime = 33;
    ASSERT_TRUE(BuildSummary(desktop.ctx));
    ASSERT_TRUE(RecordRun(desktop.ctx, 3));
    ASSERT_TRUE(BuildSummary(desktop.ctx));

    const json menu = body(school.call("GET", "/api/menu", {}, session));
    const ResultsSummary& summary = *desktop.ctx.summary;
    const LevelAvailability open =
        levelAvailability(desktop.ctx.program, desktop.ctx.criteria, summary, student);
    EXPECT_EQ(menu["Label18"], todayTotalText(todayRunCount(summary, student)));
    ASSERT_EQ(menu["levels"].size(), static_cast<size_t>(desktop.ctx.program.LevelCount));
    for (int level = 1; level <= desktop.ctx.program.LevelCount; ++level) {
        const json& column = menu["levels"][static_cast<size_t>(level - 1)];
        const LevelCriteria& c = desktop.ctx.criteria[level];
        EXPECT_EQ(column["Label14"], todayFigures(summary, level, student)) << level;
        EXPECT_EQ(column["Label15"], allTimeFigures(summary, level, student)) << level;
        EXPECT_EQ(column["Label8"], passPeriodFigures(c, summary, level, student)) << level;
        EXPECT_EQ(column["Label7"], targetLine(c)) << level;
        EXPECT_EQ(column["enabled"], !open.closed[static_cast<size_t>(level)]) << level;
        SortedLines lines(true);
        std::vector<std::string> texts;
        for (const RankingLine& line : buildRanking(desktop.ctx.roster, summary, level,
                                                    RankingBasis::PointsAll, "全学年", student))
            texts.push_back(line.text);
        lines.assign(std::move(texts));
        EXPECT_EQ(column["List5"], json(lines.lines())) << level;
    }
}

TEST(ServerStartup, AMissingFileIsNamedWithItsProblem) {
    struct Case {
        std::string remove;
        std::string named;
    };
    const Case cases[] = {
        {"パスデータ.txt", "パスデータ.txt"},
        {"共有データ/共通データ.txt", "共通データ.txt"},
        {"共有データ/Kestrel/タイム回数データ.txt", "タイム回数データ.txt"},
        {"共有データ/音フォルダ/新音ファイル.txt", "新音ファイル.txt"},
        {"共有データ/新名簿.txt", "新名簿.txt"},
    };
    for (const Case& c : cases) {
        std::string message;
        try {
            ServerSchool broken([&](server::ServerSetup&) {});
            std::filesystem::remove(broken.root() / pathFromUtf8(c.remove));
            (void)server::loadServerSetup(broken.root() / "Kestrel" / "kestrel-server", "",
                                          nullptr);
        } catch (const std::exception& e) {
            message = e.what();
        }
        EXPECT_NE(message.find(c.named), std::string::npos) << c.remove << ": " << message;
    }
}

TEST(ServerAddresses, PrivateRangesAndLoopbackOnly) {
    const std::pair<const char*, bool> cases[] = {
        {"127.0.0.1", true},       {"10.0.0.5", true},
        {"172.16.0.1", true},      {"172.31.255.255", true},
        {"172.32.0.1", false},     {"192.168.0.9", true},
        {"192.169.0.9", false},    {"169.254.1.1", true},
        {"8.8.8.8", false},        {"::1", true},
        {"fd12::1", true},         {"fe80::1", true},
        {"2001:db8::1", false},    {"::ffff:192.168.1.1", true},
        {"::ffff:1.1.1.1", false}, {"", false},
        {"1.2.3", false},          {"256.1.1.1", false},
        {"10.0.0.1.5", false},     {"x", false}};
    for (const auto& [address, expected] : cases)
        EXPECT_EQ(server::isPrivateAddress(address), expected) << address;
}

// Malformed and oversized requests of every kind: each is answered with an
// error, none with a crash, and none writes a record.
TEST_F(ServerTest, AThousandMalformedRequestsWriteNothing) {
    const std::string session = signIn();
    const json run = startRun(session, 1);
    const std::string id = run["run"];
    std::mt19937 rng(20261210);
    const std::string paths[] = {"/api/names",
                                 "/api/signin",
                                 "/api/signout",
                                 "/api/menu",
                                 "/api/runs",
                                 "/api/runs/" + id,
                                 "/api/runs/" + id + "/answer",
                                 "/api/runs/" + id + "/confirm",
                                 "/api/runs/" + id + "/hint",
                                 "/api/runs/x/answer",
                                 "/sounds/right",
                                 "/sounds/../../etc/passwd",
                                 "/../共有データ/共通データ.txt",
                                 "/api",
                                 "/%00",
                                 "//"};
    const std::string bodies[] = {"{",
                                  R"({"entry":"12345678901"})",
                                  R"({"entry":"4a"})",
                                  R"({"entry":" 1"})",
                                  R"({"entry":null})",
                                  R"({"level":"1"})",
                                  R"({"level":1e9})",
                                  R"({"line":[]})",
                                  "[[[[[[[[[[",
                                  std::string(4097, '{'),
                                  "\xff\xfe\x00",
                                  R"({"entry":"\u0000"})"};
    const std::string methods[] = {"GET", "POST", "PUT", "DELETE", "", "get"};
    for (int k = 0; k < 1000; ++k) {
        server::Request r;
        r.method = methods[rng() % std::size(methods)];
        r.path = paths[rng() % std::size(paths)];
        r.body = bodies[rng() % std::size(bodies)];
        r.client = "192.168.1." + std::to_string(rng() % 250);
        if (rng() % 3) r.headers.push_back({"Content-Type", "application/json"});
        r.headers.push_back(
            {"Cookie", rng() % 2 ? "kestrel_session=" + session : "kestrel_session=zz"});
        r.query.push_back({"grade", rng() % 2 ? "全学年" : "\xff"});
        if (rng() % 50 == 0) r.headers.resize(100, {"X", "y"});
        const Response out = school.server->handle(r);
        const bool staticGet = r.method == "GET" && !r.path.starts_with("/api");
        if (out.status < 400) {
            // Only well-formed reads may succeed; every POST body here is malformed.
            EXPECT_TRUE(r.method == "GET" || r.path == "/api/signout")
                << r.method << r.path << r.body;
            continue;
        }
        EXPECT_LT(out.status, 500) << r.method << " " << r.path << " " << r.body;
        if (!staticGet || out.contentType.starts_with("application/json")) {
            EXPECT_TRUE(json::parse(out.body, nullptr, false).contains("error")) << out.body;
        }
    }
    EXPECT_EQ(school.logBytes(), 0u);
}

} // namespace
} // namespace kestrel::test
