#pragma once
// A school for the server's tests and its fuzz target: the demo's shared
// folder (roster, configuration, criteria, sound table, no runs yet) copied
// into a temporary installation, and a server on it with a fake clock, a
// seeded random source and counted ids, called without a network.
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "ServerCore.h"
#include "ServerStartup.h"
#include "platform/Utf8Path.h"
#include "support/Fakes.h"
#include "support/SystemFiles.h"
#include "text/Cp932.h"

namespace kestrel::test {

class CountingIds : public server::IdSource {
public:
    std::string newId() override { return "id" + std::to_string(++m_count); }

private:
    int m_count = 0;
};

class ServerSchool {
    TempDir m_root; // first made, last removed

public:
    explicit ServerSchool(const std::function<void(server::ServerSetup&)>& adjust = {}) {
        // The demo's texts are kept as UTF-8 with LF; a school's are CP932 with CR LF.
        const std::filesystem::path source =
            std::filesystem::path(KESTREL_DEMO_SOURCE_DIR) / "install";
        for (const auto& entry : std::filesystem::recursive_directory_iterator(source)) {
            if (!entry.is_regular_file()) continue;
            const std::filesystem::path out =
                m_root / std::filesystem::relative(entry.path(), source).string();
            std::filesystem::create_directories(out.parent_path());
            std::string text;
            for (char c : readBytes(entry.path())) {
                if (c == '\n' && (text.empty() || text.back() != '\r')) text += '\r';
                text += c;
            }
            writeCp932File(out, text);
        }
        std::filesystem::create_directories(m_root / "Kestrel");
        random.seed(17);
        server::ServerSetup setup =
            server::loadServerSetup(m_root / "Kestrel" / "kestrel-server", "", nullptr);
        // Answers come at the fake clock's pace; the floor has tests of its own.
        setup.limits.minAnswerSeconds = 0;
        if (adjust) adjust(setup);
        server = std::make_unique<server::Server>(
            std::move(setup), server::ServerServices{clock, random, files, events, ids});
    }

    std::filesystem::path root() const { return m_root.path(); }
    std::filesystem::path shared() const { return m_root / "共有データ"; }
    std::filesystem::path log() const {
        return shared() / "Kestrel" / pathFromUtf8("成績累積データ.dat");
    }
    uintmax_t logBytes() const {
        std::error_code ec;
        const uintmax_t n = std::filesystem::file_size(log(), ec);
        return ec ? 0 : n;
    }

    server::Response call(const std::string& method, const std::string& path,
                          const std::string& body = {}, const std::string& session = {},
                          server::Fields query = {}) {
        server::Request r;
        r.method = method;
        r.path = path;
        r.query = std::move(query);
        r.body = body;
        r.client = client;
        if (method == "POST") r.headers.push_back({"Content-Type", "application/json"});
        if (!session.empty()) r.headers.push_back({"Cookie", "kestrel_session=" + session});
        return server->handle(r);
    }

    FakeClock clock;
    SystemRandom random;
    FakeEventPump events{&clock};
    SystemSharedFileSystem files;
    CountingIds ids;
    std::string client = "192.168.1.20";
    std::unique_ptr<server::Server> server;
};

} // namespace kestrel::test
