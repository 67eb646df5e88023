// kestrel-classroom: a classroom of PCs on one data folder, each a process
// that runs the program's own core through the shared folder as the
// screens do: the name screen, the sign-in, the level menu's activation,
// runs recorded some seconds apart, the end screen and the menu again. With
// --teacher one more process corrects and deletes records the PCs wrote
// (never another program's) and types in the criteria editor. At the end
// every record is accounted for and one JSON object reports what was lost,
// doubled or torn, how many well-formed records other programs wrote in the
// meantime ("foreign"), how long appends and loads waited, and how many
// bytes a menu activation read.
//
//   kestrel-classroom --folder DIR --pcs N --runs M [--teacher] [--tablets T]
//                     [--mbit R] [--pace S] [--seed K]
//
// DIR is the data folder that holds the log (made when missing). The
// school's roster, configuration and criteria are the demo's, in a folder of
// the simulator's own. --mbit R makes every read and write hold its lock for
// as long as its bytes take at R Mbit/s; --pace S is the average number of
// seconds between two runs of a PC. Exits 1 when a record was lost, doubled
// or torn, or a PC failed. With KESTREL_CLASSROOM_READ_WHOLE set in the
// environment every load reads the window whole and every key in the
// editor the whole log, as the program did before it kept what it read.
//
// --tablets T adds the classroom server (the program's request handling
// behind HTTP on the loopback, on the same data folder) and T browsers
// doing M runs each through it at the same time: they sign in, open the
// menu, start an open level and answer its problems, now and then wrongly.
// The report adds their answer round trips and the server's peak memory.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#if KESTREL_CLASSROOM_TABLETS
#include <httplib.h>
#include <nlohmann/json.hpp>

#include "HttpFront.h"
#include "ServerCore.h"
#endif
#include "context/Procedures.h"
#include "drill/Problem.h"
#include "levelmenu/LevelMenu.h"
#include "levelmenu/Ranking.h"
#include "platform/RunningProgram.h"
#include "platform/Terminal.h"
#include "platform/Utf8Path.h"
#include "results/ResultsLogEdit.h"
#include "results/RunRecording.h"
#include "roster/RosterDisplay.h"
#include "startup/Calendar.h"
#include "startup/Folders.h"
#include "support/Fakes.h"
#include "teacher/TimeHistogram.h"
#include "text/Cp932.h"

using namespace kestrel;
namespace fs = std::filesystem;

namespace {

struct Options {
    fs::path folder;
    int pcs = 0;
    int runs = 0;
    bool teacher = false;
    int tablets = 0;
    double mbit = 0; // 0: as fast as the folder is
    double pace = 10;
    unsigned seed = 1;
    std::vector<std::string> given; // the arguments as given, for the PCs' processes
    std::string child;              // in a PC's process: "pc-N" or "teacher"
    fs::path work;                  // in a PC's process: the simulator's working folder
};

[[noreturn]] void usage(const std::string& problem) {
    std::fprintf(stderr,
                 "kestrel-classroom: %s\nusage: kestrel-classroom --folder DIR --pcs N --runs M "
                 "[--teacher] [--tablets T] [--mbit R] [--pace S] [--seed K]\n",
                 problem.c_str());
    std::exit(2);
}

Options parseOptions(const std::vector<std::string>& args) {
    Options o;
    const size_t count = args.size();
    for (size_t i = 0; i < count; ++i) {
        const std::string a = args[i];
        const auto value = [&]() -> std::string {
            if (i + 1 >= count) usage(a + " needs a value");
            return args[++i];
        };
        try {
            if (a == "--child") {
                o.child = value();
                continue;
            }
            if (a == "--work") {
                o.work = pathFromUtf8(value());
                continue;
            }
            o.given.push_back(a);
            if (a == "--folder")
                o.folder = pathFromUtf8(o.given.emplace_back(value()));
            else if (a == "--pcs")
                o.pcs = std::stoi(o.given.emplace_back(value()));
            else if (a == "--runs")
                o.runs = std::stoi(o.given.emplace_back(value()));
            else if (a == "--teacher")
                o.teacher = true;
            else if (a == "--tablets")
                o.tablets = std::stoi(o.given.emplace_back(value()));
            else if (a == "--mbit")
                o.mbit = std::stod(o.given.emplace_back(value()));
            else if (a == "--pace")
                o.pace = std::stod(o.given.emplace_back(value()));
            else if (a == "--seed")
                o.seed = static_cast<unsigned>(std::stoul(o.given.emplace_back(value())));
            else
                usage("unknown option " + a);
        } catch (const std::logic_error&) {
            usage("not a number after " + a);
        }
    }
#if !KESTREL_CLASSROOM_TABLETS
    if (o.tablets > 0) usage("this build has no classroom server for --tablets");
#endif
    if (o.folder.empty() || o.pcs < 1 || o.runs < 0 || o.tablets < 0 || o.mbit < 0 || o.pace < 0)
        usage("--folder, --pcs (1 or more) and --runs are needed");
    return o;
}

// The system's files at the share's speed: a read or write takes as long as
// its bytes need at the given rate, while the caller holds its lock. Counts
// the bytes read.
class ShareFiles : public SharedFileSystem {
public:
    explicit ShareFiles(double mbit) : m_secondsPerByte(mbit > 0 ? 8.0 / (mbit * 1e6) : 0) {}

