// The server behind real HTTP on the loopback: what the library hands over
// (bodies, headers, the peer's address) reaches the request handling, and
// what the library refuses itself is answered in the server's own form.
#include <gtest/gtest.h>

#include <httplib.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "HttpFront.h"
#include "server/ServerSchool.h"

namespace kestrel::test {
namespace {

using json = nlohmann::json;

class HttpFrontTest : public ::testing::Test {
protected:
    HttpFrontTest() {
        server::HttpSettings settings;
        settings.address = "127.0.0.1";
        settings.port = 0;
        settings.threads = 4;
        front =
            std::make_unique<server::HttpFront>(*school.server, server::ServerLimits{}, settings);
        std::string error;
        bound = front->bind(error);
        serving = std::thread([this] { front->serve(); });
        client = std::make_unique<httplib::Client>("127.0.0.1", front->port());
    }
    ~HttpFrontTest() override {
        front->stop();
        serving.join();
    }

    ServerSchool school;
    std::unique_ptr<server::HttpFront> front;
    bool bound = false;
    std::thread serving;
    std::unique_ptr<httplib::Client> client;
};

TEST_F(HttpFrontTest, RequestsReachTheServerWithTheirBodiesAndCookies) {
    ASSERT_TRUE(bound);
    const httplib::Result names =
        client->Get("/api/names?mode=0&grade=%E5%85%A8%E5%AD%A6%E5%B9%B4");
    ASSERT_TRUE(names);
    EXPECT_EQ(names->status, 200);
    EXPECT_EQ(json::parse(names->body)["grade"], "全学年");

    const httplib::Result in = client->Post("/api/signin", R"({"line":2})", "application/json");
    ASSERT_TRUE(in);
    ASSERT_EQ(in->status, 200) << in->body;
    const std::string cookie = in->get_header_value("Set-Cookie");
    EXPECT_NE(cookie.find("HttpOnly"), std::string::npos);
    EXPECT_NE(cookie.find("SameSite=Strict"), std::string::npos);

    const httplib::Headers session{{"Cookie", cookie.substr(0, cookie.find(';'))}};
    const httplib::Result run =
        client->Post("/api/runs", session, R"({"level":1})", "application/json");
    ASSERT_TRUE(run);
    EXPECT_EQ(run->status, 201) << run->body;
    EXPECT_EQ(client->Get("/api/menu", session)->status, 200);
    EXPECT_EQ(client->Get("/api/menu")->status, 401);
}

TEST_F(HttpFrontTest, WhatTheLibraryRefusesIsAnsweredAsAnError) {
    ASSERT_TRUE(bound);
    const httplib::Result big =
        client->Post("/api/signin", std::string(100000, ' '), "application/json");
    ASSERT_TRUE(big);
    EXPECT_EQ(big->status, 413);
    EXPECT_TRUE(json::parse(big->body, nullptr, false).contains("error")) << big->body;
    const httplib::Result put = client->Put("/api/runs", "{}", "application/json");
    ASSERT_TRUE(put);
    EXPECT_EQ(put->status, 405);
    EXPECT_EQ(client->Get("/../共有データ/共通データ.txt")->status, 404);
    EXPECT_EQ(school.logBytes(), 0u);
}

// A second server started on the port of a running one is refused, on
// every system (Windows would otherwise let it take the port over), and
// the first keeps serving.
TEST_F(HttpFrontTest, ARunningServersPortIsNotTakenOver) {
    ASSERT_TRUE(bound);
    server::HttpSettings settings;
    settings.address = "127.0.0.1";
    settings.port = front->port();
    settings.threads = 1;
    ServerSchool other;
    server::HttpFront second(*other.server, server::ServerLimits{}, settings);
    std::string error;
    EXPECT_FALSE(second.bind(error));
    EXPECT_NE(error.find(std::to_string(front->port())), std::string::npos) << error;
    const httplib::Result names = client->Get("/api/names");
    ASSERT_TRUE(names);
    EXPECT_EQ(names->status, 200);
}

} // namespace
} // namespace kestrel::test
