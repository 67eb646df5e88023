#pragma once
// What the server's tests read from its replies: the JSON body, the session
// cookie, and the answer of the problem a reply shows.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "ServerCore.h"
#include "drill/Problem.h"

namespace kestrel::test {

inline nlohmann::json body(const server::Response& r) {
    return nlohmann::json::parse(r.body);
}

inline std::string cookieOf(const server::Response& r) {
    for (const auto& [k, v] : r.headers)
        if (k == "Set-Cookie" && v.starts_with("kestrel_session="))
            return v.substr(16, v.find(';') - 16);
    return {};
}

// The answer of the problem on the screen, from its number and instruction.
inline std::string solve(const nlohmann::json& problem) {
    const int number = std::stoi(problem["qLabel1"].get<std::string>());
    for (int type = 1; type <= 4; ++type)
        for (int place = 1; place <= 3; ++place)
            if (instructionText(type, place) == problem["Label10"].get<std::string>())
                return std::to_string(
                    static_cast<long long>(makeProblem(type, number, place).CorrectAnswer));
    ADD_FAILURE() << "no instruction matches " << problem.dump();
    return "0";
}

} // namespace kestrel::test
