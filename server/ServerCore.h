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
    double sessionIdleSeconds = 1800;  // a session unused this long ends
    double runSilenceSeconds = 60;     // a run not heard of this long is abandoned
    bool anyClient = false;            // also serve addresses outside the private ranges
    uint64_t maxSoundBytes = 16 << 20; // a larger sound file is not served
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
    // Told of every record once it is on disk (for a log of the server's own).
    std::function<void(const ResultRecord&)> recorded;
    // Where a run the log cannot take waits on the server's PC.
    std::vector<std::filesystem::path> keptRunsFolders;
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

    // Handles one request; safe to call from several threads. One request
    // is handled at a time, except that a run's record waiting for a log
    // held by another PC lets the others in.
    Response handle(const Request& request);

    size_t sessionCount() const;
    // Records appended by this server since it started.
    uint64_t recordsWritten() const;

private:
    struct State;
    mutable std::mutex m_mutex; // before the state, whose waits release it
    std::unique_ptr<State> m_state;
};

} // namespace kestrel::server
