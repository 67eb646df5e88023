#pragma once
// The classroom server's handling of one request, apart from the network:
// a request in, a response out. It serves the student's path (names, level
// menu, drill, end screen) to browsers as JSON whose keys are the desktop
// screens' element names, and it is the authority over every run: it draws
// the problems, judges the answers, measures the time with its own clock,
// applies the rules and appends the record to the shared results log by the
// same protocol as the desktop PCs. A request can only ever ask; it never
// brings a time, a verdict or a record.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/Random.h"
#include "platform/SharedFile.h"
#include "results/ResultRecord.h"
#include "sound/SoundCues.h"
#include "startup/AppFolders.h"
#include "startup/CriteriaTable.h"
#include "startup/ProgramDefinition.h"

namespace kestrel::server {

using Fields = std::vector<std::pair<std::string, std::string>>;

struct Request {
    std::string method; // "GET", "POST", ...
    std::string path;   // without the query
    Fields query;       // decoded names and values
    Fields headers;
    std::string body;
    std::string client; // the peer's address as text ("192.168.1.20", "::1")
};

struct Response {
    int status = 200;
    std::string contentType = "application/json; charset=utf-8";
    std::string body;
    Fields headers;
};

// What one client and one session may ask of the server.
struct ServerLimits {
    size_t maxBodyBytes = 4096;
    size_t maxHeaders = 64;
    size_t maxSessions = 120;
    int maxRunsPerSession = 200;       // runs started by one sign-in
    double requestsPerSecond = 20;     // per client address, on average
    double requestBurst = 60;          // requests one client may make at once
    size_t maxSessionsPerClient = 6;   // one address's sessions (the oldest idle one goes first)
    double sessionIdleSeconds = 1800;  // a session unused this long ends
    double runSilenceSeconds = 60;     // a run without a clock not heard of this long is let go
    bool anyClient = false;            // also serve addresses outside the private ranges
    uint64_t maxSoundBytes = 16 << 20; // a larger sound file is not served
    // An answer that comes sooner than this after its problem was shown is
    // held (425) and sent again by the page: no run is faster than ten of
    // these, and a child who answers a problem a second is never held.
    double minAnswerSeconds = 0.5;
    int maxCodeFailures = 5;       // wrong class codes of one address before it must wait
    double codeLockSeconds = 60;   // ... this long
    double recordWaitSeconds = 20; // a record the log does not take by then is kept on this PC
};

// A file of the page, loaded at start.
struct StaticFile {
    std::string contentType;
    std::string bytes;
};

// What the server knows from start-up: the school's folders and
// configuration, the levels, their criteria, the sound table and the page.
struct ServerSetup {
    AppFolders folders;
    SharedConfig config;
    ProgramDefinition program; // with the level table
    CriteriaTable criteria;
    SoundTable sounds;
    std::map<std::string, StaticFile> files; // by request path ("/index.html")
    ServerLimits limits;
    // Told of every record once it is on disk, with the address of the
    // device that made the run (the server's own log: the results log's
    // format has no place for it).
    std::function<void(const ResultRecord&, const std::string& client)> recorded;
    // Where a run the log cannot take waits on the server's PC.
    std::vector<std::filesystem::path> keptRunsFolders;
    // The code a device signs in with (printed by the server, carried by its
    // QR code); empty: none asked.
    std::string classCode;
    // The names and addresses this server answers to (a Host header or a
    // POST's Origin naming another is refused); empty: any.
    std::vector<std::string> hosts;
};

// New session and run ids: unguessable, 32 hexadecimal digits.
class IdSource {
public:
    virtual ~IdSource() = default;
    virtual std::string newId() = 0;
};
// From std::random_device.
class RandomDeviceIds : public IdSource {
public:
    std::string newId() override;
};

struct ServerServices {
    Clock& clock;   // the server's own clock: dates, run times
    Random& random; // the problems
    SharedFileSystem& files;
    EventPump& events; // the waits of the log's sharing protocol
    IdSource& ids;
};

// Whether an address is loopback or in a private range (10/8, 172.16/12,
// 192.168/16, 169.254/16, fc00::/7, fe80::/10, IPv4-mapped of those).
bool isPrivateAddress(const std::string& address);

class Server {
public:
    Server(ServerSetup setup, ServerServices services);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Handles one request; safe to call from several threads. No request
    // waits for the share while holding what another request needs: one
    // that needs the log while another PC holds it is answered as busy.
    Response handle(const Request& request);

    size_t sessionCount() const;
    // Records appended by this server since it started.
    uint64_t recordsWritten() const;
    // Records of ended runs still waiting for the log.
    size_t recordsWaiting() const;
    // At the server's end: what the log can take now goes in, the rest is
    // kept on this PC to go in at the next start.
    void stop();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace kestrel::server