    std::unique_ptr<SharedFile> open(const fs::path& path, SharedAccess access,
                                     FileStatus& status) override {
        std::unique_ptr<SharedFile> file = m_system.open(path, access, status);
        return file ? std::make_unique<File>(*this, std::move(file)) : nullptr;
    }
    FileStatus remove(const fs::path& path) override { return m_system.remove(path); }
    FileStatus renameOver(const fs::path& from, const fs::path& to) override {
        return m_system.renameOver(from, to);
    }
    FileStatus inspect(const fs::path& path, FileInfo& info) override {
        return m_system.inspect(path, info);
    }
    FileStatus syncFolder(const fs::path& folder) override { return m_system.syncFolder(folder); }

    uint64_t bytesRead = 0;

private:
    class File : public SharedFile {
    public:
        File(ShareFiles& share, std::unique_ptr<SharedFile> file)
            : m_share(share), m_file(std::move(file)) {}
        FileStatus lockExclusive() override { return m_file->lockExclusive(); }
        FileStatus lockShared() override { return m_file->lockShared(); }
        FileStatus unlock() override { return m_file->unlock(); }
        FileStatus size(uint64_t& bytes) override { return m_file->size(bytes); }
        FileStatus readAt(uint64_t offset, void* buffer, size_t bytes, size_t& got) override {
            const FileStatus s = m_file->readAt(offset, buffer, bytes, got);
            m_share.bytesRead += got;
            m_share.transfer(got);
            return s;
        }
        FileStatus writeAt(uint64_t offset, const void* data, size_t bytes) override {
            const FileStatus s = m_file->writeAt(offset, data, bytes);
            if (s.ok()) m_share.transfer(bytes);
            return s;
        }
        FileStatus sync() override { return m_file->sync(); }
        FileStatus truncate(uint64_t length) override { return m_file->truncate(length); }
        FileStatus close() override { return m_file->close(); }
        FileIdentity identity() override { return m_file->identity(); }

    private:
        ShareFiles& m_share;
        std::unique_ptr<SharedFile> m_file;
    };

    void transfer(size_t bytes) const {
        if (m_secondsPerByte > 0)
            std::this_thread::sleep_for(
                std::chrono::duration<double>(m_secondsPerByte * static_cast<double>(bytes)));
    }

