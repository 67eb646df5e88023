// The classroom server's request handling, fed whole requests. One input is
// one request: a method line, a path line, a query line (name=value&...),
// header lines up to an empty line, and the body. The server lives across
// inputs, so a corpus replays a session: sign-in, runs, answers. Whatever
// comes, every request is answered, nothing throws through, and the log
// holds exactly the records of the runs the server ran itself.
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "FuzzTarget.h"
#include "results/ResultRecord.h"
#include "server/ServerSchool.h"

using namespace kestrel;

namespace {

std::string_view takeLine(std::string_view& rest) {
    const size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    return line;
}

server::Fields splitFields(std::string_view text, char between, char equals) {
    server::Fields out;
    while (!text.empty()) {
        const size_t end = text.find(between);
        const std::string_view part = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
        const size_t eq = part.find(equals);
        if (eq == std::string_view::npos)
            out.emplace_back(std::string(part), std::string());
        else
            out.emplace_back(std::string(part.substr(0, eq)), std::string(part.substr(eq + 1)));
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static auto school = std::make_unique<test::ServerSchool>();
    std::string_view rest = fuzz::bytesOf(data, size);

    server::Request r;
    r.method = std::string(takeLine(rest));
    r.path = std::string(takeLine(rest));
    r.query = splitFields(takeLine(rest), '&', '=');
    for (std::string_view line = takeLine(rest); !line.empty(); line = takeLine(rest)) {
        const size_t colon = line.find(':');
        std::string_view value =
            colon == std::string_view::npos ? std::string_view{} : line.substr(colon + 1);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        r.headers.emplace_back(std::string(line.substr(0, colon)), std::string(value));
    }
    r.body = std::string(rest);
    r.client = "192.168.1.20";
    // Time moves on between requests, a little or past a run's limit.
    school->clock.advance(size % 7 == 0 ? 400 : 1);

    const server::Response out = school->server->handle(r);
    FUZZ_CHECK(out.status >= 200 && out.status < 500);
    if (out.status >= 400 && out.contentType.starts_with("application/json"))
        FUZZ_CHECK(nlohmann::json::parse(out.body, nullptr, false).contains("error"));
    FUZZ_CHECK(school->logBytes() == school->server->recordsWritten() * kResultRecordSize);
    return 0;
}
