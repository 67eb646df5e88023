#include "setup/LockTest.h"

#include <chrono>
#include <ctime>
#include <sstream>
#include <thread>

#include "platform/Utf8Path.h"

namespace kestrel {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr double kStaleSeconds = 180; // a side's file older than this was left by a killed run
constexpr double kPollSeconds = 0.1;

struct Side {
    // "waiting", "holding", "free"; at the end "done", or "overlap" when it
    // saw both sides hold the lock; empty when it is gone
    std::string state;
    long round = 0;
};

class LockTest {
public:
    LockTest(SharedFileSystem& files, const LockTestOptions& o)
        : m_files(files), m_o(o),
          m_own(o.dataFolder / pathFromUtf8(std::string(kLockTestPrefix) + "-" + o.self)),
          m_lockFile(o.dataFolder / (std::string(kLockTestPrefix) + ".lock")) {}

    ~LockTest() { cleanUp(); }

    CheckLine run() {
        if (!announce("waiting", 0))
            return line(Verdict::Error, "データフォルダにファイルを作れません。--locks の試験は"
                                        "データフォルダに書きこめるアカウントで行います。");
        say("ロックの試験：もう 1 台のパソコンで、同じ共有フォルダに向けて kestrel-doctor --locks "
            "を始めてください。" +
            std::to_string(static_cast<int>(m_o.partnerWaitSeconds)) + " 秒まで待ちます。");
        if (!findPartner())
            return line(Verdict::Warning,
                        m_interrupted ? "とちゅうで止めたので、確かめられませんでした。"
                                      : "もう 1 台のパソコンが見つからず、確かめられませんでした。"
                                        "2 台で同時に kestrel-doctor --locks を始めます。");
        say("ロックの試験：相手のパソコン（" + m_partnerName + "）が見つかりました。試しています…");
        FileStatus s;
        m_lock = m_files.open(m_lockFile, SharedAccess::Write, s);
        if (!m_lock)
            return line(Verdict::Error, "試験のファイルを開けません（" + s.description + "）。");
        exchange();
        // The other side learns what this side saw, in case it did not see it itself.
        announce(m_bothHeld ? "overlap" : "done", m_round);
        if (m_lockFailure.ok()) waitForPartnerToFinish();
        if (m_bothHeld)
            return line(Verdict::Error,
                        "2 台のパソコンが同時に、同じファイルのロックを取れました。この共有フォルダ"
                        "では、ロックがそれぞれのパソコンの中だけで終わり、2 台が同時に成績を記録"
                        "すると、たがいの成績を上書きして、成績が消えます。共有フォルダを、手引きの"
                        "とおり cifs でマウントしなおします（/etc/fstab の例: //server/kyouyuu  "
                        "/mnt/kyouyuu  cifs  credentials=/etc/kestrel/smb-credentials,vers=3.0,"
                        "uid=0,gid=kyoushitsu,file_mode=0664,dir_mode=0775,_netdev  0  0）。");
        if (!m_lockFailure.ok())
            return line(Verdict::Error,
                        "試験のファイルのロックを取れません（" + m_lockFailure.description +
                            "）。この共有フォルダでは、プログラムが成績を記録できません。共有フォ"
                            "ルダを、手引きのとおり cifs でマウントしなおします。");
        if (m_interrupted)
            return line(Verdict::Warning, "とちゅうで止めたので、確かめられませんでした。");
        if (m_heldAlone > 0 && m_keptOut > 0)
            return line(Verdict::Ok, "ロックは 2 台の間で正しく働きます（このパソコンが " +
                                         std::to_string(m_heldAlone) +
                                         " 回取り、相手が持っている間は " +
                                         std::to_string(m_keptOut) + " 回とも取れませんでした）。");
        return line(Verdict::Warning,
                    "ロックが相手とのあいだで行き来せず、確かめられませんでした。もう一度、2 台で"
                    "同時に試します。");
    }

private:
    CheckLine line(Verdict v, const std::string& message) const {
        return {"locks", v, utf8OfPath(m_o.dataFolder), message};
    }

    void say(const std::string& text) const {
        if (m_o.say) m_o.say(text);
    }

    bool stopNow() {
        if (m_o.stopped && m_o.stopped()) m_interrupted = true;
        return m_interrupted;
    }