    test::SystemSharedFileSystem m_system;
    double m_secondsPerByte;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string hex(const ResultBytes& b) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : b) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

bool unhex(const std::string& text, ResultBytes& b) {
    if (text.size() != 2 * b.size()) return false;
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = static_cast<unsigned char>(std::stoi(text.substr(2 * i, 2), nullptr, 16));
    return true;
}

// UTF-8 with LF to CP932 with CR LF, as the demo installation holds them.
void installDemoFile(const fs::path& source, const fs::path& target) {
    std::ifstream in(source, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + source.string());
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    std::string crlf;
    for (char c : text) {
        if (c == '\r') continue;
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    writeCp932File(target, crlf);
}

// One simulated PC: the program's state and its services, a clock of the
// system's and waits that sleep, on the data folder at the share's speed.
struct Pc {
    test::FakeServices fakes;
    SystemClock clock;
    test::FakeEventPump events;
    ShareFiles* share; // owned by ctx
    Context ctx;
    HistogramCache histograms; // the criteria editor's, kept between keys
    std::mt19937 rng;
    std::FILE* report;
    bool readWhole = std::getenv("KESTREL_CLASSROOM_READ_WHOLE") != nullptr;

    Pc(const Options& o, const fs::path& school, int index, std::FILE* out)
        : share(new ShareFiles(o.mbit)),
          ctx(fakes.with(clock, events), std::unique_ptr<SharedFileSystem>(share), nullptr),
          rng(o.seed * 7919u + unsigned(index)), report(out) {
        events.sleepMicros = 10000; // a wait lets the screens run every 10 ms
        fakes.dialogs.echo = true;
        fakes.exit.endProcess = true; // a message that ends the program ends the PC
        ctx.folders.SharedFolder = withTrailingSeparator(genericUtf8OfPath(school));
        ctx.folders.DataFolder = withTrailingSeparator(genericUtf8OfPath(o.folder));
        ctx.config = sharedConfigFrom(
            readTenItems(school / pathFromUtf8(kSharedConfigFileName), kConfigPurpose));
        ctx.criteria = readCriteriaFile(school / pathFromUtf8(kCriteriaFileName));
        DefineProgram(ctx.program);
    }

    double uniform(double from, double to) {
        return std::uniform_real_distribution<double>(from, to)(rng);
    }
    void pause(double seconds) {
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }

    // A load of the log as a screen makes it, timed. With `readWhole` the
    // PC forgets what it read before, as the program did before it kept
    // its window (for figures to compare with).
    template <typename Load> void load(Load&& run) {
        if (readWhole) {
            ctx.resultsWindow.forget();
            histograms = HistogramCache{};
        }
        const auto start = std::chrono::steady_clock::now();
        run();
        std::fprintf(report, "load %.6f\n", secondsSince(start));
    }

    // The name screen, then the sign-in of the listed student at `index`
    // among the students (or among the teachers).
    void signIn(int index, bool teacher) {
        NameListState lists;
        load([&] { 名簿表示(ctx, lists); });
        std::vector<int> students;
        for (int p = 1; p <= ctx.roster.RosterCount; ++p) {
            const int s = ctx.roster.RosterNumbers[static_cast<size_t>(p)];
            if (isTeacherName(ctx.roster.StudentNames[static_cast<size_t>(s)]) == teacher)
                students.push_back(s);
        }
        if (students.empty()) throw std::runtime_error("no one to sign in in the demo roster");
        const int s = students[static_cast<size_t>(index) % students.size()];
        markSignIn(ctx.state, clock.now());
        ctx.state.CurrentStudentNumber = static_cast<int16_t>(s);
        ctx.state.CurrentStudentName = ctx.roster.StudentNames[static_cast<size_t>(s)];
        ctx.state.CurrentGradeLabel = ctx.roster.GradeLabels[static_cast<size_t>(s)];
        DefineLevelTable(ctx.program);
    }

    // The level menu's activation: the summary, the rankings of every level
    // and the levels open; what it read from the folder is reported.
    LevelAvailability activation(bool counted) {
        const uint64_t before = share->bytesRead;
        load([&] { BuildSummary(ctx); });
        if (counted)
            std::fprintf(report, "activation %llu\n",
                         (unsigned long long)(share->bytesRead - before));
        for (int level = 1; level <= ctx.program.LevelCount; ++level)
            buildRanking(ctx.roster, *ctx.summary, level, RankingBasis::PointsAll, "全学年",
                         ctx.state.CurrentStudentNumber);
        return levelAvailability(ctx.program, ctx.criteria, *ctx.summary,
                                 ctx.state.CurrentStudentNumber);
    }

    // One run of the drill at an open level, recorded; then the end screen.
    void run(const LevelAvailability& open, double pace) {
        std::vector<int> levels;
        for (int level = 1; level <= ctx.program.LevelCount; ++level)
            if (static_cast<size_t>(level) >= open.closed.size() ||
                !open.closed[static_cast<size_t>(level)])
                levels.push_back(level);
        const int level = levels[rng() % levels.size()];
        pause(pace * uniform(0.5, 1.5));
        const int32_t target = std::max<int32_t>(10, ctx.criteria[level].targetTime);
        ctx.state.CurrentLevel = static_cast<int16_t>(level);
        ctx.state.RunTime =
            rng() % 25 == 0 ? 99999 : static_cast<int32_t>(target * uniform(0.6, 2.5));
        const ResultRecord record = currentRunRecord(ctx, level);
        const auto start = std::chrono::steady_clock::now();
        const RecordOutcome outcome =
            RecordRun(*ctx.summary, ctx.criteria, resultsLog(ctx), record);
        std::fprintf(report, "append %.6f\n", secondsSince(start));
        if (!outcome.status.ok()) throw std::runtime_error(outcome.status.message);
        std::fprintf(report, "record %s\n", hex(encodeResultRecord(record)).c_str());
        std::fflush(report);
        load([&] { BuildSummary(ctx); }); // the end screen
    }
};

void studentPc(const Options& o, const fs::path& school, int index, std::FILE* report) {
    Pc pc(o, school, index, report);
    pc.signIn(index, false);
    LevelAvailability open = pc.activation(true);
    for (int r = 0; r < o.runs; ++r) {
        pc.run(open, o.pace);
        open = pc.activation(true);
    }
}

// The records the PCs wrote so far, as their reports list them.
std::vector<ResultBytes> writtenRecords(const fs::path& work, int pcs) {
    std::vector<ResultBytes> out;
    for (int i = 1; i <= pcs; ++i) {
        std::ifstream in(work / ("pc-" + std::to_string(i) + ".txt"));
        std::string word, text;
        while (in >> word >> text) {
            ResultBytes b{};
            if (word == "record" && unhex(text, b)) out.push_back(b);
        }
    }
    return out;
}

// The teacher: now and then a few keys in the criteria editor, a record
// of the PCs corrected, or one deleted; each time back to the menu.
void teacherPc(const Options& o, const fs::path& school, const fs::path& work, std::FILE* report) {
    Pc pc(o, school, 0, report);
    pc.signIn(0, true);
    pc.activation(false);
    const LogAccess log = resultsLog(pc.ctx);
    std::vector<ResultBytes> mine; // records as the teacher's corrections left them
    std::vector<ResultBytes> gone; // records the teacher changed or deleted
    const fs::path stop = work / "stop";
    for (int action = 0; !fs::exists(stop); ++action) {
        // A pause between actions, cut short when the PCs are done.
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::duration<double>(2 * o.pace * pc.uniform(0.5, 1.5));
        while (std::chrono::steady_clock::now() < until && !fs::exists(stop))
            pc.pause(0.05);
        if (fs::exists(stop)) break;
        if (action % 3 == 2) {
            for (int key = 0; key < 10; ++key) {
                TimeHistograms h;
                pc.load([&] {
                    cachedTimeHistograms(log, pc.ctx.resultsWindow, pc.histograms,
                                         1 + key % pc.ctx.program.LevelCount, h);
                });
                pc.pause(std::min(0.2, o.pace / 10));
            }
        } else {
            std::vector<ResultBytes> candidates = writtenRecords(work, o.pcs);
            candidates.insert(candidates.end(), mine.begin(), mine.end());
            std::erase_if(candidates, [&](const ResultBytes& b) {
                return std::find(gone.begin(), gone.end(), b) != gone.end();
            });
            if (candidates.empty()) continue;
            const ResultBytes chosen = candidates[pc.rng() % candidates.size()];
            // Where it stands now, among the records the teacher's list shows.
            pc.load([&] { LoadResults(pc.ctx); });
            const LogWindow& w = pc.ctx.resultsWindow;
            uint64_t number = 0;
            for (uint64_t k = w.windowRecords(); k > 0 && number == 0; --k)
                if (std::memcmp(w.bytes.data() + (k - 1) * kResultRecordSize, chosen.data(),
                                kResultRecordSize) == 0)
                    number = w.first + k;
            if (number == 0) continue;
            if (action % 3 == 0) {
                ResultRecord r = decodeResultRecord(chosen.data());
                r.seconds =
                    r.seconds == 99999 ? 30 : r.seconds + 1 + static_cast<int32_t>(pc.rng() % 9);
                const ResultBytes corrected = encodeResultRecord(r);
                const LogEditStatus s = correctResultRecord(log, number, chosen, corrected);
                if (s.result == EditResult::Failed) throw std::runtime_error(s.message);
                if (s.ok()) {
                    std::fprintf(report, "correct %s %s\n", hex(chosen).c_str(),
                                 hex(corrected).c_str());
                    gone.push_back(chosen);
                    mine.push_back(corrected);
                }
            } else {
                const LogEditStatus s = deleteResultRecord(log, number, chosen);
                if (s.result == EditResult::Failed) throw std::runtime_error(s.message);
                if (s.ok()) {
                    std::fprintf(report, "delete %s\n", hex(chosen).c_str());
                    gone.push_back(chosen);
                }
            }
            std::fflush(report);
        }
        pc.activation(false);
    }
}

#if KESTREL_CLASSROOM_TABLETS
// The peak memory of this process in kB, as Linux counts it.
long peakMemoryKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.starts_with("VmHWM:")) return std::stol(line.substr(6));
    return 0;
}

