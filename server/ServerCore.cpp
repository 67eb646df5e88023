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
#include "school/DrillRun.h"
#include "school/EndScreen.h"
#include "school/LevelMenuView.h"
#include "school/School.h"
#include "school/SignIn.h"
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

// One run under way, and once ended its end screen. The run's flags are its
// own: no two runs share a SharedState.
struct Run {
    Run(const School& school, const SharedState& signedIn, Random& random)
        : state(signedIn), drill(school, state, random) {}
    std::string id;
    SharedState state;
    DrillRun drill;
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
    int retryLevel = 0; // the level the last end screen offered to repeat
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
    double monotonicSeconds() override { return m_base.monotonicSeconds(); }

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

const char* soundName(const Sound& sound) {
    if (sound.cue == SoundTable::kPersonalBestCue) return "personalBest";
    if (sound.cue == SoundTable::kFailedCue) return "withinMinimum";
    if (sound.file == kOverallBestSound) return "overallBest";
    if (sound.file == kGoalClearedSound) return "goalCleared";
    return nullptr;
}

json soundJson(const Sound& sound) {
    const char* name = soundName(sound);
    return name ? json(name) : json(nullptr);
}

json hintJson(const Working& w) {
    json crossed = json::array();
    for (size_t j = 1; j < w.crossed.size(); ++j)
        if (w.crossed[j]) crossed.push_back(j);
    return {{"crossed", crossed}, {"Label9", w.carryRow}};
}

json problemJson(const ShownProblem& p) {
    return {{"qLabel1", p.problem.ProblemText},
            {"Label10", p.problem.instruction},
            {"hintDelayMs", p.hintDelayMs}};
}

} // namespace

struct Server::State {
    State(ServerSetup s, ServerServices v, std::mutex& mutex)
        : services(v), files(v.files), pump(services.events, mutex), limits(s.limits),
          pageFiles(std::move(s.files)), recorded(std::move(s.recorded)) {
        school.sharedFiles = std::make_unique<ForwardingFileSystem>(files);
        school.folders = std::move(s.folders);
        school.config = std::move(s.config);
        school.program = std::move(s.program);
        school.criteria = std::move(s.criteria);
        school.sounds = std::move(s.sounds);
        school.keptRunsFolders = std::move(s.keptRunsFolders);
    }

    ServerServices services;
    SharedFileSystem& files;
    ReleasingPump pump;
    RetryPacedClock logClock{services.clock};
    ServerLimits limits;
    std::map<std::string, StaticFile> pageFiles;
    std::function<void(const ResultRecord&)> recorded;
    School school;
    std::map<std::string, std::shared_ptr<Session>> sessions;
    std::map<std::string, Bucket> buckets;
    uint64_t written = 0;

    LocalTime now;
    double t = 0; // monotonic seconds of the server's clock at `now`

    Response route(const Request& req);

    int levelCount() const { return std::clamp<int>(school.program.LevelCount, 0, kMaxLevel); }
    void readClock() {
        now = services.clock.now();
        t = services.clock.monotonicSeconds();
    }

    std::optional<Response> refreshSummary();
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

    json clockJson(Run& run, Session& session);
    std::optional<Response> timeOutIfDue(Run& run, Session& session);
    std::optional<Response> endRun(Run& run, Session& session);
};

std::optional<Response> Server::State::refreshSummary() {
    const LogStatus status = buildSummary(school, logClock, pump);
    if (status.ok()) return std::nullopt;
    return errorResponse(503, status.message);
}

std::optional<Response> Server::State::readNames(NameListState& lists, int mode,
                                                 const std::string& grade) {
    if (auto failed = refreshSummary()) return failed;
    lists.NameListMode = mode;
    lists.filterText = grade;
    if (const RosterStatus read = readNameLists(school, lists, now.date); !read.ok())
        return errorResponse(503, read.message);
    return std::nullopt;
}

