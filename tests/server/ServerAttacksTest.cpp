// The classroom server against what a script on the school network, a
// flaky network or a share that goes away does to it: every record is one a
// child could have made in the room, no tablet waits for the share, and no
// run is lost or doubled.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "drill/Problem.h"
#include "results/KeptRuns.h"
#include "results/ResultRecord.h"
#include "server/ServerReplies.h"
#include "server/ServerSchool.h"
#include "support/HeldLog.h"

namespace kestrel::test {
namespace {

using json = nlohmann::json;
using server::Response;

std::string headerOf(const Response& r, const std::string& name) {
    for (const auto& [k, v] : r.headers)
        if (k == name) return v;
    return {};
}

size_t recordCount(const ServerSchool& s) {
    return static_cast<size_t>(s.logBytes() / kResultRecordSize);
}

std::string signIn(ServerSchool& s, int line = 2, const std::string& code = {}) {
    json b{{"line", line}};
    if (!code.empty()) b["code"] = code;
    const Response r = s.call("POST", "/api/signin", b.dump());
    EXPECT_EQ(r.status, 200) << r.body;
    return cookieOf(r);
}

Response post(ServerSchool& s, const std::string& path, const json& b, const std::string& session) {
    return s.call("POST", path, b.dump(), session);
}

// A whole run answered right, `pace` seconds an answer; the last reply.
json runThrough(ServerSchool& s, const std::string& session, int level, double pace) {
    json run = body(post(s, "/api/runs", {{"level", level}}, session));
    const std::string id = run["run"];
    json problem = run["problem"];
    json last;
    for (int k = 0; k < 10 && problem.is_object(); ++k) {
        s.clock.advance(pace);
        last = body(post(s, "/api/runs/" + id + "/answer",
                         {{"entry", solve(problem)}, {"seq", problem["seq"]}}, session));
        problem = last.value("problem", json());
    }
    return last;
}

} // namespace

TEST(ServerAttacks, OnlyARoomsDeviceAtAChildsPaceMakesARecord) {
    ServerSchool room([](server::ServerSetup& setup) {
        setup.classCode = "4821";
        setup.limits.minAnswerSeconds = 0.5;
    });

    // No code, or a wrong one: no sign-in; five wrong ones and the address waits.
    const struct {
        json body;
        int status;
    } refusals[] = {{{{"line", 2}}, 403},
                    {{{"line", 2}, {"code", "1234"}}, 403},
                    {{{"line", 2}, {"code", 4821}}, 403}};
    for (const auto& c : refusals) {
        const Response r = room.call("POST", "/api/signin", c.body.dump());
        EXPECT_EQ(r.status, c.status) << c.body;
        EXPECT_EQ(body(r)["needCode"], true);
        EXPECT_EQ(cookieOf(r), "");
    }
    for (int k = 0; k < 4; ++k)
        room.call("POST", "/api/signin", json{{"line", 2}, {"code", "0000"}}.dump());
    EXPECT_EQ(room.call("POST", "/api/signin", json{{"line", 2}, {"code", "4821"}}.dump()).status,
              429);
    room.clock.advance(61);
    const std::string session = signIn(room, 2, "4821");

    // Ten right answers posted at once: each is held, none judged.
    json run = body(post(room, "/api/runs", {{"level", 1}}, session));
    const std::string id = run["run"];
    for (int k = 0; k < 10; ++k) {
        const Response r =
            post(room, "/api/runs/" + id + "/answer",
                 {{"entry", solve(run["problem"])}, {"seq", run["problem"]["seq"]}}, session);
        EXPECT_EQ(r.status, 425);
        EXPECT_EQ(body(r)["tooSoon"], true);
        EXPECT_EQ(body(r)["retryAfterMs"], 500);
    }
    EXPECT_EQ(recordCount(room), 0u);
    // At the floor's pace the run counts, and no faster than ten floors.
    room.clock.advance(0.5);
    json problem = run["problem"];
    for (int k = 0; k < 10; ++k) {
        const json r = body(post(room, "/api/runs/" + id + "/answer",
                                 {{"entry", solve(problem)}, {"seq", problem["seq"]}}, session));
        problem = r.value("problem", json());
        room.clock.advance(0.5);
    }
    ASSERT_EQ(recordCount(room), 1u);
    const std::string bytes = readBytes(room.log());
    EXPECT_GE(decodeResultRecord(reinterpret_cast<const unsigned char*>(bytes.data())).seconds, 4);
}

TEST(ServerAttacks, AnAnswerSentTwiceIsAnsweredOnce) {
    ServerSchool s;
    const std::string session = signIn(s);
    const json run = body(post(s, "/api/runs", {{"level", 1}}, session));
    const std::string id = run["run"];
    const json first = run["problem"];
    s.clock.advance(2);
    // A wrong answer, its reply lost: sent again, the same reply, one penalty.
    const json wrong = {{"entry", "1"}, {"seq", first["seq"]}};
    const Response w1 = post(s, "/api/runs/" + id + "/answer", wrong, session);
    const Response w2 = post(s, "/api/runs/" + id + "/answer", wrong, session);
    EXPECT_EQ(w1.body, w2.body);
    EXPECT_EQ(body(w1)["verdict"], "wrong");
    EXPECT_EQ(body(w1)["sLabel10"], "12");
    const json confirm = {{"seq", first["seq"]}};
    const Response c1 = post(s, "/api/runs/" + id + "/confirm", confirm, session);
    const Response c2 = post(s, "/api/runs/" + id + "/confirm", confirm, session);
    EXPECT_EQ(c1.body, c2.body);
    const json second = body(c1)["problem"];
    EXPECT_EQ(second["seq"], first["seq"].get<int>() + 1);
    // A right answer sent twice counts once, and is never judged against
    // the next problem.
    const json right = {{"entry", solve(second)}, {"seq", second["seq"]}};
    const Response r1 = post(s, "/api/runs/" + id + "/answer", right, session);
    const Response r2 = post(s, "/api/runs/" + id + "/answer", right, session);
    EXPECT_EQ(r1.body, r2.body);
    EXPECT_EQ(body(r2)["sLabel9"], "9");
    EXPECT_EQ(body(r2)["verdict"], "right");
    // An answer for a problem long gone changes nothing.
    EXPECT_EQ(post(s, "/api/runs/" + id + "/answer", wrong, session).status, 409);
    EXPECT_EQ(body(s.call("GET", "/api/session", {}, session))["run"]["sLabel9"], "9");
}

TEST(ServerAttacks, OneAddressCannotFillTheServer) {
    ServerSchool s;
    s.client = "192.168.1.66";
    for (int k = 0; k < 120; ++k)
        s.call("POST", "/api/signin", json{{"line", 2}}.dump());
    EXPECT_LE(s.server->sessionCount(), 6u);
    // Every other child still signs in, and so does the same address again.
    for (int k = 0; k < 40; ++k) {
        s.client = "192.168.2." + std::to_string(k + 1);
        EXPECT_NE(signIn(s, 3), "");
    }
    s.client = "192.168.1.66";
    s.clock.advance(5); // past the address's burst of requests
    EXPECT_NE(signIn(s, 2), "");
    // A session in a run is never the one that goes.
    ServerSchool t([](server::ServerSetup& setup) { setup.limits.maxSessionsPerClient = 2; });
    const std::string a = signIn(t, 2), b = signIn(t, 3);
    EXPECT_EQ(post(t, "/api/runs", {{"level", 1}}, a).status, 201);
    EXPECT_EQ(post(t, "/api/runs", {{"level", 1}}, b).status, 201);
    const Response third = t.call("POST", "/api/signin", json{{"line", 4}}.dump());
    EXPECT_EQ(third.status, 503);
    EXPECT_EQ(t.call("GET", "/api/session", {}, a).status, 200);
}

TEST(ServerAttacks, OnlyTheServersOwnNamesAndPagesAreServed) {
    ServerSchool s([](server::ServerSetup& setup) {
        setup.hosts = {"192.168.1.5", "kestrel-pc", "localhost"};
    });
    const auto call = [&](const std::string& method, const std::string& path,
                          server::Fields headers) {
        server::Request r;
        r.method = method;
        r.path = path;
        r.client = "192.168.1.20";
        r.headers = std::move(headers);
        if (method == "POST") {
            r.headers.push_back({"Content-Type", "application/json"});
            r.body = R"({"line":2})";
        }
        return s.server->handle(r).status;
    };
    const struct {
        const char* method;
        const char* path;
        server::Fields headers;
        int status;
    } cases[] = {
        {"GET", "/api/names", {{"Host", "192.168.1.5:8080"}}, 200},
        {"GET", "/api/names", {{"Host", "KESTREL-PC:8080"}}, 200},
        {"GET", "/", {{"Host", "localhost"}}, 200},
        {"GET", "/api/names", {{"Host", "evil.example:8080"}}, 403},
        {"GET", "/", {{"Host", "evil.example"}}, 403},
        {"GET", "/api/names", {}, 403},
        {"POST", "/api/signin", {{"Host", "192.168.1.5:8080"}}, 200},
        {"POST",
         "/api/signin",
         {{"Host", "192.168.1.5:8080"}, {"Origin", "http://192.168.1.5:8080"}},
         200},
        {"POST",
         "/api/signin",
         {{"Host", "192.168.1.5:8080"}, {"Origin", "http://evil.example"}},
         403},
    };
    for (const auto& c : cases)
        EXPECT_EQ(call(c.method, c.path, c.headers), c.status)
            << c.method << " " << c.path << " " << (c.headers.empty() ? "" : c.headers[0].second);
}

TEST(ServerAttacks, NoTabletWaitsWhileAnotherPcHoldsTheLog) {
    ServerSchool s;
    const std::string session = signIn(s);
    json run = body(post(s, "/api/runs", {{"level", 1}}, session));
    const std::string id = run["run"];
    json problem = run["problem"];
    HeldLog other(s.log());
    ASSERT_TRUE(other.held());
    // Answers go on; what needs the log is busy at once, with Retry-After.
    for (int k = 0; k < 9; ++k) {
        s.clock.advance(2);
        const Response r = post(s, "/api/runs/" + id + "/answer",
                                {{"entry", solve(problem)}, {"seq", problem["seq"]}}, session);
        ASSERT_EQ(r.status, 200) << r.body;
        problem = body(r)["problem"];
    }
    const Response menu = s.call("GET", "/api/menu", {}, session);
    EXPECT_EQ(menu.status, 503);
    EXPECT_EQ(headerOf(menu, "Retry-After"), "1");
    s.clock.advance(2);
    const Response last = post(s, "/api/runs/" + id + "/answer",
                               {{"entry", solve(problem)}, {"seq", problem["seq"]}}, session);
    EXPECT_EQ(body(last)["state"], "recording");
    EXPECT_EQ(s.server->recordsWaiting(), 1u);
    // Once the other PC lets go, the next request records it, once.
    other.release();
    s.clock.advance(1);
    const json polled = body(s.call("GET", "/api/runs/" + id, {}, session));
    EXPECT_EQ(polled["state"], "ended");
    EXPECT_EQ(polled["end"]["Label18"], "今の成績：20秒");
    EXPECT_EQ(recordCount(s), 1u);
    EXPECT_EQ(s.call("GET", "/api/menu", {}, session).status, 200);
    EXPECT_EQ(recordCount(s), 1u);
}

TEST(ServerAttacks, ARunEndedWhileTheShareIsAwayIsKeptAndGoesInOnce) {
    TempDir kept;
    ServerSchool s([&](server::ServerSetup& setup) { setup.keptRunsFolders = {kept.path()}; });
    const std::string session = signIn(s);
    json run = body(post(s, "/api/runs", {{"level", 1}}, session));
    const std::string id = run["run"];
    json problem = run["problem"];
    for (int k = 0; k < 9; ++k) {
        s.clock.advance(2);
        problem =
            body(post(s, "/api/runs/" + id + "/answer",
                      {{"entry", solve(problem)}, {"seq", problem["seq"]}}, session))["problem"];
    }
    // The share goes away before the tenth answer.
    const std::filesystem::path away = s.root() / "away";
    std::filesystem::rename(s.shared(), away);
    s.clock.advance(2);
    const json last = body(post(s, "/api/runs/" + id + "/answer",
                                {{"entry", solve(problem)}, {"seq", problem["seq"]}}, session));
    ASSERT_EQ(last["state"], "ended") << last.dump();
    EXPECT_EQ(last["end"]["kept"], true);
    EXPECT_EQ(last["end"]["Label20"], kKeptRunText);
    EXPECT_EQ(last.dump().find(utf8OfPath(s.root())), std::string::npos) << "no path of the PC";

    // The share is back: the next run's record takes the kept one in first.
    std::filesystem::rename(away, s.shared());
    s.clock.advance(5);
    const std::string other = signIn(s, 3);
    runThrough(s, other, 2, 2);
    EXPECT_EQ(recordCount(s), 2u);
    runThrough(s, other, 2, 2);
    EXPECT_EQ(recordCount(s), 3u);
    EXPECT_TRUE(keptRunFiles({kept.path()}, s.log(), s.files).empty());
}

} // namespace kestrel::test