// The classroom server on a free port of the loopback, on the PCs' school
// and data folder; every record it writes is reported. It serves until the
// stop file appears.
void serverProcess(const Options& o, const fs::path& school, const fs::path& work,
                   std::FILE* report) {
    server::ServerSetup setup;
    setup.folders.SharedFolder = withTrailingSeparator(genericUtf8OfPath(school));
    setup.folders.DataFolder = withTrailingSeparator(genericUtf8OfPath(o.folder));
    setup.folders.SoundFolder = setup.folders.SharedFolder + kSoundFolderName + "/";
    setup.config = sharedConfigFrom(
        readTenItems(school / pathFromUtf8(kSharedConfigFileName), kConfigPurpose));
    setup.criteria = readCriteriaFile(school / pathFromUtf8(kCriteriaFileName));
    DefineProgram(setup.program);
    DefineLevelTable(setup.program);
    // Every simulated tablet comes from the same loopback address.
    setup.limits.requestsPerSecond = 1e6;
    setup.limits.requestBurst = 1e6;
    setup.limits.maxSessionsPerClient = setup.limits.maxSessions;
    // The children here answer at the simulation's pace (a tenth of it on
    // average, half that at the quickest): the floor follows it.
    setup.limits.minAnswerSeconds = std::min(setup.limits.minAnswerSeconds, o.pace / 20);
    std::mutex reporting;
    setup.recorded = [&](const ResultRecord& r, const std::string&) {
        const std::lock_guard lock(reporting);
        std::fprintf(report, "record %s\n", hex(encodeResultRecord(r)).c_str());
        std::fflush(report);
    };
    const server::ServerLimits limits = setup.limits;
    SystemClock clock;
    SystemRandom random;
    random.seed(o.seed);
    ShareFiles files(o.mbit);
    test::FakeEventPump events;
    events.sleepMicros = 10000;
    server::RandomDeviceIds ids;
    server::Server core(std::move(setup), {clock, random, files, events, ids});
    server::HttpSettings http;
    http.address = "127.0.0.1";
    http.port = 0;
    server::HttpFront front(core, limits, http);
    std::string error;
    if (!front.bind(error)) throw std::runtime_error(error);
    std::ofstream(work / "port.tmp") << front.port() << "\n";
    fs::rename(work / "port.tmp", work / "port");
    std::thread stopper([&] {
        while (!fs::exists(work / "stop"))
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        front.stop();
    });
    front.serve();
    stopper.join();
    std::fprintf(report, "memory %ld\n", peakMemoryKb());
}

