// The same run on both fronts: the desktop's drill screen driven by real key
// events and its one-second clock, and the classroom server driven by
// requests, with the same answers at the same seconds. Each must record the
// same time, whatever the wall clock does meanwhile.
#include <gtest/gtest.h>

#include <QPushButton>
#include <functional>
#include <nlohmann/json.hpp>
#include <vector>

#include "ServerCore.h"
#include "ServerStartup.h"
#include "app/App.h"
#include "app/Navigation.h"
#include "context/Procedures.h"
#include "drill/Problem.h"
#include "drill/ui/DrillRunFixture.h"
#include "results/ui/FrmSyuuryou.h"
#include "roster/RosterDisplay.h"
#include "school/SignIn.h"
#include "server/ServerReplies.h"
#include "startup/Folders.h"
#include "support/Installation.h"

namespace kestrel::test {
namespace {

using json = nlohmann::json;

enum class Act { Right, Wrong, Confirm, StepWall };

// At `at` seconds after the start: an answer, the "+" "+" confirmation, or
// the wall clock set `seconds` forward (or back).
struct Step {
    double at;
    Act act;
    double seconds = 0;
};

// Right answers `gap` seconds apart from `first` on.
std::vector<Step> rightAnswers(double first, double gap, int n = 10) {
    std::vector<Step> steps;
    for (int k = 0; k < n; ++k)
        steps.push_back({first + gap * k, Act::Right});
    return steps;
}

std::vector<Step> operator+(std::vector<Step> a, const std::vector<Step>& b) {
    a.insert(a.end(), b.begin(), b.end());
    std::stable_sort(a.begin(), a.end(), [](const Step& x, const Step& y) { return x.at < y.at; });
    return a;
}

struct Case {
    const char* what;
    int level;
    std::vector<Step> steps;
    int32_t recorded; // the record's seconds
};

const std::vector<Case>& cases() {
    static const std::vector<Case> all = {
        {"ten right answers", 1, rightAnswers(2.5, 2.5), 25},
        {"just before a tick", 1, rightAnswers(1.9, 1.0), 10},
        {"a wrong answer costs ten seconds", 3,
         std::vector<Step>{{3.5, Act::Wrong}, {4.2, Act::Confirm}} + rightAnswers(5, 2), 33},
        {"the wall clock steps back an hour", 1,
         std::vector<Step>{{5.5, Act::StepWall, -3600}} + rightAnswers(1.5, 1), 10},
        {"the wall clock steps forward an hour", 1,
         std::vector<Step>{{5.5, Act::StepWall, 3600}} + rightAnswers(1.5, 1), 10},
        // Level 1's limit is five times its 120 s.
        {"a time-out while the wrong answer waits for + +", 1,
         std::vector<Step>{{5, Act::Wrong}, {602, Act::Confirm}} + rightAnswers(603, 1), 99999},
    };
    return all;
}

// The desktop program on its own installation, a student signed in.
struct Desktop {
    Installation inst;
    TestContext tc;
    App app{tc.ctx};

    explicit Desktop(int level, const std::function<void(Installation&)>& adjust = {}) {
        if (adjust) adjust(inst);
        Context& ctx = tc.ctx;
        ctx.programFile = inst.programFile();
        InitialiseFolders(ctx);
        NameListState lists;
        名簿表示(ctx, lists);
        signInLine(lists);
        ctx.state.CurrentLevel = static_cast<int16_t>(level);
        StartDrill(app);
    }
    ~Desktop() {
        app.unloadAll();
        deleteUnloadedScreens();
    }
    void signInLine(const NameListState& lists) {
        Context& ctx = tc.ctx;
        ASSERT_GT(lists.List1.size(), 1u);
        ASSERT_TRUE(signIn(ctx, ctx.state, lists.numberOfLine(1), tc.clock.now()));
    }
    MainFrm* drill() const { return app.find<MainFrm>(); }

    // The clock to `at` seconds after the start, the run clock ticking at
    // every whole second on the way, as its timer does.
    void runTo(double& now, double at) {
        while (drill() && std::floor(now) + 1 <= at) {
            tc.clock.advance(std::floor(now) + 1 - now);
            now = std::floor(now) + 1;
            drill()->sTimer1_Timer();
        }
        if (at > now) tc.clock.advance(at - now);
        now = std::max(now, at);
    }
    void act(const Step& s) {
        MainFrm* form = drill();
        if (s.act == Act::StepWall) {
            tc.clock.set(tc.clock.today(), tc.clock.secondsSinceMidnight() + s.seconds);
            return;
        }
        if (!form) return;
        if (s.act == Act::Right)
            typeKeys(form,
                     QString::number(static_cast<qint64>(form->currentProblem().CorrectAnswer)) +
                         QStringLiteral(" "));
        if (s.act == Act::Wrong) typeKeys(form, QStringLiteral(" ")); // nothing typed is wrong
        if (s.act == Act::Confirm) typeKeys(form, QStringLiteral("++"));
    }
    std::vector<ResultRecord> run(const Case& c) {
        double now = 0;
        for (const Step& s : c.steps) {
            runTo(now, s.at);
            act(s);
        }
        // A run still going runs into its time-out.
        for (int i = 0; i < 2000 && drill() && !drill()->run().flags().ended(); ++i)
            runTo(now, now + 1);
        return readLog(tc.ctx.folders);
    }
};

// The classroom server on its own installation, a student signed in.
struct Tablet {
    Installation inst;
    FakeClock clock;
    SystemRandom random;
    FakeEventPump events{&clock};
    SystemSharedFileSystem files;
    struct Ids : server::IdSource {
        int n = 0;
        std::string newId() override { return "id" + std::to_string(++n); }
    } ids;
    std::unique_ptr<server::Server> server;
    std::string session;