    // Sleeps in short steps, so that a stop is taken at once.
    bool pause(double seconds) {
        const auto until = Clock::now() + std::chrono::duration<double>(seconds);
        while (Clock::now() < until) {
            if (stopNow()) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return !stopNow();
    }

    // This side's state, written whole beside its file and renamed over it,
    // so that the other side never reads half of it.
    bool announce(const std::string& state, long round) {
        const fs::path next = sideFileNext();
        const std::string text = state + ' ' + std::to_string(round) + '\n';
        FileStatus s;
        std::unique_ptr<SharedFile> out = m_files.open(next, SharedAccess::Write, s);
        if (!out) return false;
        m_announced = true;
        s = out->truncate(0);
        if (s.ok()) s = out->writeAt(0, text.data(), text.size());
        const FileStatus closed = out->close();
        return s.ok() && closed.ok() && m_files.renameOver(next, m_own).ok();
    }

    // Where this side's next state is written before it is renamed.
    fs::path sideFileNext() const {
        fs::path next = m_own;
        next += ".new";
        return next;
    }

    Side partner() {
        Side side;
        std::string text;
        if (!readWholeFile(m_files, m_partner, text).ok()) return side;
        std::istringstream in(text);
        in >> side.state >> side.round;
        return side;
    }

    bool isSideFile(const fs::path& p) const {
        const std::string name = utf8OfPath(p.filename());
        const std::string prefix = std::string(kLockTestPrefix) + "-";
        return name.starts_with(prefix) && !name.ends_with(".new") && p != m_own;
    }

    bool findPartner() {
        const auto until = Clock::now() + std::chrono::duration<double>(m_o.partnerWaitSeconds);
        while (Clock::now() < until) {
            std::error_code ec;
            for (const fs::directory_entry& e : fs::directory_iterator(m_o.dataFolder, ec)) {
                if (!isSideFile(e.path())) continue;
                FileInfo info;
                if (!m_files.inspect(e.path(), info).ok()) continue;
                // What a killed run left is the test's own: removed.
                if (std::difftime(std::time(nullptr),
                                  static_cast<std::time_t>(info.modifiedSeconds)) > kStaleSeconds) {
                    (void)m_files.remove(e.path());
                    continue;
                }
                m_partner = e.path();
                m_partnerName =
                    utf8OfPath(e.path().filename()).substr(std::string(kLockTestPrefix).size() + 1);
                const std::string state = partner().state;
                if (state != "done" && state != "overlap") return true;
            }
            if (!pause(0.5)) return false;
        }
        return false;
    }

    void exchange() {
        const auto until = Clock::now() + std::chrono::duration<double>(m_o.testSeconds);
        // The two sides start their tries at different moments.
        const double stagger = (std::hash<std::string>{}(m_o.self) % 7) * 0.05;
        if (!pause(stagger)) return;
        while (Clock::now() < until && !m_bothHeld && !stopNow()) {
            const Side other = partner();
            if (other.state == "overlap") m_bothHeld = true;
            if (other.state.empty() || other.state == "done" || other.state == "overlap")
                return; // it has finished
            if (m_heldAlone >= 1 && m_keptOut >= 1) return;
            const FileStatus s = m_lock->lockExclusive();
            if (s.ok()) {
                ++m_round;
                announce("holding", m_round);
                // Longer than a share's caches lag: what the other side's file
                // says now was written while this side held the lock.
                if (!pause(m_o.holdSeconds * 0.8)) {
                    release();
                    return;
                }
                const Side during = partner();
                if (during.state == "holding")
                    m_bothHeld = true;
                else
                    ++m_heldAlone;
                pause(m_o.holdSeconds * 0.2);
                announce("free", m_round);
                if (!release()) return;
                if (!pause(0.4 + stagger)) return;
            } else if (s.fault == FileFault::Sharing) {
                if (other.state == "holding") ++m_keptOut;
                if (!pause(kPollSeconds)) return;
            } else {
                m_lockFailure = s; // no lock at all: what the test is there to find
                return;
            }
        }
    }

    // Lets go of the lock; a lock that stays held ends the test with what it
    // has seen, as the other side can no longer take it.
    bool release() {
        const FileStatus s = m_lock->unlock();
        if (!s.ok()) m_lockFailure = s;
        return s.ok();
    }

    void waitForPartnerToFinish() {
        // The other side reads this side's file until it is done too.
        const auto until = Clock::now() + std::chrono::seconds(5);
        while (Clock::now() < until) {
            const Side other = partner();
            if (other.state == "overlap") m_bothHeld = true;
            if (other.state.empty() || other.state == "done" || other.state == "overlap") return;
            if (!pause(0.2)) return;
        }
    }

    void cleanUp() {
        // Closing a descriptor only read and locked loses nothing.
        if (m_lock) (void)m_lock->close();
        m_lock.reset();
        std::error_code ec;
        if (m_announced) {
            (void)m_files.remove(m_own);
            (void)m_files.remove(sideFileNext());
        }
        // The last side to leave removes the lock's probe file.
        bool others = false;
        for (const fs::directory_entry& e : fs::directory_iterator(m_o.dataFolder, ec))
            if (isSideFile(e.path())) others = true;
        if (!others) (void)m_files.remove(m_lockFile);
    }

    SharedFileSystem& m_files;
    const LockTestOptions& m_o;
    fs::path m_own, m_lockFile, m_partner;
    std::string m_partnerName;
    std::unique_ptr<SharedFile> m_lock;
    bool m_announced = false, m_bothHeld = false, m_interrupted = false;
    long m_round = 0;
    int m_heldAlone = 0, m_keptOut = 0;
    FileStatus m_lockFailure = FileStatus::success();
};

} // namespace

CheckLine runLockTest(SharedFileSystem& files, const LockTestOptions& options) {
    LockTest test(files, options);
    return test.run();
}

} // namespace kestrel