// The answer of a problem as the page shows it, from its number and instruction.
std::string solve(const nlohmann::json& problem) {
    const int number = std::stoi(problem.at("qLabel1").get<std::string>());
    const std::string instruction = problem.at("Label10").get<std::string>();
    for (int type = 1; type <= 4; ++type)
        for (int place = 1; place <= 3; ++place)
            if (instructionText(type, place) == instruction)
                return std::to_string(
                    static_cast<long long>(makeProblem(type, number, place).CorrectAnswer));
    throw std::runtime_error("no problem has the instruction " + instruction);
}

// One tablet's browser: sign-in, then `runs` runs at open levels, each
// answered right with now and then a wrong answer first.
void tablet(const Options& o, int port, int index, std::FILE* report, std::mutex& reporting) {
    using nlohmann::json;
    httplib::Client client("127.0.0.1", port);
    client.set_tcp_nodelay(true); // as a browser sends its requests
    client.set_keep_alive(true);
    client.set_tcp_nodelay(true);
    client.set_read_timeout(60, 0);
    std::mt19937 rng(o.seed * 104729u + unsigned(index));
    std::string cookie;
    const auto send = [&](const std::string& method, const std::string& path, const json& body,
                          int expected) {
        httplib::Headers headers;
        if (!cookie.empty()) headers.emplace("Cookie", "kestrel_session=" + cookie);
        auto start = std::chrono::steady_clock::now();
        const auto once = [&] {
            start = std::chrono::steady_clock::now();
            return method == "GET" ? client.Get(path, headers)
                                   : client.Post(path, headers, body.dump(), "application/json");
        };
        httplib::Result r = once();
        for (;; r = once()) {
            if (!r) throw std::runtime_error(path + ": no answer from the server");
            // An answer sooner than a child's is held: the page sends it again.
            if (r->status == 425) {
                const int ms = json::parse(r->body).value("retryAfterMs", 100);
                std::this_thread::sleep_for(std::chrono::milliseconds(ms));
                continue;
            }
            // The log held by another PC: the page asks again a second later.
            if (r->status == 503 && r->has_header("Retry-After")) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                continue;
            }
            break;
        }
        const double seconds = secondsSince(start);
        // 0: a run started, or refused for a level closed meanwhile.
        const bool wanted =
            expected == 0 ? r->status == 201 || r->status == 403 : r->status == expected;
        if (!wanted)
            throw std::runtime_error(path + ": " + std::to_string(r->status) + " " + r->body);
        if (path.ends_with("/answer")) {
            // The last answer of a run waits for its record on disk as well.
            const bool last = r->body.find("\"end\"") != std::string::npos;
            const std::lock_guard lock(reporting);
            std::fprintf(report, "%s %.6f\n", last ? "last_answer" : "answer", seconds);
        }
        if (r->has_header("Set-Cookie")) {
            const std::string c = r->get_header_value("Set-Cookie");
            cookie = c.substr(c.find('=') + 1, c.find(';') - c.find('=') - 1);
        }
        return json::parse(r->body);
    };
    const json names = send("GET", "/api/names", nullptr, 200);
    const int lines = static_cast<int>(names.at("List1").size());
    if (lines < 2) throw std::runtime_error("no one to sign in in the demo roster");
    send("POST", "/api/signin", {{"line", 1 + index % (lines - 1)}}, 200);
    const auto pause = [&](double mean) {
        std::this_thread::sleep_for(std::chrono::duration<double>(
            mean * std::uniform_real_distribution<double>(0.5, 1.5)(rng)));
    };
    for (int r = 0; r < o.runs; ++r) {
        const json menu = send("GET", "/api/menu", nullptr, 200);
        std::vector<int> open;
        for (const json& level : menu.at("levels"))
            if (level.at("enabled").get<bool>()) open.push_back(level.at("level").get<int>());
        if (open.empty()) throw std::runtime_error("no level open");
        pause(o.pace);
        // The same student on a PC may close the level meanwhile: the menu again.
        const json run = send("POST", "/api/runs", {{"level", open[rng() % open.size()]}}, 0);
        if (!run.contains("run")) {
            --r;
            continue;
        }
        const std::string answers = "/api/runs/" + run.at("run").get<std::string>();
        json problem = run.at("problem");
        for (;;) {
            pause(o.pace / 10);
            if (rng() % 8 == 0) {
                const json wrong = send("POST", answers + "/answer",
                                        {{"entry", "1"}, {"seq", problem.at("seq")}}, 200);
                if (wrong.at("verdict") != "wrong") throw std::runtime_error("1 was right");
                problem = send("POST", answers + "/confirm", {{"seq", problem.at("seq")}}, 200)
                              .at("problem");
            }
            const json right = send("POST", answers + "/answer",
                                    {{"entry", solve(problem)}, {"seq", problem.at("seq")}}, 200);
            if (right.at("verdict") != "right")
                throw std::runtime_error("the right answer was judged " + right.dump());
            if (right.contains("end")) break;
            // The record waits for the log: the page asks until it is in.
            if (right.value("state", "") == "recording") {
                while (!send("GET", answers, nullptr, 200).contains("end"))
                    std::this_thread::sleep_for(std::chrono::milliseconds(200));
                break;
            }
            problem = right.at("problem");
        }
    }
}