    explicit Tablet(const std::function<void(Installation&)>& adjust = {}) {
        if (adjust) adjust(inst);
        random.seed(5);
        server = std::make_unique<server::Server>(
            server::loadServerSetup(inst.programFile(), "", nullptr),
            server::ServerServices{clock, random, files, events, ids});
        const server::Response r = call("POST", "/api/signin", R"({"line":1})");
        EXPECT_EQ(r.status, 200) << r.body;
        for (const auto& [k, v] : r.headers)
            if (k == "Set-Cookie") session = v.substr(16, v.find(';') - 16);
    }
    server::Response call(const std::string& method, const std::string& path,
                          const std::string& body = "{}") {
        server::Request r;
        r.method = method;
        r.path = path;
        r.body = body;
        r.client = "192.168.1.20";
        if (method == "POST") r.headers.push_back({"Content-Type", "application/json"});
        if (!session.empty()) r.headers.push_back({"Cookie", "kestrel_session=" + session});
        return server->handle(r);
    }
    json start(int level) {
        const server::Response r = call("POST", "/api/runs", json{{"level", level}}.dump());
        EXPECT_EQ(r.status, 201) << r.body;
        return json::parse(r.body);
    }
    std::vector<ResultRecord> run(const Case& c) {
        const json started = start(c.level);
        const std::string id = started["run"];
        json problem = started["problem"];
        double now = 0;
        bool ended = false;
        for (const Step& s : c.steps) {
            // The page asks for the clock every few seconds while it waits.
            while (!ended && now + 5 < s.at) {
                clock.advance(5);
                now += 5;
                ended = json::parse(call("GET", "/api/runs/" + id).body).contains("end");
            }
            clock.advance(s.at - now);
            now = s.at;
            if (ended) continue;
            if (s.act == Act::StepWall) {
                clock.set(clock.today(), clock.secondsSinceMidnight() + s.seconds);
                continue;
            }
            const std::string path =
                "/api/runs/" + id + (s.act == Act::Confirm ? "/confirm" : "/answer");
            const std::string entry = s.act == Act::Right ? solve(problem) : "";
            const server::Response r =
                call("POST", path, s.act == Act::Confirm ? "{}" : json{{"entry", entry}}.dump());
            const json b = json::parse(r.body);
            if (b.contains("problem")) problem = b["problem"];
            if (b.contains("end")) ended = true;
        }
        if (!ended) {
            clock.advance(2000);
            call("GET", "/api/runs/" + id);
        }
        return readLog(folders());
    }
    AppFolders folders() const { return readFolderSetup(inst.programFile()).folders; }
};

TEST(BothFronts, TheSameKeyTimingsRecordTheSameTime) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        Desktop desktop(c.level);
        const std::vector<ResultRecord> onDesktop = desktop.run(c);
        Tablet tablet;
        const std::vector<ResultRecord> onTablet = tablet.run(c);
        ASSERT_EQ(onDesktop.size(), 1u);
        ASSERT_EQ(onTablet.size(), 1u);
        EXPECT_EQ(onDesktop[0].seconds, c.recorded);
        EXPECT_EQ(onTablet[0].seconds, c.recorded);
        EXPECT_EQ(onDesktop[0].level, c.level);
        EXPECT_EQ(onTablet[0].level, c.level);
    }
}

// A level practised too much but not cleared is closed on the menu, yet the
// end screen offers it once more; its "もう一度" starts the run on both
// fronts, as the desktop's always has.
TEST(BothFronts, AgainStartsAnOverPractisedLevelTheEndScreenOffers) {
    // Level 2 is closed after one run a day and cleared only by ten.
    auto adjust = [](Installation& inst) {
        inst.write(Installation::kCriteriaFile,
                   "目標Time,最低Time,ｸﾘｱﾎﾟｲﾝﾄ,ｸﾘｱ回数,ﾎﾟｲﾝﾄ倍率,禁回,禁点,判期間,禁期間,,,\r\n"
                   "60,120,300,10,1,30,0,7,1,,,\r\n90,180,300,10,1,1,0,7,1,,,\r\n"
                   "120,240,400,10,1.5,0,0,14,1,,,\r\n150,300,400,10,2,20,500,14,1,,,\r\n"
                   "200,400,500,10,2.5,0,0,30,1,,,\r\n");
    };
    const Case once{"one run", 2, rightAnswers(1, 1), 10};

    Desktop desktop(2, adjust);
    desktop.run(once);
    auto* end = desktop.app.find<FrmSyuuryou>();
    ASSERT_NE(end, nullptr);
    end->Timer1_Timer();
    auto* again = end->findChild<QPushButton*>(QStringLiteral("Command5"));
    ASSERT_FALSE(again->isHidden());
    again->click();
    EXPECT_NE(desktop.app.find<MainFrm>(), nullptr) << "the desktop starts it";

    Tablet tablet(adjust);
    tablet.run(once);
    // The menu closes it; the end screen's way on starts it.
    EXPECT_EQ(tablet.call("POST", "/api/runs", R"({"level":2})").status, 403);
    EXPECT_EQ(tablet.call("POST", "/api/runs", R"({"level":2,"again":true})").status, 201);
}

} // namespace
} // namespace kestrel::test