bool Server::State::admit(const std::string& client) {
    const ServerLimits& l = limits;
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
        if (t - s.lastSeen > limits.sessionIdleSeconds) {
            it = sessions.erase(it);
            continue;
        }
        // A tablet that went away mid-run leaves nothing behind.
        if (s.run && !s.run->ended && t - s.run->lastHeard > limits.runSilenceSeconds)
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
    auto it = pageFiles.find(key);
    if (it == pageFiles.end()) {
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
        const CueFile chosen = chooseCueFile(school.sounds, position, services.random);
        if (!chosen.error.empty()) return errorResponse(404, kNotFound);
        file = chosen.file;
    }
    for (const auto& [name, fileName] : fixed)
        if (cue == name) file = fileName;
    // A name in the table that leaves the sound folder is not followed.
    if (file.empty() || file == ".wav" || file.find('/') != std::string::npos ||
        file.find('\\') != std::string::npos || file.starts_with(".."))
        return errorResponse(404, kNotFound);

    std::ifstream in(pathFromUtf8(school.folders.SoundFolder + file), std::ios::binary);
    if (!in) return errorResponse(404, kNotFound);
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > limits.maxSoundBytes)
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
    return jsonResponse(200, {{"Label4", school.program.ProgramTitle},
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

    // A sign-in on a browser that is signed in already replaces that session.
    if (const std::string old = cookieOf(req, kSessionCookie); !old.empty()) sessions.erase(old);
    if (sessions.size() >= limits.maxSessions) return errorResponse(503, kBusy);

    Session s;
    if (!kestrel::signIn(school, s.state, lists.numberOfLine(static_cast<int>(line)), now))
        return errorResponse(422, kChooseName, refused);
    s.id = services.ids.newId();
    s.lastSeen = t;
    s.gradeFilter = grade;
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
    const LevelAvailability available = refreshAvailability(school, st);
    const MenuHeader header = menuHeader(school, st, now);
    const std::vector<LevelColumnTexts> columns = levelColumns(school, s);

    std::string heading;
    std::vector<std::vector<std::string>> viewLines;
    const bool todayView = display == 0 && kind == 2;
    // The time display's first kind is the best times, the points display's
    // the rankings by points.
    const RankingBasis basis = rankingBasis(static_cast<int16_t>(display == 0 ? 1 : 2),
                                            static_cast<int16_t>(display == 0 ? 1 : kind));
    if (display == 1) {
        heading = pointsRankingHeading(kind);
    } else if (kind == 1) {
        heading = "ベスト成績";
    } else {
        heading = "本日の成績";
        ViewScan scan(
            {ViewKind::Today, levelCount(), static_cast<double>(dayNumber(now.date)), 1, grade, s},
            school.roster, school.criteria);
        replayLogWindow(school.resultsWindow, scan, kTodayViewRecords);
        viewLines = scan.takeLines();
    }

    json levels = json::array();
    for (int i = 1; i <= levelCount(); ++i) {
        const auto k = static_cast<size_t>(i);
        ColumnList list;
        if (todayView)
            list = viewList(k < viewLines.size() ? std::move(viewLines[k])
                                                 : std::vector<std::string>{});
        else
            list = rankingList(school, i, basis, grade, s);
        json colour = nullptr;
        if (display == 0)
            if (const std::optional<uint32_t> bg = timeListColour(list.lines, school.criteria[i]))
                colour = colourText(*bg);
        const bool closed = available.closed[k];
        const LevelColumnTexts& c = columns[k - 1];
        levels.push_back({{"level", i},
                          {"Label1", c.number},
                          {"Label3", c.name},
                          {"Command4", withoutAccessMark(c.startCaption)},
                          {"enabled", !closed},
                          {"Text1", closed ? json(kOverPracticeNotice) : json(nullptr)},
                          {"Label9", "今日"},
                          {"Label10", "今まで"},
                          {"Label14", c.today},
                          {"Label15", c.allTime},
                          {"Label8", c.passPeriod},
                          {"Label7", c.target},
                          {"List5", list.lines},
                          {"List5Own", list.own},
                          {"List5Colour", colour}});
    }
    json option1 =
        display == 1 ? json::array({"累計順", "本日順"}) : json::array({"BEST表示", "本日のみ"});
    return jsonResponse(200, {{"Label11", header.title},
                              {"Label12", header.student},
                              {"Label13", header.school},
                              {"Label17", header.minutes},
                              {"Label18", header.todayTotal},
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

json Server::State::clockJson(Run& run, Session& session) {
    return {{"sLabel9", std::to_string(run.drill.remaining())},
            {"sLabel10", std::to_string(run.drill.elapsedSeconds())},
            {"sLabel13", std::to_string(minutesSinceSignIn(session.state, now))}};
}

Response Server::State::startRun(Session& session, const json& body) {
    if (!body.contains("level") || !body["level"].is_number_integer())
        return errorResponse(400, kBadRequest);
    const int64_t requested = body["level"].get<int64_t>();
    if (requested < 1 || requested > levelCount()) return errorResponse(403, kNotAvailable);
    const int level = static_cast<int>(requested);
    const bool again =
        body.contains("again") && body["again"].is_boolean() && body["again"].get<bool>();
    if (auto failed = refreshSummary()) return *failed;

    // From the level menu a level practised too much is closed; the end
    // screen's "もう一度" repeats the level it offered, as the desktop's does.
    const LevelAvailability available = refreshAvailability(school, session.state);
    const bool offered = again && session.retryLevel == level;
    if (!offered && available.closed[static_cast<size_t>(level)])
        return errorResponse(403, kNotAvailable, {{"Text1", kOverPracticeNotice}});
    if (session.runsStarted >= limits.maxRunsPerSession) return errorResponse(429, kTooMany);

    // A run still going is abandoned: it leaves no record.
    session.run.reset();
    session.retryLevel = 0;
    ++session.runsStarted;
    auto run = std::make_shared<Run>(school, session.state, services.random);
    Run& r = *run;
    r.id = services.ids.newId();
    r.lastHeard = t;
    resetRunState(r.state);
    r.state.CurrentLevel = static_cast<int16_t>(level);
    const RunStart start = r.drill.start(t, now);
    const RunHeader& h = start.header;

    json reply = {
        {"run", r.id},
        {"sLabel2", h.title},
        {"sLabel7", h.studentName},
        {"sLabel8", h.levelName},
        {"sLabel14", h.schoolName},
        {"sLabel13", std::to_string(h.minutesSinceSignIn)},
        {"sLabel12", h.todayRun},
        {"sLabel11", h.levelRun},
        {"sLabel9", std::to_string(h.remaining)},
        {"sLabel10", "0"},
        {"bar", {{"limit", h.limitSeconds}, {"target", h.targetTime}, {"minimum", h.minimumTime}}},
        {"problem", problemJson(start.first)}};
    session.run = std::move(run);
    return jsonResponse(201, reply);
}

std::optional<Response> Server::State::timeOutIfDue(Run& run, Session& session) {
    if (run.drill.catchUp(t) != RunRules::Tick::TimeOut) return std::nullopt;
    if (auto failed = endRun(run, session)) return failed;
    return jsonResponse(200, {{"verdict", "timeUp"}, {"state", "ended"}, {"end", run.end}});
}

std::optional<Response> Server::State::endRun(Run& run, Session& session) {
    const RunEnd end = run.drill.finish(now);
    if (!end.claimed) return std::nullopt;
    run.ended = true;
    if (!end.record) {
        // A run that is not recorded goes back to the menu.
        run.end = {{"practice", true}};
        return std::nullopt;
    }
    RecordOutcome outcome;
    {
        const ReleaseDuringWaits others;
        outcome = recordRun(school, logClock, pump, *end.record);
    }
    // Other requests may have come in meanwhile.
    readClock();
    if (!outcome.status.ok()) {
        // A run the log could not take waits on the server's PC; the child
        // is told so, and no path of that PC.
        const std::string text = outcome.kept.ok() ? kKeptRunText : outcome.status.message;
        run.end = {{"error", text}, {"kept", outcome.kept.ok()}};
        return errorResponse(500, text);
    }
    ++written;
    if (recorded) recorded(*end.record);

    EndScreenFacts f;
    if (const LogStatus status = evaluateRun(school, run.state, outcome.flags, logClock, pump, f);
        !status.ok())
        return errorResponse(503, status.message);
    session.state.TodayRunCount = run.state.TodayRunCount;
    session.retryLevel = f.ways.retry ? run.state.CurrentLevel : 0;

    json laterLabel2 = f.cleared ? json(kLevelClearedText) : json(nullptr);
    if (f.ways.label2 == WaysOn::Label2::Hide) laterLabel2 = nullptr;
    if (f.ways.label2 == WaysOn::Label2::NextLevel) laterLabel2 = kNextLevelText;
    const bool timeUp = end.timeUp;
    run.end = {{"cover", timeUp ? "lblsss2" : "lblsss1"},
               {"lblsss1", timeUp ? json(nullptr) : json(kRecordingCover)},
               {"lblsss2", timeUp ? json(kTimeUpCover) : json(nullptr)},
               {"Label15", f.title},
               {"Label16", f.levelName},
               {"Label17", f.studentName},
               {"Label13", f.levelRun},
               {"Label14", f.todayRun},
               {"Label18", f.runTime},
               {"Label19", f.points},
               {"Label20", f.messageText.empty() ? json(nullptr) : json(f.messageText)},
               {"Label2", f.cleared ? json(kLevelClearedText) : json(nullptr)},
               {"Picture1", f.goalPanel},
               {"Label1", f.goalPanel ? json(kGoalClearedText) : json(nullptr)},
               {"cue", soundJson(f.messageSound)},
               {"goalCue", soundJson(f.goalSound)},
               {"Command4", nullptr},
               {"Command5", nullptr},
               {"again", f.ways.retry},
               {"afterTimer",
                {{"Picture1", false},
                 {"Command4", kToMenuCaption},
                 {"Command5", f.ways.retry ? json(kRetryCaption) : json(nullptr)},
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
    DrillRun& drill = run.drill;

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
        if (!drill.hintDue(t, kHintEarlyMs / 1000.0)) return errorResponse(409, kHintNotYet);
        drill.hintShown();
        return jsonResponse(
            200, hintJson(workingFor(drill.problem().ProblemText, drill.problem().RoundPlace)));
    }
    if (get) return errorResponse(405, kBadRequest);
    if (!body) return errorResponse(400, kBadRequest);

    if (run.ended) return errorResponse(409, kNotNow, {{"end", run.end}});
    if (auto reply = timeOutIfDue(run, session)) return *reply;

    if (action == "answer") {
        if (!body->contains("entry") || !(*body)["entry"].is_string())
            return errorResponse(400, kBadRequest);
        const std::string entry = (*body)["entry"].get<std::string>();
        if (!RunRules::isTypedEntry(entry)) return errorResponse(400, kBadRequest);
        const std::optional<Answered> answered = drill.answer(entry, t);
        if (!answered) return errorResponse(409, kNotNow);
        const AfterAnswer next = drill.proceed(t);
        json reply = {{"hint", hintJson(answered->working)}};
        if (answered->verdict == Judgement::Right) {
            reply["verdict"] = "right";
            reply["cue"] = "right";
            if (next.kind == AfterAnswer::Kind::Ended) {
                if (auto failed = endRun(run, session)) return *failed;
                reply["end"] = run.end;
            } else if (next.next) {
                reply["problem"] = problemJson(*next.next);
            }
        } else {
            reply["verdict"] = "wrong";
            reply["cue"] = "wrong";
            reply["Label11"] = "=";
            reply["seitouLabel"] = answered->correctAnswer;
            reply["Commandkakunin2"] = kConfirmPrompt;
        }
        reply.update(clockJson(run, session));
        // The penalty shows at once on the page; the recorded time is the
        // run clock's own.
        if (answered->verdict == Judgement::Wrong)
            reply["sLabel10"] = std::to_string(drill.elapsedAt(t));
        return jsonResponse(200, reply);
    }
    if (action == "confirm") {
        const std::optional<ShownProblem> next = drill.confirm(t);
        if (!next) return errorResponse(409, kNotNow);
        json reply = {{"problem", problemJson(*next)},
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
    const ServerLimits& limits = st.limits;
    st.readClock();

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