void tabletsProcess(const Options& o, const fs::path& work, std::FILE* report) {
    int port = 0;
    for (int k = 0; k < 1000 && port == 0; ++k) {
        std::ifstream(work / "port") >> port;
        if (port == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (port == 0) throw std::runtime_error("the server did not start");
    std::mutex reporting;
    std::atomic<int> failures = 0;
    std::vector<std::thread> browsers;
    for (int i = 1; i <= o.tablets; ++i)
        browsers.emplace_back([&, i] {
            try {
                tablet(o, port, i, report, reporting);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "kestrel-classroom: tablet %d: %s\n", i, e.what());
                ++failures;
            }
        });
    for (std::thread& t : browsers)
        t.join();
    if (failures > 0)
        throw std::runtime_error(std::to_string(failures.load()) + " tablet(s) failed");
}

#endif

std::string readAll(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), {});
}

std::map<std::string, int64_t> recordsOf(const std::string& log) {
    std::map<std::string, int64_t> out;
    for (size_t at = 0; at + kResultRecordSize <= log.size(); at += kResultRecordSize)
        ++out[log.substr(at, kResultRecordSize)];
    return out;
}

// Whether 44 bytes read as a record another program could have written: a
// whole day number of the years 1900 to 9999, a time of day, a level and a
// student. Halves of two records put together fail this: their date's eight
// bytes come from two fields.
bool wellFormedRecord(const std::string& bytes) {
    const ResultRecord r = decodeResultRecord(reinterpret_cast<const unsigned char*>(bytes.data()));
    return std::isfinite(r.date) && r.date >= 1 && r.date <= 2958465 &&
           r.date == std::floor(r.date) && std::isfinite(r.timeOfDay) && r.timeOfDay >= 0 &&
           r.timeOfDay < 1 && r.level >= 1 && r.level <= 13 && r.studentNumber >= 1 &&
           r.seconds >= 0;
}

double percentile(std::vector<double> values, double p) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t rank = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size())));
    return values[std::clamp<size_t>(rank, 1, values.size()) - 1];
}

