#include "ServerCore.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <fstream>
#include <nlohmann/json.hpp>
#include <optional>
#include <random>
#include <string_view>

#include "drill/DrillTexts.h"
#include "drill/Problem.h"
#include "drill/RunRules.h"
#include "levelmenu/LevelMenu.h"
#include "levelmenu/Ranking.h"
#include "levelmenu/ResultsViews.h"
#include "platform/Utf8Path.h"
#include "results/ResultRecord.h"
#include "results/ResultsRules.h"
#include "results/ResultsSummary.h"
#include "results/RunEvaluation.h"
#include "results/RunRecording.h"
#include "roster/Grades.h"
#include "roster/Roster.h"
#include "roster/RosterDisplay.h"
#include "startup/Calendar.h"
#include "startup/Folders.h"
#include "startup/SharedState.h"
#include "text/Characters.h"
#include "text/LeadingNumber.h"
#include "text/SortedLines.h"

namespace kestrel::server {

using json = nlohmann::json;

namespace {

constexpr const char* kSessionCookie = "kestrel_session";
constexpr int kTodayLevels = 15;     // the levels whose runs make the drill's run number
constexpr double kHintEarlyMs = 250; // a page's timer may fire a little early

// The texts of the errors.
constexpr const char* kBadRequest = "要求が正しくありません";
constexpr const char* kNotAvailable = "このレベルは今は始められません";
constexpr const char* kNotAllowed = "このコンピュータからは使えません";
constexpr const char* kNotFound = "ありません";
constexpr const char* kNotNow = "この問題はもう終わっています";
constexpr const char* kTooLarge = "要求が大きすぎます";
constexpr const char* kTooMany = "要求が多すぎます。少し待ってください";
constexpr const char* kBusy = "込み合っています。少し待ってください";
constexpr const char* kInternal = "サーバーで問題が起きました。先生を呼びなさい。";
constexpr const char* kHintNotYet = "ヒントはまだです";

constexpr const char* kPlaceholderPage =
    "<!DOCTYPE html><html lang=\"ja\"><head><meta charset=\"utf-8\"><title>Kestrel</title>"
    "</head><body><p>Kestrel</p></body></html>";

std::string dumpJson(const json& j) {
    // Texts from the school's files are UTF-8, but a request's may not be.
    return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

Response jsonResponse(int status, const json& body) {
    Response r;
    r.status = status;
    r.body = dumpJson(body);
    return r;
}

Response errorResponse(int status, const std::string& text, json extra = json::object()) {
    extra["error"] = text;
    return jsonResponse(status, extra);
}

bool equalsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

const std::string* fieldOf(const Fields& fields, std::string_view name, bool anyCase = false) {
    for (const auto& [k, v] : fields)
        if (anyCase ? equalsNoCase(k, name) : k == name) return &v;
    return nullptr;
}

// The value of one cookie of the Cookie header, empty when there is none.
std::string cookieOf(const Request& req, std::string_view name) {
    const std::string* header = fieldOf(req.headers, "Cookie", true);
    if (!header) return {};
    std::string_view rest = *header;
    while (!rest.empty()) {
        const size_t semi = rest.find(';');
        std::string_view part = rest.substr(0, semi);
        rest = semi == std::string_view::npos ? std::string_view{} : rest.substr(semi + 1);
        while (!part.empty() && part.front() == ' ')
            part.remove_prefix(1);
        if (part.size() > name.size() && part.substr(0, name.size()) == name &&
            part[name.size()] == '=')
            return std::string(part.substr(name.size() + 1));
    }
    return {};
}

// A small whole number from a query value: digits only.
std::optional<int> smallNumber(const std::string& text) {
    if (text.empty() || text.size() > 4) return std::nullopt;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

bool isGradeItem(const std::string& text) {
    return std::any_of(std::begin(kGradeFilterItems), std::end(kGradeFilterItems),
                       [&](const char* item) { return text == item; });
}

json gradeItems() {
    json items = json::array();
    for (const char* item : kGradeFilterItems)
        items.push_back(item);
    return items;
}

double absoluteSeconds(const LocalTime& t) {
    return static_cast<double>(dayNumber(t.date)) * 86400.0 + t.secondsOfDay;
}

// An answer as the keys could have typed it: up to 10 of * + , - . / 0-9.
// An empty entry is judged as the desktop judges it (as the number 0).
bool isTypedEntry(const std::string& entry) {
    if (entry.size() > static_cast<size_t>(RunRules::kMaxEntryLength)) return false;
    return std::all_of(entry.begin(), entry.end(), [](char c) { return c >= '*' && c <= '9'; });
}

std::string colourText(uint32_t bbggrr) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", bbggrr & 0xFF, (bbggrr >> 8) & 0xFF,
                  (bbggrr >> 16) & 0xFF);
    return text;
}

// The caption without its access-key mark: a browser has no access keys.
std::string withoutAccessMark(std::string caption) {
    caption.erase(std::remove(caption.begin(), caption.end(), '&'), caption.end());
    return caption;
}

} // namespace

std::string RandomDeviceIds::newId() {
    std::random_device device;
    std::string id;
    static constexpr char kHex[] = "0123456789abcdef";
    for (int i = 0; i < 8; ++i) {
        const uint32_t v = device();
        for (int k = 0; k < 4; ++k)
            id.push_back(kHex[(v >> (k * 4)) & 0xF]);
    }
    return id;
}

bool isPrivateAddress(const std::string& address) {
    std::string a = address;
    if (a.starts_with("::ffff:")) a = a.substr(7); // IPv4 mapped into IPv6
    if (a.find(':') != std::string::npos) {
        std::string lower = a;
        std::transform(lower.begin(), lower.end(), lower.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        if (lower == "::1") return true;
        if (lower.size() < 4) return false;
        // fc00::/7 (unique local) and fe80::/10 (link local).
        const bool ula = lower[0] == 'f' && (lower[1] == 'c' || lower[1] == 'd');
        const bool linkLocal = lower.starts_with("fe8") || lower.starts_with("fe9") ||
                               lower.starts_with("fea") || lower.starts_with("feb");
        return (ula || linkLocal) && lower.find(':') >= 3;
    }
    std::array<int, 4> o{};
    int part = 0;
    int digits = 0;
    for (char c : a) {
        if (c == '.') {
            if (digits == 0 || ++part > 3) return false;
            digits = 0;
        } else if (c >= '0' && c <= '9') {
            if (++digits > 3) return false;
            o[static_cast<size_t>(part)] = o[static_cast<size_t>(part)] * 10 + (c - '0');
            if (o[static_cast<size_t>(part)] > 255) return false;
        } else {
            return false;
        }
    }
    if (part != 3 || digits == 0) return false;
    return o[0] == 127 || o[0] == 10 || (o[0] == 172 && o[1] >= 16 && o[1] <= 31) ||
           (o[0] == 192 && o[1] == 168) || (o[0] == 169 && o[1] == 254);
}

// ---- The server's state ------------------------------------------------------

namespace {

// One run under way, and once ended its end screen. The run's rules and
// flags are its own: no two runs share a SharedState.
struct Run {
    std::string id;
    int level = 0;
    SharedState state;
    RunRules rules{state};
    Problem problem;
    double problemShownAt = 0; // absolute seconds of the server's clock
    double lastHeard = 0;
    bool ended = false;
    json end; // the end screen, once ended
};

struct Session {
    std::string id;
    SharedState state; // the signed-in student, the sign-in time, GoalLevelCleared
    std::string gradeFilter;
    double lastSeen = 0;
    int runsStarted = 0;
    std::shared_ptr<Run> run;
};

struct Bucket {
    double tokens = 0;
    double at = 0;
};

// The server's clock as the log's waits see it: the same time of day, but a
// tick that runs twenty times as fast, so that a log held by another PC is
// tried again every 50 ms instead of every second. A desktop PC waits with
// its screen up; here every tablet waits for its answer meanwhile.
class RetryPacedClock : public Clock {
public:
    explicit RetryPacedClock(Clock& base) : m_base(base) {}
    LocalTime now() override { return m_base.now(); }
    uint32_t tickMs() override { return m_base.tickMs() * kPace; }

private:
    static constexpr uint32_t kPace = 20;
    Clock& m_base;
};

// Whether this thread's waits for a held log let the other requests in.
thread_local bool tl_releaseDuringWaits = false;

// The log's waits for another PC's lock: while a run's record waits for
// the log, the other requests go on (they find the run ended and its end
// screen still coming); every other wait keeps the server to itself.
class ReleasingPump : public EventPump {
public:
    ReleasingPump(EventPump& base, std::mutex& mutex) : m_base(base), m_mutex(mutex) {}
    void processEvents() override { m_base.processEvents(); }
    void idle(int ms) override {
        if (!tl_releaseDuringWaits) {
            m_base.idle(ms);
            return;
        }
        m_mutex.unlock();
        m_base.idle(ms);
        m_mutex.lock();
    }

private:
    EventPump& m_base;
    std::mutex& m_mutex;
};

class ReleaseDuringWaits {
public:
    ReleaseDuringWaits() { tl_releaseDuringWaits = true; }
    ~ReleaseDuringWaits() { tl_releaseDuringWaits = false; }
    ReleaseDuringWaits(const ReleaseDuringWaits&) = delete;
    ReleaseDuringWaits& operator=(const ReleaseDuringWaits&) = delete;
};

} // namespace

struct Server::State {
    State(ServerSetup s, ServerServices v, std::mutex& mutex)
        : setup(std::move(s)), services(v), pump(services.events, mutex) {}

    ServerSetup setup;
    ServerServices services;
    ReleasingPump pump;
    RetryPacedClock logClock{services.clock};
    std::unique_ptr<ResultsSummary> summary = std::make_unique<ResultsSummary>();
    RunEntries entries;
    LogWindow window;
    std::unique_ptr<RosterTables> roster = std::make_unique<RosterTables>();
    std::map<std::string, std::shared_ptr<Session>> sessions;
    std::map<std::string, Bucket> buckets;
    uint64_t written = 0;

    LocalTime now;
    double t = 0; // absolute seconds of `now`

    Response route(const Request& req);

    LogAccess log() { return {services.files, resultsLogPath(setup.folders), logClock, pump}; }
    const LevelCriteria& criteriaOf(int level) const {
        return setup.criteria[inLevelStudentArrays(level, 0) ? level : 0];
    }
    std::string levelName(int level) const {
        return inLevelStudentArrays(level, 0) ? setup.program.LevelNames[static_cast<size_t>(level)]
                                              : std::string();
    }
    int levelCount() const { return std::clamp<int>(setup.program.LevelCount, 0, kMaxLevel); }

    std::optional<Response> refreshSummary();
    // Which levels the signed-in student may start, by the summary as it
    // stands; the goal level's clearing is kept for the end screen.
    LevelAvailability availabilityFor(Session& session);
    std::optional<Response> readNames(NameListState& lists, int mode, const std::string& grade);
    bool admit(const std::string& client);
    void expire();
    std::shared_ptr<Session> sessionOf(const Request& req);

    Response staticFile(const std::string& path);
    Response sound(const std::string& cue);
    Response names(const Request& req);
    Response signIn(const Request& req, const json& body);
    Response signOut(const Request& req);
    Response menu(const Request& req, Session& session);
    Response startRun(Session& session, const json& body);
    Response runRequest(const Request& req, Session& session, const std::string& id,
                        const std::string& action, const std::optional<json>& body);

    json problemJson(const Run& run) const;
    json hintJson(const Run& run) const;
    json clockJson(Run& run, Session& session);
    void drawProblem(Run& run);
    std::optional<Response> timeOutIfDue(Run& run, Session& session);
    std::optional<Response> endRun(Run& run, Session& session);
};

std::optional<Response> Server::State::refreshSummary() {
    const LogStatus status = BuildSummary(*summary, entries, setup.criteria, log(), window);
    if (status.ok()) return std::nullopt;
    return errorResponse(503, status.message);
}

std::optional<Response> Server::State::readNames(NameListState& lists, int mode,
                                                 const std::string& grade) {
    if (auto failed = refreshSummary()) return failed;
    RosterTables& t = *roster;
    const CivilDate today = now.date;
    t.SchoolYear = schoolYearOf(today.year, today.month, startMonthOf(setup.config));
    lists.NameListMode = mode;
    lists.filterText = grade;
    startNameLists(lists);
    try {
        readRoster(t, lists, *summary, setup.folders.SharedFolder, setup.config);
    } catch (const RosterError& e) {
        return errorResponse(503, e.what());
    }
    filterNameLists(lists, t);
    return std::nullopt;
}

bool Server::State::admit(const std::string& client) {
    const ServerLimits& l = setup.limits;
    if (buckets.size() > 4096) {
        // Forget the clients that have been quiet long enough to be full again.
        for (auto it = buckets.begin(); it != buckets.end();)
            it = (t - it->second.at) * l.requestsPerSecond >= l.requestBurst ? buckets.erase(it)
                                                                             : std::next(it);
    }
    auto [it, added] = buckets.try_emplace(client, Bucket{l.requestBurst, t});
    Bucket& b = it->second;
    if (!added) {
        b.tokens =
            std::min(l.requestBurst, b.tokens + std::max(0.0, t - b.at) * l.requestsPerSecond);
        b.at = t;
    }
    if (b.tokens < 1) return false;
    b.tokens -= 1;
    return true;
}

void Server::State::expire() {
    for (auto it = sessions.begin(); it != sessions.end();) {
        Session& s = *it->second;
        if (t - s.lastSeen > setup.limits.sessionIdleSeconds) {
            it = sessions.erase(it);
            continue;
        }
        // A tablet that went away mid-run leaves nothing behind.
        if (s.run && !s.run->ended && t - s.run->lastHeard > setup.limits.runSilenceSeconds)
            s.run.reset();
        ++it;
    }
}

std::shared_ptr<Session> Server::State::sessionOf(const Request& req) {
    const std::string id = cookieOf(req, kSessionCookie);
    if (id.empty()) return nullptr;
    auto it = sessions.find(id);
    if (it == sessions.end()) return nullptr;
    it->second->lastSeen = t;
    return it->second;
}

// ---- Files -----------------------------------------------------------------------

Response Server::State::staticFile(const std::string& path) {
    const std::string key = path == "/" ? "/index.html" : path;
    Response r;
    r.headers.push_back({"X-Content-Type-Options", "nosniff"});
    r.headers.push_back({"Cache-Control", "no-cache"});
    auto it = setup.files.find(key);
    if (it == setup.files.end()) {
        if (key != "/index.html") return errorResponse(404, kNotFound);
        r.contentType = "text/html; charset=utf-8";
        r.body = kPlaceholderPage;
        return r;
    }
    r.contentType = it->second.contentType;
    r.body = it->second.bytes;
    return r;
}

Response Server::State::sound(const std::string& cue) {
    // The file comes from the school's sound table, never from the request.
    static const std::pair<const char*, int> cues[] = {
        {"right", SoundTable::kRightCue},
        {"wrong", SoundTable::kWrongCue},
        {"personalBest", SoundTable::kPersonalBestCue},
        {"withinMinimum", SoundTable::kFailedCue}};
    static const std::pair<const char*, const char*> fixed[] = {{"warning", kWarningSound},
                                                                {"overallBest", kOverallBestSound},
                                                                {"goalCleared", kGoalClearedSound}};
    std::string file;
    for (const auto& [name, position] : cues) {
        if (cue != name) continue;
        const SoundCue& c = setup.sounds.cue(position);
        if (!c.hasCount()) return errorResponse(404, kNotFound);
        const int n = drawInt(services.random.next(), leadingNumber(c.count), 1);
        if (n < 1 || n > 20 || c.files[static_cast<size_t>(n)].empty())
            return errorResponse(404, kNotFound);
        file = c.files[static_cast<size_t>(n)] + ".wav";
    }
    for (const auto& [name, fileName] : fixed)
        if (cue == name) file = fileName;
    // A name in the table that leaves the sound folder is not followed.
    if (file.empty() || file.find('/') != std::string::npos ||
        file.find('\\') != std::string::npos || file.starts_with(".."))
        return errorResponse(404, kNotFound);

    std::ifstream in(pathFromUtf8(setup.folders.SoundFolder + file), std::ios::binary);
    if (!in) return errorResponse(404, kNotFound);
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > setup.limits.maxSoundBytes)
        return errorResponse(404, kNotFound);
    in.seekg(0);
    Response r;
    r.contentType = "audio/wav";
    r.body.resize(static_cast<size_t>(size));
    in.read(r.body.data(), size);
    if (!in) return errorResponse(404, kNotFound);
    r.headers.push_back({"Cache-Control", "no-store"});
    return r;
}

// ---- Name screen -----------------------------------------------------------------

Response Server::State::names(const Request& req) {
    int mode = 1;
    std::string grade = kAllGrades;
    if (const std::string* m = fieldOf(req.query, "mode")) {
        const std::optional<int> n = smallNumber(*m);
        if (!n || *n > 3) return errorResponse(400, kBadRequest);
        mode = *n;
    }
    if (const std::string* g = fieldOf(req.query, "grade")) {
        if (!isGradeItem(*g)) return errorResponse(400, kBadRequest);
        grade = *g;
    }
    NameListState lists;
    if (auto failed = readNames(lists, mode, grade)) return *failed;

    json list = json::array();
    for (size_t k = 0; k < lists.List1.size(); ++k)
        list.push_back(
            {{"line", k},
             {"text", lists.List1[k]},
             {"Label1", k == 0 ? std::string(kChooseName) : chosenNameText(lists.List1[k])}});
    json captions = json::array();
    for (const char* c : kNameListModeCaptions)
        captions.push_back(c);
    return jsonResponse(200, {{"Label4", setup.program.ProgramTitle},
                              {"Option1", captions},
                              {"mode", mode},
                              {"Combo1", gradeItems()},
                              {"grade", grade},
                              {"List1", list},
                              {"Label1", kChooseName},
                              {"Command14", "O.K."}});
}

Response Server::State::signIn(const Request& req, const json& body) {
    const json refused = {{"Label1", kChooseName}, {"cue", "wrong"}};
    int mode = 1;
    std::string grade = kAllGrades;
    if (body.contains("mode")) {
        if (!body["mode"].is_number_integer()) return errorResponse(400, kBadRequest);
        const int64_t m = body["mode"].get<int64_t>();
        if (m < 0 || m > 3) return errorResponse(400, kBadRequest);
        mode = static_cast<int>(m);
    }
    if (body.contains("grade")) {
        if (!body["grade"].is_string() || !isGradeItem(body["grade"].get<std::string>()))
            return errorResponse(400, kBadRequest);
        grade = body["grade"].get<std::string>();
    }
    if (!body.contains("line") || !body["line"].is_number_integer())
        return errorResponse(400, kBadRequest);
    const int64_t line = body["line"].get<int64_t>();

    NameListState lists;
    if (auto failed = readNames(lists, mode, grade)) return *failed;
    if (line < 1 || line >= static_cast<int64_t>(lists.List1.size()))
        return errorResponse(422, kChooseName, refused);
    const int number = lists.numberOfLine(static_cast<int>(line));
    if (number < 1 || number > kMaxStudent) return errorResponse(422, kChooseName, refused);

    // A sign-in on a browser that is signed in already replaces that session.
    if (const std::string old = cookieOf(req, kSessionCookie); !old.empty()) sessions.erase(old);
    if (sessions.size() >= setup.limits.maxSessions) return errorResponse(503, kBusy);

    Session s;
    s.id = services.ids.newId();
    s.lastSeen = t;
    s.gradeFilter = grade;
    markSignIn(s.state, now);
    s.state.CurrentStudentNumber = static_cast<int16_t>(number);
    s.state.CurrentStudentName = roster->StudentNames[static_cast<size_t>(number)];
    s.state.CurrentGradeLabel = roster->GradeLabels[static_cast<size_t>(number)];
    const std::string shown = chosenNameText(lists.List1[static_cast<size_t>(line)]);
    const std::string name = trimSpaces(s.state.CurrentStudentName);
    const std::string id = s.id;
    sessions.emplace(id, std::make_shared<Session>(std::move(s)));

    Response r = jsonResponse(200, {{"Label1", shown}, {"student", name}});
    r.headers.push_back({"Set-Cookie", std::string(kSessionCookie) + "=" + id +
                                           "; HttpOnly; SameSite=Strict; Path=/"});
    return r;
}

Response Server::State::signOut(const Request& req) {
    if (const std::string id = cookieOf(req, kSessionCookie); !id.empty()) sessions.erase(id);
    Response r = jsonResponse(200, json::object());
    r.headers.push_back({"Set-Cookie", std::string(kSessionCookie) +
                                           "=; HttpOnly; SameSite=Strict; Path=/; Max-Age=0"});
    return r;
}

// ---- Level menu ------------------------------------------------------------------

Response Server::State::menu(const Request& req, Session& session) {
    int display = 1;
    int kind = 1;
    std::string grade = session.gradeFilter;
    if (const std::string* d = fieldOf(req.query, "display")) {
        const std::optional<int> n = smallNumber(*d);
        if (!n || *n > 1) return errorResponse(400, kBadRequest);
        display = *n;
    }
    if (const std::string* k = fieldOf(req.query, "kind")) {
        const std::optional<int> n = smallNumber(*k);
        if (!n || *n < 1 || *n > 2) return errorResponse(400, kBadRequest);
        kind = *n;
    }
    if (const std::string* g = fieldOf(req.query, "grade")) {
        if (!isGradeItem(*g)) return errorResponse(400, kBadRequest);
        grade = *g;
    }
    if (auto failed = refreshSummary()) return *failed;

    SharedState& st = session.state;
    const int s = st.CurrentStudentNumber;
    const LevelAvailability available = availabilityFor(session);
    st.TodayRunCount = static_cast<int16_t>(todayRunCount(*summary, s));

    std::string heading;
    std::vector<std::vector<std::string>> viewLines;
    RankingBasis basis = RankingBasis::PointsAll;
    const bool todayView = display == 0 && kind == 2;
    if (display == 1) {
        basis = kind == 1 ? RankingBasis::PointsAll : RankingBasis::PointsToday;
        heading = pointsRankingHeading(kind);
    } else if (kind == 1) {
        basis = RankingBasis::BestTime;
        heading = "ベスト成績";
    } else {
        heading = "本日の成績";
        ViewScan scan(
            {ViewKind::Today, levelCount(), static_cast<double>(dayNumber(now.date)), 1, grade, s},
            *roster, setup.criteria);
        replayLogWindow(window, scan, kTodayViewRecords);
        viewLines = scan.takeLines();
    }

    json levels = json::array();
    for (int i = 1; i <= levelCount(); ++i) {
        std::vector<std::string> texts;
        std::optional<std::string> own;
        if (todayView) {
            if (static_cast<size_t>(i) < viewLines.size())
                texts = std::move(viewLines[static_cast<size_t>(i)]);
        } else {
            for (RankingLine& line : buildRanking(*roster, *summary, i, basis, grade, s)) {
                if (line.student == s) own = line.text;
                texts.push_back(std::move(line.text));
            }
        }
        SortedLines sorted(true);
        sorted.assign(std::move(texts));
        int ownIndex = -1;
        for (int k = 0; k < sorted.size(); ++k)
            if (own ? sorted.at(k) == *own : sorted.at(k).find("●") != std::string::npos) {
                ownIndex = k;
                break;
            }
        const LevelCriteria& c = criteriaOf(i);
        json colour = nullptr;
        if (display == 0)
            if (const std::optional<uint32_t> bg = timeListColour(sorted.lines(), c))
                colour = colourText(*bg);
        const bool closed = available.closed[static_cast<size_t>(i)];
        levels.push_back({{"level", i},
                          {"Label1", std::to_string(i)},
                          {"Label3", levelName(i)},
                          {"Command4", withoutAccessMark(startButtonCaption(i))},
                          {"enabled", !closed},
                          {"Text1", closed ? json(kOverPracticeNotice) : json(nullptr)},
                          {"Label9", "今日"},
                          {"Label10", "今まで"},
                          {"Label14", todayFigures(*summary, i, s)},
                          {"Label15", allTimeFigures(*summary, i, s)},
                          {"Label8", passPeriodFigures(c, *summary, i, s)},
                          {"Label7", targetLine(c)},
                          {"List5", sorted.lines()},
                          {"List5Own", ownIndex},
                          {"List5Colour", colour}});
    }
    json option1 =
        display == 1 ? json::array({"累計順", "本日順"}) : json::array({"BEST表示", "本日のみ"});
    return jsonResponse(
        200, {{"Label11", setup.program.ProgramTitle},
              {"Label12", studentHeaderText(st.CurrentGradeLabel, st.CurrentStudentName)},
              {"Label13", schoolHeaderText(setup.config.SchoolName, s)},
              {"Label17", minutesSinceSignInText(minutesSinceSignIn(st, now))},
              {"Label18", todayTotalText(st.TodayRunCount)},
              {"Label5", heading},
              {"Command1", "戻る(0)"},
              {"Option2", json::array({"ﾀｲﾑ表示", "ﾎﾟｲﾝﾄ表示"})},
              {"display", display},
              {"Option1", option1},
              {"kind", kind},
              {"Combo1", gradeItems()},
              {"grade", grade},
              {"levels", levels}});
}

// ---- The run ---------------------------------------------------------------------

json Server::State::problemJson(const Run& run) const {
    return {{"qLabel1", run.problem.ProblemText},
            {"Label10", run.problem.instruction},
            {"hintDelayMs", hintDelayMs(run.state.RightCount, run.state.ProblemsPerRun)}};
}

json Server::State::hintJson(const Run& run) const {
    const Working w = workingFor(run.problem.ProblemText, run.problem.RoundPlace);
    json crossed = json::array();
    for (size_t j = 1; j < w.crossed.size(); ++j)
        if (w.crossed[j]) crossed.push_back(j);
    return {{"crossed", crossed}, {"Label9", w.carryRow}};
}

json Server::State::clockJson(Run& run, Session& session) {
    return {{"sLabel9", std::to_string(run.rules.remaining())},
            {"sLabel10", std::to_string(run.state.ElapsedSeconds)},
            {"sLabel13", std::to_string(minutesSinceSignIn(session.state, now))}};
}

void Server::State::drawProblem(Run& run) {
    Random& random = services.random;
    const int type = problemTypeForLevel(run.level, random);
    run.problem = kestrel::drawProblem(type, random);
    run.problemShownAt = t;
}

LevelAvailability Server::State::availabilityFor(Session& session) {
    SharedState& st = session.state;
    const LevelAvailability available =
        levelAvailability(setup.program, setup.criteria, *summary, st.CurrentStudentNumber);
    st.GoalLevelCleared = available.goalLevelCleared;
    return available;
}

Response Server::State::startRun(Session& session, const json& body) {
    if (!body.contains("level") || !body["level"].is_number_integer())
        return errorResponse(400, kBadRequest);
    const int64_t requested = body["level"].get<int64_t>();
    if (requested < 1 || requested > levelCount()) return errorResponse(403, kNotAvailable);
    const int level = static_cast<int>(requested);
    if (auto failed = refreshSummary()) return *failed;

    SharedState& st = session.state;
    const int s = st.CurrentStudentNumber;
    const LevelAvailability available = availabilityFor(session);
    if (available.closed[static_cast<size_t>(level)])
        return errorResponse(403, kNotAvailable, {{"Text1", kOverPracticeNotice}});
    if (session.runsStarted >= setup.limits.maxRunsPerSession) return errorResponse(429, kTooMany);

    // A run still going is abandoned: it leaves no record.
    session.run.reset();
    ++session.runsStarted;
    auto run = std::make_shared<Run>();
    Run& r = *run;
    r.id = services.ids.newId();
    r.level = level;
    r.lastHeard = t;
    r.state = st;
    resetRunState(r.state);
    r.state.CurrentLevel = static_cast<int16_t>(level);
    r.rules.begin();
    const LevelCriteria& c = criteriaOf(level);
    r.rules.setLimits(c, 1.0);
    r.state.TodayRunCount = static_cast<int16_t>(todayRunCount(*summary, s, kTodayLevels));
    const bool practice = isPracticeLevel(setup.program, level);

    json reply = {{"run", r.id},
                  {"sLabel2", setup.program.ProgramTitle},
                  {"sLabel7", trimSpaces(st.CurrentStudentName)},
                  {"sLabel8", levelName(level)},
                  {"sLabel14", setup.config.SchoolName},
                  {"sLabel13", std::to_string(minutesSinceSignIn(st, now))},
                  {"sLabel12", runNumberText(practice, r.state.TodayRunCount)},
                  {"sLabel11", runNumberText(practice, todayRunCountAt(*summary, level, s))},
                  {"sLabel9", std::to_string(r.rules.remaining())},
                  {"sLabel10", "0"},
                  {"bar",
                   {{"limit", r.state.TimeLimitSeconds},
                    {"target", c.targetTime},
                    {"minimum", c.minimumTime}}}};
    r.rules.start(now);
    drawProblem(r);
    reply["problem"] = problemJson(r);
    session.run = std::move(run);
    return jsonResponse(201, reply);
}

std::optional<Response> Server::State::timeOutIfDue(Run& run, Session& session) {
    const RunRules::Tick tick = run.rules.measure(now);
    if (tick == RunRules::Tick::AtLimit && run.rules.timeOut()) {
        if (auto failed = endRun(run, session)) return failed;
        return jsonResponse(200, {{"verdict", "timeUp"}, {"state", "ended"}, {"end", run.end}});
    }
    return std::nullopt;
}

std::optional<Response> Server::State::endRun(Run& run, Session& session) {
    if (!run.rules.claimEnd()) return std::nullopt;
    run.ended = true;
    SharedState& st = run.state;
    const int L = run.level;
    const int s = st.CurrentStudentNumber;
    const bool timeUp = st.runFlags.TimeUp();
    if (isPracticeLevel(setup.program, L)) {
        // A practice run is not recorded: back to the menu.
        run.end = {{"practice", true}};
        return std::nullopt;
    }
    st.RunTime = run.rules.runTime();
    ResultRecord record;
    record.date = static_cast<double>(dayNumber(now.date));
    record.timeOfDay = dayFraction(now.secondsOfDay);
    record.studentNumber = st.CurrentStudentNumber;
    record.level = static_cast<int16_t>(L);
    record.seconds = st.RunTime;
    record.schoolCode = resultText(setup.config.SchoolCode);
    RecordOutcome outcome;
    {
        const ReleaseDuringWaits others;
        outcome = RecordRun(*summary, setup.criteria, log(), record);
    }
    // Other requests may have come in meanwhile.
    now = services.clock.now();
    t = absoluteSeconds(now);
    if (!outcome.status.ok()) {
        run.end = {{"error", outcome.status.message}};
        return errorResponse(500, outcome.status.message);
    }
    ++written;
    if (setup.recorded) setup.recorded(record);
    if (auto failed = refreshSummary()) return failed;

    const RecordFlags& flags = outcome.flags;
    const LevelCriteria& c = criteriaOf(L);
    const int32_t time = st.RunTime;
    const bool cleared = LevelCleared(*summary, setup.criteria, L, s);
    const bool lastLevel = L == setup.program.LastLevel;
    const RunMessage message = runMessage(st.runFlags.phase(), flags, time, c.minimumTime);
    const std::string messageText = runMessageText(message);
    json cue = nullptr;
    if (message == RunMessage::OverallBest) cue = "overallBest";
    if (message == RunMessage::PersonalBest) cue = "personalBest";
    if (message == RunMessage::WithinMinimum) cue = "withinMinimum";
    const bool goalPanel = cleared && lastLevel && goalPanelAllowed(setup.criteria);
    const json label2 = cleared ? json(kLevelClearedText) : json(nullptr);
    const WaysOn ways = waysOn(cleared, OverPractice(*summary, setup.criteria, L, s), lastLevel,
                               st.GoalLevelCleared != 0);
    json laterLabel2 = label2;
    if (ways.label2 == WaysOn::Label2::Hide) laterLabel2 = nullptr;
    if (ways.label2 == WaysOn::Label2::NextLevel) laterLabel2 = kNextLevelText;
    session.state.TodayRunCount = static_cast<int16_t>(todayRunCount(*summary, s));

    run.end = {
        {"cover", timeUp ? "lblsss2" : "lblsss1"},
        {"lblsss1", timeUp ? json(nullptr) : json(kRecordingCover)},
        {"lblsss2", timeUp ? json(kTimeUpCover) : json(nullptr)},
        {"Label15", setup.program.ProgramTitle},
        {"Label16", levelName(L)},
        {"Label17", trimSpaces(st.CurrentStudentName)},
        {"Label13", levelRunText(todayRunCountAt(*summary, L, s))},
        {"Label14", todayRunText(session.state.TodayRunCount)},
        {"Label18", runTimeText(time)},
        {"Label19", earnedPointsText(basePoints(time, c.targetTime, false), c.pointMultiplier)},
        {"Label20", messageText.empty() ? json(nullptr) : json(messageText)},
        {"Label2", label2},
        {"Picture1", goalPanel},
        {"Label1", goalPanel ? json(kGoalClearedText) : json(nullptr)},
        {"cue", cue},
        {"goalCue",
         cleared && lastLevel && flags.clearedBefore == 0 ? json("goalCleared") : json(nullptr)},
        {"Command4", nullptr},
        {"Command5", nullptr},
        {"afterTimer",
         {{"Picture1", false},
          {"Command4", kToMenuCaption},
          {"Command5", ways.retry ? json(kRetryCaption) : json(nullptr)},
          {"Label2", laterLabel2}}}};
    return std::nullopt;
}

Response Server::State::runRequest(const Request& req, Session& session, const std::string& id,
                                   const std::string& action, const std::optional<json>& body) {
    // Held here: the run stays while its record waits for the log, even when
    // the session moves on meanwhile.
    const std::shared_ptr<Run> found = session.run && session.run->id == id ? session.run : nullptr;
    if (!found) return errorResponse(404, kNotFound);
    Run& run = *found;
    run.lastHeard = t;
    const bool get = req.method == "GET";

    if (action.empty() && get) {
        if (!run.ended)
            if (auto reply = timeOutIfDue(run, session)) return *reply;
        if (run.ended && run.end.is_null()) return jsonResponse(200, {{"state", "recording"}});
        if (run.ended) return jsonResponse(200, {{"state", "ended"}, {"end", run.end}});
        json reply = clockJson(run, session);
        reply["state"] = "running";
        return jsonResponse(200, reply);
    }
    if (action == "hint" && get) {
        if (run.ended) return errorResponse(409, kNotNow);
        const double waited = (t - run.problemShownAt) * 1000.0;
        const bool shown = run.state.runFlags.ConfirmState() != ConfirmStep::Entry;
        if (!shown &&
            waited + kHintEarlyMs < hintDelayMs(run.state.RightCount, run.state.ProblemsPerRun))
            return errorResponse(409, kHintNotYet);
        return jsonResponse(200, hintJson(run));
    }
    if (get) return errorResponse(405, kBadRequest);
    if (!body) return errorResponse(400, kBadRequest);

    if (run.ended) return errorResponse(409, kNotNow, {{"end", run.end}});
    if (auto reply = timeOutIfDue(run, session)) return *reply;
    RunRules& rules = run.rules;

    if (action == "answer") {
        if (!body->contains("entry") || !(*body)["entry"].is_string())
            return errorResponse(400, kBadRequest);
        const std::string entry = (*body)["entry"].get<std::string>();
        if (!isTypedEntry(entry)) return errorResponse(400, kBadRequest);
        if (rules.flags().ConfirmState() != ConfirmStep::Entry) return errorResponse(409, kNotNow);
        rules.EntryText = entry;
        if (rules.keyPress(u' ') != RunRules::Key::Judge) return errorResponse(409, kNotNow);
        rules.judge(run.problem.CorrectAnswer);
        const Judgement verdict = rules.afterJudgement();
        json reply = {{"hint", hintJson(run)}};
        if (verdict == Judgement::Right) {
            reply["verdict"] = "right";
            reply["cue"] = "right";
            const bool last = rules.countRight();
            if (last) {
                rules.judgingDone();
                if (auto failed = endRun(run, session)) return *failed;
                reply["end"] = run.end;
            } else {
                rules.readyForNext();
                drawProblem(run);
                rules.judgingDone();
                reply["problem"] = problemJson(run);
            }
        } else {
            rules.judgingDone();
            rules.measure(now); // the penalty shows at once
            reply["verdict"] = "wrong";
            reply["cue"] = "wrong";
            reply["Label11"] = "=";
            reply["seitouLabel"] = correctAnswerText(run.problem.CorrectAnswer);
            reply["Commandkakunin2"] = kConfirmPrompt;
        }
        reply.update(clockJson(run, session));
        return jsonResponse(200, reply);
    }
    if (action == "confirm") {
        if (rules.flags().ConfirmState() == ConfirmStep::Entry) return errorResponse(409, kNotNow);
        if (rules.flags().ConfirmState() == ConfirmStep::AnswerShown) rules.keyPress(u'+');
        if (rules.keyPress(u'+') != RunRules::Key::Confirm) return errorResponse(409, kNotNow);
        rules.confirmed();
        drawProblem(run);
        json reply = {{"problem", problemJson(run)},
                      {"seitouLabel", nullptr},
                      {"Label11", nullptr},
                      {"Commandkakunin2", nullptr}};
        reply.update(clockJson(run, session));
        return jsonResponse(200, reply);
    }
    return errorResponse(404, kNotFound);
}

// ---- Routing ---------------------------------------------------------------------

Response Server::State::route(const Request& req) {
    const std::string& path = req.path;
    const bool get = req.method == "GET" || req.method == "HEAD";
    const bool post = req.method == "POST";

    if (!path.starts_with("/api/")) {
        if (!get) return errorResponse(405, kBadRequest);
        if (path.starts_with("/sounds/")) return sound(path.substr(8));
        return staticFile(path);
    }

    std::optional<json> body;
    if (post) {
        const std::string* type = fieldOf(req.headers, "Content-Type", true);
        if (!type || !type->starts_with("application/json")) return errorResponse(400, kBadRequest);
        json parsed = json::parse(req.body, nullptr, false);
        if (parsed.is_discarded() || !parsed.is_object()) return errorResponse(400, kBadRequest);
        body = std::move(parsed);
    } else if (!get) {
        return errorResponse(405, kBadRequest);
    }

    if (path == "/api/names") return get ? names(req) : errorResponse(405, kBadRequest);
    if (path == "/api/signin") return post ? signIn(req, *body) : errorResponse(405, kBadRequest);
    if (path == "/api/signout") return post ? signOut(req) : errorResponse(405, kBadRequest);

    const std::shared_ptr<Session> session = sessionOf(req);
    if (path == "/api/menu" || path.starts_with("/api/runs")) {
        if (!session) return errorResponse(401, kChooseName);
    }
    if (path == "/api/menu") return get ? menu(req, *session) : errorResponse(405, kBadRequest);
    if (path == "/api/runs")
        return post ? startRun(*session, *body) : errorResponse(405, kBadRequest);
    if (path.starts_with("/api/runs/")) {
        std::string rest = path.substr(10);
        std::string action;
        if (const size_t slash = rest.find('/'); slash != std::string::npos) {
            action = rest.substr(slash + 1);
            rest.resize(slash);
        }
        if (rest.empty() ||
            (!action.empty() && action != "answer" && action != "confirm" && action != "hint"))
            return errorResponse(404, kNotFound);
        return runRequest(req, *session, rest, action, body);
    }
    return errorResponse(404, kNotFound);
}

// ---- Server ----------------------------------------------------------------------

Server::Server(ServerSetup setup, ServerServices services)
    : m_state(std::make_unique<State>(std::move(setup), services, m_mutex)) {}

Server::~Server() = default;

Response Server::handle(const Request& req) {
    const std::lock_guard lock(m_mutex);
    State& st = *m_state;
    const ServerLimits& limits = st.setup.limits;
    st.now = st.services.clock.now();
    st.t = absoluteSeconds(st.now);

    Response r;
    try {
        if (!limits.anyClient && !isPrivateAddress(req.client))
            r = errorResponse(403, kNotAllowed);
        else if (req.headers.size() > limits.maxHeaders)
            r = errorResponse(431, kTooLarge);
        else if (req.body.size() > limits.maxBodyBytes)
            r = errorResponse(413, kTooLarge);
        else if (!st.admit(req.client))
            r = errorResponse(429, kTooMany);
        else {
            st.expire();
            r = st.route(req);
        }
    } catch (const std::exception&) {
        // Whatever went wrong, the request is answered and the server goes on.
        r = errorResponse(500, kInternal);
    }
    if (r.contentType.starts_with("application/json"))
        r.headers.push_back({"Cache-Control", "no-store"});
    if (req.method == "HEAD") r.body.clear();
    return r;
}

size_t Server::sessionCount() const {
    const std::lock_guard lock(m_mutex);
    return m_state->sessions.size();
}

uint64_t Server::recordsWritten() const {
    const std::lock_guard lock(m_mutex);
    return m_state->written;
}

} // namespace kestrel::server
