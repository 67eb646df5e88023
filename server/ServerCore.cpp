#include "ServerCore.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
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
#include "results/KeptRuns.h"
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
constexpr const char* kNeedCode = "クラスコードを入れてください";
constexpr const char* kWrongCode = "クラスコードがちがいます";
constexpr const char* kTooSoon = "もう一度送ります";
constexpr const char* kRunGoing = "ドリルのとちゅうです";
constexpr const char* kRunGone = "このドリルはもうありません。レベルをえらびなおしてください";
constexpr const char* kRecordedText = "きろくしました。";
// How long a request waits for another request's use of the school's data
// before it is answered as busy.
constexpr int kSchoolWaitMs = 500;

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
//
// Two locks. The state lock guards the sessions, the runs and the counters:
// every request takes it, briefly, and no file is ever read or written under
// it, so that a tablet's answer never waits for the share. The school lock
// guards the school's summary, window and roster, which the name list, the
// level menu, a run's start and a run's record read and write through the
// share: it is taken second (never the other way round), and a request that
// would wait for another PC's lock on the log is answered at once as busy
// (503 with Retry-After) instead, the page asking again.

namespace {

// Thrown where the log's sharing protocol would wait for another PC.
struct LogBusy {};

class BusyPump : public EventPump {
public:
    void processEvents() override {}
    void idle(int) override { throw LogBusy{}; }
};

struct Session;

// A reply kept for its problem's sequence number: the same request sent
// again (its reply lost on the network) is answered with it once more.
struct KeptReply {
    uint64_t seq = 0;
    std::optional<Response> response;
};

// One run under way, and once ended its end screen. The run's flags are its
// own: no two runs share a SharedState.
struct Run {
    Run(const School& school, const SharedState& signedIn, Random& random)
        : state(signedIn), drill(school, state, random) {}
    std::string id;
    std::string client; // who started it, for the server's own log
    std::weak_ptr<Session> session;
    SharedState state;
    DrillRun drill;
    double lastHeard = 0; // monotonic seconds a request of its page arrived
    uint64_t seq = 0;     // the problem on the screen
    double shownAt = 0;   // when it was shown
    json start;           // the start's texts, for a page that comes back
    json problem;         // the problem on the screen
    json wrong;           // a wrong answer waiting for "+" "+" (null: none)
    KeptReply lastAnswer, lastConfirm;
    bool ended = false;
    bool timeUp = false;
    double endedAt = 0;   // when its record began to wait for the log
    uint64_t endedIn = 0; // the request during which it ended
    // The record's way into the log: waiting for it, appended (the end
    // screen still to be evaluated), or done.
    enum class Recording { None, Waiting, Appended, Done };
    Recording recording = Recording::None;
    std::optional<ResultRecord> record;
    RecordFlags flags;
    bool flushing = false; // a request is putting it into the log now
    json end;              // the end screen, once ended and recorded
};

struct Session {
    std::string id;
    std::string client;
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

// Wrong class codes of one address, and until when it is refused.
struct CodeFailures {
    int count = 0;
    double lockedUntil = 0;
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

Response busyResponse() {
    Response r = errorResponse(503, kBusy, {{"busy", true}});
    r.headers.push_back({"Retry-After", "1"});
    return r;
}

// The host of a Host header or an Origin's authority, lower-cased, without
// its port; IPv6 without its brackets.
std::string hostOf(std::string_view authority) {
    if (const size_t scheme = authority.find("://"); scheme != std::string_view::npos)
        authority.remove_prefix(scheme + 3);
    if (const size_t slash = authority.find('/'); slash != std::string_view::npos)
        authority = authority.substr(0, slash);
    std::string host;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        host =
            std::string(authority.substr(1, close == std::string_view::npos ? close : close - 1));
    } else {
        host = std::string(authority.substr(0, authority.rfind(':')));
        if (std::count(authority.begin(), authority.end(), ':') > 1) host = authority;
    }
    std::transform(host.begin(), host.end(), host.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return host;
}

} // namespace

struct Server::State {
    State(ServerSetup s, ServerServices v)
        : services(v), files(v.files), limits(s.limits), pageFiles(std::move(s.files)),
          recorded(std::move(s.recorded)), classCode(std::move(s.classCode)) {
        for (std::string& h : s.hosts)
            hosts.push_back(hostOf(h));
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
    ServerLimits limits;
    std::map<std::string, StaticFile> pageFiles;
    std::function<void(const ResultRecord&, const std::string&)> recorded;
    std::string classCode;
    std::vector<std::string> hosts;

    // Under the state lock.
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<Session>> sessions;
    std::vector<std::shared_ptr<Run>> orphans;   // runs going on after their session ended
    std::vector<std::shared_ptr<Run>> recording; // runs whose record waits for the log
    std::map<std::string, Bucket> buckets;
    std::map<std::string, CodeFailures> codeFailures;
    uint64_t written = 0;
    uint64_t requests = 0; // requests served, this one included
    LocalTime now;
    double t = 0; // monotonic seconds of the server's clock at `now`

    // Under the school lock.
    std::timed_mutex schoolMutex;
    School school;
    BusyPump pump;

    int levelCount() const { return std::clamp<int>(school.program.LevelCount, 0, kMaxLevel); }
    void readClock() {
        now = services.clock.now();
        t = services.clock.monotonicSeconds();
    }
    std::unique_lock<std::timed_mutex> lockSchool() {
        std::unique_lock<std::timed_mutex> lock(schoolMutex, std::defer_lock);
        (void)lock.try_lock_for(std::chrono::milliseconds(kSchoolWaitMs));
        return lock;
    }

    // Runs `work` on the school without the state lock: the school's lock is
    // waited for briefly, and a log another PC holds makes the request busy.
    // The state lock is held again on return, with the clock read anew.
    template <class Work>
    std::optional<Response> withSchool(std::unique_lock<std::mutex>& lk, Work work) {
        lk.unlock();
        std::optional<Response> failed;
        {
            std::unique_lock<std::timed_mutex> sl = lockSchool();
            if (!sl.owns_lock())
                failed = busyResponse();
            else
                try {
                    failed = work();
                } catch (const LogBusy&) {
                    school.resultsWindow.forget();
                    failed = busyResponse();
                }
        }
        lk.lock();
        readClock();
        return failed;
    }

    Response serve(const Request& req, double arrived);
    std::optional<Response> screen(const Request& req);
    Response route(const Request& req, std::unique_lock<std::mutex>& lk, double arrived);
    bool admit(const std::string& client);
    void expire();
    std::shared_ptr<Session> sessionOf(const Request& req);
    void endSession(const std::shared_ptr<Session>& session);
    bool makeRoomFor(const std::string& client);

    std::optional<Response> refreshSummary();
    std::optional<Response> readNames(NameListState& lists, int mode, const std::string& grade,
                                      const CivilDate& today);

    Response staticFile(const Request& req, const std::string& path);
    Response sound(const std::string& cue, std::unique_lock<std::mutex>& lk);
    Response names(const Request& req, std::unique_lock<std::mutex>& lk);
    Response signIn(const Request& req, const json& body, std::unique_lock<std::mutex>& lk);
    Response signOut(const Request& req);
    Response sessionView(Session& session);
    Response menu(const Request& req, const std::shared_ptr<Session>& session,
                  std::unique_lock<std::mutex>& lk);
    Response startRun(const Request& req, const std::shared_ptr<Session>& session, const json& body,
                      std::unique_lock<std::mutex>& lk);
    Response runRequest(const Request& req, const std::shared_ptr<Session>& session,
                        const std::string& id, const std::string& action,
                        const std::optional<json>& body, std::unique_lock<std::mutex>& lk,
                        double arrived);
    Response answer(const std::shared_ptr<Run>& found, Session& session, const json& body,
                    std::unique_lock<std::mutex>& lk);
    Response confirm(Run& run, Session& session, const json& body);

    json clockJson(Run& run, const SharedState& signedIn);
    json runView(Run& run, const SharedState& signedIn);
    void showProblem(Run& run, const ShownProblem& p);
    bool timeOutIfDue(const std::shared_ptr<Run>& run);
    void finish(const std::shared_ptr<Run>& run);
    void flushRecords(std::unique_lock<std::mutex>& lk);
    json endJson(const EndScreenFacts& f, bool timeUp) const;
    json endReply(Run& run);
    std::optional<Response> endedReply(const std::shared_ptr<Run>& found,
                                       std::unique_lock<std::mutex>& lk);
};

std::optional<Response> Server::State::refreshSummary() {
    const LogStatus status = buildSummary(school, services.clock, pump);
    if (status.ok()) return std::nullopt;
    // The child sees the request fail; the teacher's message stays on the
    // server's terminal, with no path of this PC in a page.
    std::cerr << "kestrel-server: " << status.message << "\n";
    return busyResponse();
}

std::optional<Response> Server::State::readNames(NameListState& lists, int mode,
                                                 const std::string& grade, const CivilDate& today) {
    if (auto failed = refreshSummary()) return failed;
    lists.NameListMode = mode;
    lists.filterText = grade;
    if (const RosterStatus read = readNameLists(school, lists, today); !read.ok()) {
        std::cerr << "kestrel-server: " << read.message << "\n";
        return busyResponse();
    }
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

// A run whose page went away goes on: a timed run is recorded as a
// time-out once its limit has passed, as a desktop run that runs out is;
// a run without a clock records nothing and is let go after its silence.
void Server::State::expire() {
    const auto silent = [this](const Run& run) {
        return !run.drill.hasLimit() && t - run.lastHeard > limits.runSilenceSeconds;
    };
    for (auto it = sessions.begin(); it != sessions.end();) {
        const std::shared_ptr<Session> s = it->second;
        if (s->run && !s->run->ended) {
            if (s->run->drill.hasLimit())
                (void)timeOutIfDue(s->run);
            else if (silent(*s->run))
                s->run.reset();
        }
        if (t - s->lastSeen > limits.sessionIdleSeconds) {
            it = sessions.erase(it);
            if (s->run && !s->run->ended) orphans.push_back(s->run);
            continue;
        }
        ++it;
    }
    std::erase_if(orphans, [&](const std::shared_ptr<Run>& run) {
        if (!run->ended && run->drill.hasLimit()) (void)timeOutIfDue(run);
        return run->ended || silent(*run);
    });
}

std::shared_ptr<Session> Server::State::sessionOf(const Request& req) {
    const std::string id = cookieOf(req, kSessionCookie);
    if (id.empty()) return nullptr;
    auto it = sessions.find(id);
    if (it == sessions.end()) return nullptr;
    it->second->lastSeen = t;
    return it->second;
}

// A session ends; a run of it still going goes on without it, to its end.
void Server::State::endSession(const std::shared_ptr<Session>& session) {
    if (session->run && !session->run->ended) orphans.push_back(session->run);
    sessions.erase(session->id);
}

// Room for one more session of `client`: at the address's cap, or the
// server's, the session idle longest that has no run going ends. False when
// every such session is in a run.
bool Server::State::makeRoomFor(const std::string& client) {
    const auto evictable = [](const Session& s) { return !s.run || s.run->ended; };
    const auto oldest = [&](bool sameClient) {
        std::shared_ptr<Session> pick;
        for (const auto& [id, s] : sessions)
            if ((!sameClient || s->client == client) && evictable(*s) &&
                (!pick || s->lastSeen < pick->lastSeen))
                pick = s;
        return pick;
    };
    const size_t mine =
        static_cast<size_t>(std::count_if(sessions.begin(), sessions.end(), [&](const auto& e) {
            return e.second->client == client;
        }));
    if (mine >= limits.maxSessionsPerClient) {
        const std::shared_ptr<Session> s = oldest(true);
        if (!s) return false;
        endSession(s);
    }
    if (sessions.size() >= limits.maxSessions) {
        const std::shared_ptr<Session> s = oldest(false);
        if (!s) return false;
        endSession(s);
    }
    return true;
}

// ---- Files -----------------------------------------------------------------------

Response Server::State::staticFile(const Request& req, const std::string& path) {
    const std::string key = path == "/" ? "/index.html" : path;
    Response r;
    r.headers.push_back({"X-Content-Type-Options", "nosniff"});
    auto it = pageFiles.find(key);
    if (it == pageFiles.end()) {
        if (key != "/index.html") return errorResponse(404, kNotFound);
        r.contentType = "text/html; charset=utf-8";
        r.body = kPlaceholderPage;
        return r;
    }
    // A tablet loads the page once; later loads ask whether it changed.
    char tag[24];
    std::snprintf(tag, sizeof tag, "\"%016llx\"",
                  static_cast<unsigned long long>(std::hash<std::string>{}(it->second.bytes)));
    r.headers.push_back({"ETag", tag});
    r.headers.push_back({"Cache-Control", "no-cache"});
    if (const std::string* match = fieldOf(req.headers, "If-None-Match", true);
        match && *match == tag) {
        r.status = 304;
        return r;
    }
    r.contentType = it->second.contentType;
    r.body = it->second.bytes;
    return r;
}

Response Server::State::sound(const std::string& cue, std::unique_lock<std::mutex>& lk) {
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

    // Read from the share without the state lock.
    lk.unlock();
    std::ifstream in(pathFromUtf8(school.folders.SoundFolder + file), std::ios::binary);
    Response r;
    if (in) {
        in.seekg(0, std::ios::end);
        const std::streamoff size = in.tellg();
        if (size >= 0 && static_cast<uint64_t>(size) <= limits.maxSoundBytes) {
            in.seekg(0);
            r.body.resize(static_cast<size_t>(size));
            in.read(r.body.data(), size);
        }
    }
    const bool read = in && !r.body.empty();
    lk.lock();
    if (!read) return errorResponse(404, kNotFound);
    r.contentType = "audio/wav";
    r.headers.push_back({"Cache-Control", "no-store"});
    return r;
}

// ---- Name screen -----------------------------------------------------------------

Response Server::State::names(const Request& req, std::unique_lock<std::mutex>& lk) {
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
    const CivilDate today = now.date;
    NameListState lists;
    if (std::optional<Response> failed =
            withSchool(lk, [&] { return readNames(lists, mode, grade, today); }))
        return *failed;

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

Response Server::State::signIn(const Request& req, const json& body,
                               std::unique_lock<std::mutex>& lk) {
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

    // The class code the server printed: only the room's devices sign in.
    if (!classCode.empty()) {
        CodeFailures& f = codeFailures[req.client];
        if (f.lockedUntil > t) return errorResponse(429, kTooMany);
        const bool given = body.contains("code") && body["code"].is_string();
        if (!given || body["code"].get<std::string>() != classCode) {
            if (given && ++f.count >= limits.maxCodeFailures) {
                f.count = 0;
                f.lockedUntil = t + limits.codeLockSeconds;
            }
            return errorResponse(403, given ? kWrongCode : kNeedCode, {{"needCode", true}});
        }
        codeFailures.erase(req.client);
    }

    const LocalTime at = now;
    NameListState lists;
    SharedState state;
    bool signedIn = false;
    if (std::optional<Response> failed = withSchool(lk, [&]() -> std::optional<Response> {
            if (auto read = readNames(lists, mode, grade, at.date)) return read;
            if (line >= 1 && line < static_cast<int64_t>(lists.List1.size()))
                signedIn =
                    kestrel::signIn(school, state, lists.numberOfLine(static_cast<int>(line)), at);
            return std::nullopt;
        }))
        return *failed;
    if (!signedIn) return errorResponse(422, kChooseName, refused);

    // A sign-in on a browser that is signed in already replaces that session.
    if (const std::string old = cookieOf(req, kSessionCookie); !old.empty())
        if (auto it = sessions.find(old); it != sessions.end()) endSession(it->second);
    if (!makeRoomFor(req.client)) return busyResponse();

    auto s = std::make_shared<Session>();
    s->state = state;
    s->id = services.ids.newId();
    s->client = req.client;
    s->lastSeen = t;
    s->gradeFilter = grade;
    const std::string shown = chosenNameText(lists.List1[static_cast<size_t>(line)]);
    const std::string name = trimSpaces(s->state.CurrentStudentName);
    const std::string id = s->id;
    sessions.emplace(id, std::move(s));

    Response r = jsonResponse(200, {{"Label1", shown}, {"student", name}});
    r.headers.push_back({"Set-Cookie", std::string(kSessionCookie) + "=" + id +
                                           "; HttpOnly; SameSite=Strict; Path=/"});
    return r;
}

Response Server::State::signOut(const Request& req) {
    if (const std::string id = cookieOf(req, kSessionCookie); !id.empty())
        if (auto it = sessions.find(id); it != sessions.end()) endSession(it->second);
    Response r = jsonResponse(200, json::object());
    r.headers.push_back({"Set-Cookie", std::string(kSessionCookie) +
                                           "=; HttpOnly; SameSite=Strict; Path=/; Max-Age=0"});
    return r;
}

// What a page that was reloaded needs to go on where it stood.
Response Server::State::sessionView(Session& session) {
    // A run whose end screen was shown is over for the page: the menu.
    json run = nullptr;
    if (session.run && !(session.run->ended && !session.run->end.is_null()))
        run = runView(*session.run, session.state);
    return jsonResponse(200,
                        {{"student", trimSpaces(session.state.CurrentStudentName)}, {"run", run}});
}

// ---- Level menu ------------------------------------------------------------------

Response Server::State::menu(const Request& req, const std::shared_ptr<Session>& session,
                             std::unique_lock<std::mutex>& lk) {
    int display = 1;
    int kind = 1;
    std::string grade = session->gradeFilter;
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
    SharedState st = session->state;
    const LocalTime at = now;
    const int s = st.CurrentStudentNumber;
    json reply;
    std::optional<Response> failed = withSchool(lk, [&]() -> std::optional<Response> {
        if (auto busy = refreshSummary()) return busy;
        {
            const LevelAvailability available = refreshAvailability(school, st);
            const MenuHeader header = menuHeader(school, st, at);
            const std::vector<LevelColumnTexts> columns = levelColumns(school, s);

            std::string heading;
            std::vector<std::vector<std::string>> viewLines;
            const bool todayView = display == 0 && kind == 2;
            // The time display's first kind is the best times, the points
            // display's the rankings by points.
            const RankingBasis basis = rankingBasis(static_cast<int16_t>(display == 0 ? 1 : 2),
                                                    static_cast<int16_t>(display == 0 ? 1 : kind));
            if (display == 1) {
                heading = pointsRankingHeading(kind);
            } else if (kind == 1) {
                heading = "ベスト成績";
            } else {
                heading = "本日の成績";
                ViewScan scan({ViewKind::Today, levelCount(),
                               static_cast<double>(dayNumber(at.date)), 1, grade, s},
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
                    if (const std::optional<uint32_t> bg =
                            timeListColour(list.lines, school.criteria[i]))
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
            json option1 = display == 1 ? json::array({"累計順", "本日順"})
                                        : json::array({"BEST表示", "本日のみ"});
            reply = {{"Label11", header.title},
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
                     {"levels", levels}};
        }
        return std::nullopt;
    });
    if (failed) return *failed;
    session->state.TodayRunCount = st.TodayRunCount;
    return jsonResponse(200, reply);
}

// ---- The run ---------------------------------------------------------------------

json Server::State::clockJson(Run& run, const SharedState& signedIn) {
    return {{"sLabel9", std::to_string(run.drill.remaining())},
            {"sLabel10", std::to_string(run.drill.elapsedSeconds())},
            {"sLabel13", std::to_string(minutesSinceSignIn(signedIn, now))}};
}

void Server::State::showProblem(Run& run, const ShownProblem& p) {
    run.problem = {{"qLabel1", p.problem.ProblemText},
                   {"Label10", p.problem.instruction},
                   {"hintDelayMs", p.hintDelayMs},
                   {"seq", ++run.seq}};
    run.shownAt = t;
}

// The run as a page that comes back shows it: its start's texts, the clock,
// the problem on the screen, a wrong answer waiting for "+" "+", or its end.
json Server::State::runView(Run& run, const SharedState& signedIn) {
    json view = run.start;
    view.update(clockJson(run, signedIn));
    view["problem"] = run.problem;
    view["wrong"] = run.wrong;
    view["state"] = !run.ended ? "running" : run.end.is_null() ? "recording" : "ended";
    if (!run.end.is_null()) view["end"] = run.end;
    return view;
}

Response Server::State::startRun(const Request& req, const std::shared_ptr<Session>& session,
                                 const json& body, std::unique_lock<std::mutex>& lk) {
    if (!body.contains("level") || !body["level"].is_number_integer())
        return errorResponse(400, kBadRequest);
    const int64_t requested = body["level"].get<int64_t>();
    if (requested < 1 || requested > levelCount()) return errorResponse(403, kNotAvailable);
    const int level = static_cast<int>(requested);
    const bool again =
        body.contains("again") && body["again"].is_boolean() && body["again"].get<bool>();
    // A run is never thrown away: the page that left it comes back to it.
    if (session->run && !session->run->ended)
        return errorResponse(409, kRunGoing, {{"run", runView(*session->run, session->state)}});
    // The last run's record must be in the log before the next run counts it.
    if (session->run && session->run->end.is_null()) return busyResponse();
    if (session->runsStarted >= limits.maxRunsPerSession) return errorResponse(429, kTooMany);
    const bool offered = again && session->retryLevel == level;

    SharedState st = session->state;
    const LocalTime at = now;
    const double startedAt = t;
    auto run = std::make_shared<Run>(school, st, services.random);
    Run& r = *run;
    std::optional<Response> refused;
    std::optional<RunStart> start;
    refused = withSchool(lk, [&]() -> std::optional<Response> {
        if (auto busy = refreshSummary()) return busy;
        // From the level menu a level practised too much is closed; the end
        // screen's "もう一度" repeats the level it offered, as the desktop's does.
        const LevelAvailability available = refreshAvailability(school, r.state);
        if (!offered && available.closed[static_cast<size_t>(level)])
            return errorResponse(403, kNotAvailable, {{"Text1", kOverPracticeNotice}});
        resetRunState(r.state);
        r.state.CurrentLevel = static_cast<int16_t>(level);
        start = r.drill.start(startedAt, at);
        return std::nullopt;
    });
    if (refused) return *refused;
    // Another request of the session may have started a run meanwhile.
    if (session->run && !session->run->ended)
        return errorResponse(409, kRunGoing, {{"run", runView(*session->run, session->state)}});

    session->retryLevel = 0;
    ++session->runsStarted;
    r.id = services.ids.newId();
    r.client = req.client;
    r.session = session;
    r.lastHeard = t;
    const RunHeader& h = start->header;
    r.start = {
        {"run", r.id},
        {"level", level},
        {"sLabel2", h.title},
        {"sLabel7", h.studentName},
        {"sLabel8", h.levelName},
        {"sLabel14", h.schoolName},
        {"sLabel13", std::to_string(h.minutesSinceSignIn)},
        {"sLabel12", h.todayRun},
        {"sLabel11", h.levelRun},
        {"sLabel9", std::to_string(h.remaining)},
        {"sLabel10", "0"},
        {"bar", {{"limit", h.limitSeconds}, {"target", h.targetTime}, {"minimum", h.minimumTime}}}};
    showProblem(r, start->first);
    session->state.TodayRunCount = r.state.TodayRunCount;
    json reply = r.start;
    reply["problem"] = r.problem;
    session->run = std::move(run);
    return jsonResponse(201, reply);
}

// The run's end, once: the record waits for the log (flushRecords), a run
// that records nothing goes back to the menu.
void Server::State::finish(const std::shared_ptr<Run>& run) {
    const RunEnd end = run->drill.finish(now);
    if (!end.claimed) return;
    run->ended = true;
    run->timeUp = end.timeUp;
    run->endedAt = t;
    run->endedIn = requests;
    run->wrong = nullptr;
    if (!end.record) {
        run->end = {{"practice", true}};
        return;
    }
    run->record = *end.record;
    run->recording = Run::Recording::Waiting;
    recording.push_back(run);
}

bool Server::State::timeOutIfDue(const std::shared_ptr<Run>& run) {
    if (run->ended || run->drill.catchUp(t) != RunRules::Tick::TimeOut) return false;
    finish(run);
    return true;
}

json Server::State::endJson(const EndScreenFacts& f, bool timeUp) const {
    json laterLabel2 = f.cleared ? json(kLevelClearedText) : json(nullptr);
    if (f.ways.label2 == WaysOn::Label2::Hide) laterLabel2 = nullptr;
    if (f.ways.label2 == WaysOn::Label2::NextLevel) laterLabel2 = kNextLevelText;
    return {{"cover", timeUp ? "lblsss2" : "lblsss1"},
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
}

// Puts the ended runs' records into the log and evaluates their end
// screens, without the state lock. A log another PC holds leaves them
// waiting for the next request; a log that cannot be written keeps them on
// this PC (KeptRuns.h), and the child is told so.
void Server::State::flushRecords(std::unique_lock<std::mutex>& lk) {
    // Each record is taken by one request at a time: another that comes
    // meanwhile leaves it to this one.
    std::vector<std::shared_ptr<Run>> todo;
    for (const auto& run : recording)
        if (!run->flushing) todo.push_back(run);
    if (todo.empty()) return;
    for (const auto& run : todo)
        run->flushing = true;
    struct Step {
        Run::Recording stage;
        ResultRecord record;
        RecordFlags flags;
        SharedState state;
        bool timeUp;
        bool overdue; // waited long enough: kept on this PC, or shown without its figures
    };
    std::vector<Step> steps;
    for (const auto& run : todo)
        steps.push_back({run->recording, *run->record, run->flags, run->state, run->timeUp,
                         t - run->endedAt >= limits.recordWaitSeconds});
    lk.unlock();
    std::vector<json> ends(todo.size());
    std::vector<bool> appended(todo.size(), false);
    const std::filesystem::path logPath = resultsLogPath(school.folders);
    {
        std::unique_lock<std::timed_mutex> sl = lockSchool();
        for (size_t i = 0; i < todo.size(); ++i) {
            Step& s = steps[i];
            // The run's record waits in `file` on this PC: the child is told so.
            const auto kept = [&](const std::filesystem::path& file) {
                std::cerr << "kestrel-server: 成績を「" << utf8OfPath(file)
                          << "」にとっておきました。\n";
                ends[i] = {{"kept", true}, {"Label20", kKeptRunText}, {"Command4", kToMenuCaption}};
                s.stage = Run::Recording::Done;
            };
            const auto keep = [&] {
                const KeepOutcome outcome =
                    keepRun(files, school.keptRunsFolders, logPath, s.record);
                if (outcome.ok()) kept(outcome.file);
            };
            if (!sl.owns_lock()) {
                if (s.stage == Run::Recording::Waiting && s.overdue) keep();
                continue;
            }
            const auto L = static_cast<size_t>(s.record.level);
            const auto S = static_cast<size_t>(s.record.studentNumber);
            const bool inRange = L <= kMaxLevel && S <= kMaxStudent;
            const int32_t best = inRange ? school.summary->bestTime[L][S] : 0;
            const int32_t overall = inRange ? school.summary->overallBest[L] : 0;
            try {
                if (s.stage == Run::Recording::Waiting) {
                    const RecordOutcome outcome = recordRun(school, services.clock, pump, s.record);
                    if (!outcome.status.ok()) {
                        std::cerr << "kestrel-server: " << outcome.status.message << "\n";
                        if (outcome.kept.ok()) {
                            kept(outcome.kept.file);
                        } else if (!outcome.appendFailed) {
                            ends[i] = {{"error", kInternal}, {"Command4", kToMenuCaption}};
                            s.stage = Run::Recording::Done;
                        }
                        continue;
                    }
                    s.stage = Run::Recording::Appended;
                    s.flags = outcome.flags;
                    appended[i] = true;
                }
                EndScreenFacts facts;
                if (const LogStatus status =
                        evaluateRun(school, s.state, s.flags, services.clock, pump, facts);
                    !status.ok()) {
                    std::cerr << "kestrel-server: " << status.message << "\n";
                    throw LogBusy{};
                }
                ends[i] = endJson(facts, s.timeUp);
                s.stage = Run::Recording::Done;
            } catch (const std::exception& e) {
                // Whatever failed is told on the terminal; the record waits as
                // for a held log.
                std::cerr << "kestrel-server: " << e.what() << "\n";
                school.resultsWindow.forget();
                if (s.stage == Run::Recording::Waiting && inRange) {
                    school.summary->bestTime[L][S] = best;
                    school.summary->overallBest[L] = overall;
                }
            } catch (const LogBusy&) {
                // The log is held by another PC, or the share is away. A
                // record that did not go in leaves the summary as it was.
                school.resultsWindow.forget();
                if (s.stage == Run::Recording::Waiting && inRange) {
                    school.summary->bestTime[L][S] = best;
                    school.summary->overallBest[L] = overall;
                }
                if (!s.overdue) continue;
                if (s.stage == Run::Recording::Waiting)
                    keep();
                else // in the log already: the end screen without its figures
                    ends[i] = {{"Label20", kRecordedText}, {"Command4", kToMenuCaption}};
                if (s.stage == Run::Recording::Appended) s.stage = Run::Recording::Done;
            }
        }
    }
    lk.lock();
    readClock();
    for (size_t i = 0; i < todo.size(); ++i) {
        Run& run = *todo[i];
        run.flushing = false;
        run.recording = steps[i].stage;
        run.flags = steps[i].flags;
        if (appended[i]) {
            ++written;
            if (recorded) recorded(steps[i].record, run.client);
        }
        if (run.recording != Run::Recording::Done) continue;
        run.end = std::move(ends[i]);
        run.state.TodayRunCount = steps[i].state.TodayRunCount;
        if (const std::shared_ptr<Session> session = run.session.lock();
            session && session->run == todo[i]) {
            session->state.TodayRunCount = steps[i].state.TodayRunCount;
            session->retryLevel = run.end.value("again", false) ? run.state.CurrentLevel : 0;
        }
    }
    std::erase_if(recording, [](const auto& r) { return r->recording == Run::Recording::Done; });
}

// For an answer or a confirmation: a run that ran out before it came (as
// this request or the server's look over its runs found) says so; a run
// that had ended before, 409.
std::optional<Response> Server::State::endedReply(const std::shared_ptr<Run>& found,
                                                  std::unique_lock<std::mutex>& lk) {
    Run& run = *found;
    if (timeOutIfDue(found) || (run.ended && run.timeUp && run.endedIn == requests)) {
        flushRecords(lk);
        json reply = endReply(run);
        reply["verdict"] = "timeUp";
        return jsonResponse(200, reply);
    }
    if (run.ended) return errorResponse(409, kNotNow, endReply(run));
    return std::nullopt;
}

// The reply's end: the end screen once recorded, else "recording", and
// the page asks again.
json Server::State::endReply(Run& run) {
    if (run.end.is_null()) return {{"state", "recording"}};
    return {{"state", "ended"}, {"end", run.end}};
}

Response Server::State::answer(const std::shared_ptr<Run>& found, Session& session,
                               const json& body, std::unique_lock<std::mutex>& lk) {
    Run& run = *found;
    DrillRun& drill = run.drill;
    if (!body.contains("entry") || !body["entry"].is_string())
        return errorResponse(400, kBadRequest);
    const std::string entry = body["entry"].get<std::string>();
    if (!RunRules::isTypedEntry(entry)) return errorResponse(400, kBadRequest);
    std::optional<uint64_t> seq;
    if (body.contains("seq")) {
        if (!body["seq"].is_number_unsigned()) return errorResponse(400, kBadRequest);
        seq = body["seq"].get<uint64_t>();
        // The same answer sent again gets its first reply.
        if (run.lastAnswer.response && run.lastAnswer.seq == *seq) return *run.lastAnswer.response;
        if (*seq != run.seq) return errorResponse(409, kNotNow);
    }
    if (std::optional<Response> over = endedReply(found, lk)) return *over;
    // Faster than a child can enter it: held, and the page sends it again.
    if (const double early = limits.minAnswerSeconds - (t - run.shownAt); early > 0)
        return errorResponse(
            425, kTooSoon,
            {{"tooSoon", true}, {"retryAfterMs", static_cast<int>(std::ceil(early * 1000))}});

    const uint64_t answeredSeq = run.seq;
    const std::optional<Answered> answered = drill.answer(entry, t);
    if (!answered) return errorResponse(409, kNotNow);
    const AfterAnswer next = drill.proceed(t);
    json reply = {{"hint", hintJson(answered->working)}};
    bool ended = false;
    if (answered->verdict == Judgement::Right) {
        reply["verdict"] = "right";
        reply["cue"] = "right";
        if (next.kind == AfterAnswer::Kind::Ended) {
            finish(found);
            ended = true;
        } else if (next.next) {
            showProblem(run, *next.next);
            reply["problem"] = run.problem;
        }
    } else {
        reply["verdict"] = "wrong";
        reply["cue"] = "wrong";
        run.wrong = {{"Label11", "="},
                     {"seitouLabel", answered->correctAnswer},
                     {"Commandkakunin2", kConfirmPrompt}};
        reply.update(run.wrong);
    }
    reply.update(clockJson(run, session.state));
    // The penalty shows at once on the page; the recorded time is the run
    // clock's own.
    if (answered->verdict == Judgement::Wrong)
        reply["sLabel10"] = std::to_string(drill.elapsedAt(t));
    if (ended) {
        flushRecords(lk);
        reply.update(endReply(run));
    }
    Response r = jsonResponse(200, reply);
    run.lastAnswer = {answeredSeq, r};
    return r;
}

Response Server::State::confirm(Run& run, Session& session, const json& body) {
    if (body.contains("seq")) {
        if (!body["seq"].is_number_unsigned()) return errorResponse(400, kBadRequest);
        const uint64_t seq = body["seq"].get<uint64_t>();
        if (run.lastConfirm.response && run.lastConfirm.seq == seq)
            return *run.lastConfirm.response;
        if (seq != run.seq) return errorResponse(409, kNotNow);
    }
    const uint64_t confirmedSeq = run.seq;
    const std::optional<ShownProblem> next = run.drill.confirm(t);
    if (!next) return errorResponse(409, kNotNow);
    showProblem(run, *next);
    run.wrong = nullptr;
    json reply = {{"problem", run.problem},
                  {"seitouLabel", nullptr},
                  {"Label11", nullptr},
                  {"Commandkakunin2", nullptr}};
    reply.update(clockJson(run, session.state));
    Response r = jsonResponse(200, reply);
    run.lastConfirm = {confirmedSeq, r};
    return r;
}

Response Server::State::runRequest(const Request& req, const std::shared_ptr<Session>& session,
                                   const std::string& id, const std::string& action,
                                   const std::optional<json>& body,
                                   std::unique_lock<std::mutex>& lk, double arrived) {
    // Held here: the run stays while its record waits for the log, even when
    // the session moves on meanwhile.
    const std::shared_ptr<Run> found =
        session->run && session->run->id == id ? session->run : nullptr;
    if (!found) return errorResponse(404, kRunGone);
    Run& run = *found;
    // Silence counts from when a request arrived, not from when it got in.
    run.lastHeard = std::max(run.lastHeard, arrived);
    const bool get = req.method == "GET";
    DrillRun& drill = run.drill;

    if (action.empty() && get) {
        if (!run.ended && timeOutIfDue(found)) flushRecords(lk);
        if (run.ended && run.end.is_null()) flushRecords(lk);
        if (run.ended) return jsonResponse(200, endReply(run));
        json reply = clockJson(run, session->state);
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
    if (action == "answer") return answer(found, *session, *body, lk);
    if (action == "confirm") {
        if (std::optional<Response> over = endedReply(found, lk)) return *over;
        return confirm(run, *session, *body);
    }
    return errorResponse(404, kNotFound);
}

// ---- Routing ---------------------------------------------------------------------

// The requests refused before anything is looked up: a client outside the
// school's network, a name this server does not answer to (a page of
// another site reaching it by DNS rebinding), a POST from a page of another
// origin, too many headers, a body over the limit, a client over its rate.
std::optional<Response> Server::State::screen(const Request& req) {
    if (!limits.anyClient && !isPrivateAddress(req.client)) return errorResponse(403, kNotAllowed);
    if (!hosts.empty()) {
        const auto known = [this](const std::string& name) {
            return std::find(hosts.begin(), hosts.end(), hostOf(name)) != hosts.end();
        };
        const std::string* host = fieldOf(req.headers, "Host", true);
        if (!host || !known(*host)) return errorResponse(403, kNotAllowed);
        if (req.method == "POST")
            if (const std::string* origin = fieldOf(req.headers, "Origin", true);
                origin && !known(*origin))
                return errorResponse(403, kNotAllowed);
    }
    if (req.headers.size() > limits.maxHeaders) return errorResponse(431, kTooLarge);
    if (req.body.size() > limits.maxBodyBytes) return errorResponse(413, kTooLarge);
    if (!admit(req.client)) return errorResponse(429, kTooMany);
    return std::nullopt;
}

Response Server::State::route(const Request& req, std::unique_lock<std::mutex>& lk,
                              double arrived) {
    const std::string& path = req.path;
    const bool get = req.method == "GET" || req.method == "HEAD";
    const bool post = req.method == "POST";

    if (!path.starts_with("/api/")) {
        if (!get) return errorResponse(405, kBadRequest);
        if (path.starts_with("/sounds/")) return sound(path.substr(8), lk);
        return staticFile(req, path);
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

    if (path == "/api/names") return get ? names(req, lk) : errorResponse(405, kBadRequest);
    if (path == "/api/signin")
        return post ? signIn(req, *body, lk) : errorResponse(405, kBadRequest);
    if (path == "/api/signout") return post ? signOut(req) : errorResponse(405, kBadRequest);

    const std::shared_ptr<Session> session = sessionOf(req);
    if (path == "/api/session" || path == "/api/menu" || path.starts_with("/api/runs")) {
        if (!session) return errorResponse(401, kChooseName);
    }
    if (path == "/api/session")
        return get ? sessionView(*session) : errorResponse(405, kBadRequest);
    if (path == "/api/menu") return get ? menu(req, session, lk) : errorResponse(405, kBadRequest);
    if (path == "/api/runs")
        return post ? startRun(req, session, *body, lk) : errorResponse(405, kBadRequest);
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
        return runRequest(req, session, rest, action, body, lk, arrived);
    }
    return errorResponse(404, kNotFound);
}

Response Server::State::serve(const Request& req, double arrived) {
    std::unique_lock lk(mutex);
    readClock();
    ++requests;
    if (std::optional<Response> refused = screen(req)) return *refused;
    expire();
    Response r = route(req, lk, arrived);
    // Records that waited for the log go in with whatever request comes next.
    flushRecords(lk);
    return r;
}

// ---- Server ----------------------------------------------------------------------

Server::Server(ServerSetup setup, ServerServices services)
    : m_state(std::make_unique<State>(std::move(setup), services)) {}

Server::~Server() = default;

Response Server::handle(const Request& req) {
    State& st = *m_state;
    // Before any lock: a request that waits to get in has been heard.
    const double arrived = st.services.clock.monotonicSeconds();
    Response r;
    try {
        r = st.serve(req, arrived);
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
    const std::lock_guard lock(m_state->mutex);
    return m_state->sessions.size();
}

uint64_t Server::recordsWritten() const {
    const std::lock_guard lock(m_state->mutex);
    return m_state->written;
}

size_t Server::recordsWaiting() const {
    const std::lock_guard lock(m_state->mutex);
    return m_state->recording.size();
}

void Server::stop() {
    State& st = *m_state;
    std::unique_lock lk(st.mutex);
    st.readClock();
    // Runs going on are ended as their pages left them would be: a timed
    // run that has run out is recorded as a time-out.
    st.expire();
    st.flushRecords(lk);
    // What the log still cannot take is kept on this PC, to go in once it can.
    for (const auto& run : st.recording) {
        if (run->recording != Run::Recording::Waiting || !run->record) continue;
        const KeepOutcome kept = keepRun(st.files, st.school.keptRunsFolders,
                                         resultsLogPath(st.school.folders), *run->record);
        std::cerr << "kestrel-server: "
                  << (kept.ok() ? "成績を「" + utf8OfPath(kept.file) + "」にとっておきました。"
                                : "成績を記録できませんでした。" + kept.problem)
                  << "\n";
    }
    st.recording.clear();
}

} // namespace kestrel::server