// One PC in this process ("pc-N" or "teacher"), its report in the working
// folder: the exit status.
int runPc(const Options& o) {
    const fs::path school = o.work / "school";
    std::FILE* report = std::fopen(utf8OfPath(o.work / (o.child + ".txt")).c_str(), "w");
    if (!report) return 1;
    int status = 0;
    try {
        if (o.child == "teacher") teacherPc(o, school, o.work, report);
#if KESTREL_CLASSROOM_TABLETS
        else if (o.child == "server")
            serverProcess(o, school, o.work, report);
        else if (o.child == "tablets")
            tabletsProcess(o, o.work, report);
#endif
        else
            studentPc(o, school, std::stoi(o.child.substr(3)), report);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrel-classroom: %s\n", e.what());
        status = 1;
    }
    std::fclose(report);
    return status;
}

// An argument as the system's command interpreter passes it on unchanged.
std::string quoted(const std::string& a) {
#ifdef _WIN32
    return "\"" + a + "\"";
#else
    std::string q = "'";
    for (char c : a)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
#endif
}

// Runs this program again as one PC: each PC is a process of its own, as
// in a classroom. The exit status, 0 when the PC did all it had to.
int startPc(const Options& o, const std::string& name) {
    std::string command = quoted(utf8OfPath(runningProgramFile()));
    for (const std::string& a : o.given)
        command += " " + quoted(a);
    command += " --child " + name + " --work " + quoted(utf8OfPath(o.work));
#ifdef _WIN32
    // cmd /c takes off the outermost quotes; the wide call keeps the names.
    return _wsystem(pathFromUtf8("\"" + command + "\"").wstring().c_str());
#else
    return std::system(command.c_str());
#endif
}

// A fresh folder of the simulator's own below the system's temporary folder.
fs::path makeWorkFolder() {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate =
            fs::temp_directory_path() / ("kestrel-classroom-" + std::to_string(random()));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) return candidate;
    }
    usage("cannot make a working folder");
}

} // namespace

int main(int argc, char** argv) {
    Options o = parseOptions(commandArguments(argc, argv));
    if (!o.child.empty()) return runPc(o);
    std::error_code ec;
    fs::create_directories(o.folder, ec);
    if (!fs::is_directory(o.folder)) usage("cannot make the folder " + utf8OfPath(o.folder));

    // The simulated school: the demo's roster, configuration and criteria.
    const fs::path work = o.work = makeWorkFolder();
    const fs::path school = work / "school";
    fs::create_directories(school);
    const fs::path demo =
        pathFromUtf8(KESTREL_DEMO_SOURCE_DIR) / "install" / pathFromUtf8("共有データ");
    try {
        for (const std::string name : {kRosterFile, kSharedConfigFileName})
            installDemoFile(demo / pathFromUtf8(name), school / pathFromUtf8(name));
        installDemoFile(demo / "Kestrel" / pathFromUtf8(kCriteriaFileName),
                        school / pathFromUtf8(kCriteriaFileName));
    } catch (const std::exception& e) {
        usage(e.what());
    }
    const fs::path logPath = o.folder / pathFromUtf8(kResultsLogName);
    const std::string before = readAll(logPath);

    std::fflush(nullptr);
    std::vector<std::thread> students;
    std::vector<int> status(static_cast<size_t>(o.pcs) + 1, 0);
    for (int i = 1; i <= o.pcs; ++i)
        students.emplace_back(
            [&, i] { status[static_cast<size_t>(i)] = startPc(o, "pc-" + std::to_string(i)); });
    std::thread teacher, server, tablets;
    int serverStatus = 0, tabletsStatus = 0;
    if (o.teacher) teacher = std::thread([&] { status[0] = startPc(o, "teacher"); });
    if (o.tablets > 0) {
        server = std::thread([&] { serverStatus = startPc(o, "server"); });
        tablets = std::thread([&] { tabletsStatus = startPc(o, "tablets"); });
    }
    for (std::thread& t : students)
        t.join();
    if (tablets.joinable()) tablets.join();
    std::ofstream(work / "stop") << "stop\n";
    if (teacher.joinable()) teacher.join();
    if (server.joinable()) server.join();
    int failed = 0;
    for (int s : status)
        if (s != 0) ++failed;
    if (serverStatus != 0) ++failed;
    if (tabletsStatus != 0) ++failed;

    // Every record the PCs wrote, as the teacher left it, must stand in
    // the log once; so must every record that stood there before.
    std::map<std::string, int64_t> expected = recordsOf(before);
    std::vector<double> appendWaits, loadWaits, activations, answers, lastAnswers;
    int64_t appended = 0, deleted = 0, tabletRecords = 0;
    long serverMemoryKb = 0;
    std::vector<std::string> reports = {"teacher.txt", "server.txt", "tablets.txt"};
    for (int i = 1; i <= o.pcs; ++i)
        reports.push_back("pc-" + std::to_string(i) + ".txt");
    for (const std::string& name : reports) {
        std::ifstream in(work / name);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string kind, a;
            words >> kind >> a;
            ResultBytes x{};
            if (kind == "append") appendWaits.push_back(std::stod(a));
            if (kind == "load") loadWaits.push_back(std::stod(a));
            if (kind == "activation") activations.push_back(std::stod(a));
            if (kind == "answer") answers.push_back(std::stod(a));
            if (kind == "last_answer") lastAnswers.push_back(std::stod(a));
            if (kind == "memory") serverMemoryKb = std::stol(a);
            if (kind == "record" && unhex(a, x)) {
                if (name == "server.txt") ++tabletRecords;
                ++appended;
                ++expected[std::string(x.begin(), x.end())];
            }
        }
    }
    {
        // The teacher's changes, in the order made.
        std::ifstream in(work / "teacher.txt");
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream words(line);
            std::string kind, a, b;
            words >> kind >> a >> b;
            ResultBytes x{}, y{};
            if (kind == "correct" && unhex(a, x) && unhex(b, y)) {
                --expected[std::string(x.begin(), x.end())];
                ++expected[std::string(y.begin(), y.end())];
            } else if (kind == "delete" && unhex(a, x)) {
                --expected[std::string(x.begin(), x.end())];
                ++deleted;
            }
        }
    }
    const std::string after = readAll(logPath);
    const std::map<std::string, int64_t> found = recordsOf(after);
    int64_t foundCount = 0, lost = 0, doubled = 0, foreign = 0;
    int64_t torn = after.size() % kResultRecordSize ? 1 : 0;
    const std::map<std::string, int64_t> earlier = recordsOf(before);
    const auto count = [](const std::map<std::string, int64_t>& m, const std::string& k) {
        const auto it = m.find(k);
        return it == m.end() ? int64_t{0} : it->second;
    };
    for (const auto& [bytes, want] : expected) {
        const int64_t have = count(found, bytes);
        // Those of the PCs: what stands beyond the records that were there before.
        foundCount += std::min(have, want) - std::min(have, count(earlier, bytes));
        lost += std::max<int64_t>(0, want - have);
        doubled += std::max<int64_t>(0, have - want);
    }
    // What the PCs did not write: another program's records, or torn ones.
    for (const auto& [bytes, have] : found)
        if (!expected.count(bytes)) (wellFormedRecord(bytes) ? foreign : torn) += have;

    std::printf(
        "{\"appended\": %lld, \"deleted\": %lld, \"found\": %lld, \"lost\": %lld, "
        "\"doubled\": %lld, \"torn\": %lld, \"foreign\": %lld, "
        "\"append_wait_p50_s\": %.3f, "
        "\"append_wait_p99_s\": %.3f, \"load_wait_p99_s\": %.3f, "
        "\"bytes_per_activation_median\": %.0f, \"bytes_per_activation_max\": %.0f, "
        "\"tablet_runs\": %lld, \"answer_round_trip_p50_ms\": %.1f, "
        "\"answer_round_trip_p99_ms\": %.1f, \"last_answer_round_trip_p50_ms\": %.1f, "
        "\"last_answer_round_trip_p99_ms\": %.1f, \"server_peak_memory_mb\": %.1f}\n",
        (long long)appended, (long long)deleted, (long long)foundCount, (long long)lost,
        (long long)doubled, (long long)torn, (long long)foreign, percentile(appendWaits, 0.5),
        percentile(appendWaits, 0.99), percentile(loadWaits, 0.99), percentile(activations, 0.5),
        percentile(activations, 1.0), (long long)tabletRecords, 1000 * percentile(answers, 0.5),
        1000 * percentile(answers, 0.99), 1000 * percentile(lastAnswers, 0.5),
        1000 * percentile(lastAnswers, 0.99), static_cast<double>(serverMemoryKb) / 1024.0);
    fs::remove_all(work, ec);
    if (failed > 0) std::fprintf(stderr, "kestrel-classroom: %d PC(s) failed\n", failed);
    const bool tabletsShort = tabletRecords != static_cast<int64_t>(o.tablets) * o.runs;
    if (tabletsShort)
        std::fprintf(stderr, "kestrel-classroom: the tablets' runs were not all recorded\n");
    return lost > 0 || doubled > 0 || torn > 0 || failed > 0 || tabletsShort ? 1 : 0;
}
