// The classroom server: the student's path (names, level menu, drill, end
// screen) for the browsers of the school network, writing the same results
// log by the same protocol as the desktop PCs.
//
//   kestrel-server [--folder DIR] [--port N] [--listen ADDR] [--any-client] [--qr FILE]
//                  [--no-class-code] [--min-answer-ms N]
//
// Exit status: 0 stopped, 1 could not start, 2 a wrong command line.
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "HttpFront.h"
#include "QrCode.h"
#include "ServerCore.h"
#include "ServerStartup.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/NetworkAddresses.h"
#include "platform/Random.h"
#include "platform/RunningProgram.h"
#include "platform/StopSignals.h"
#include "platform/Terminal.h"
#include "platform/Utf8Path.h"
#include "setup/CommandLine.h"
#include "startup/Folders.h"

// This system's implementations of the platform's services.
#include "platform/SystemServices.h"

using namespace kestrel;
using namespace kestrel::server;

namespace {

constexpr int kDefaultPort = 8080;

const cli::CommandSpec& spec() {
    using K = cli::Option::Kind;
    static const cli::CommandSpec s{
        "kestrel-server",
        "教室のタブレットやパソコンのブラウザで、ドリルができるようにします。成績は共有フォルダの"
        "成績の記録に、教室のパソコンと同じように書きます。",
        {"[--folder フォルダ] [--port 番号] [--listen アドレス] [--any-client] [--qr ファイル]\n"
         "    [--no-class-code] [--min-answer-ms ミリ秒]"},
        {{"--folder", K::Text, "フォルダ",
          "共有フォルダ。ないときはプログラムと同じように「パスデータ.txt」から探します"},
         {"--port", K::PositiveInteger, "番号", "待ち受けるポート番号（ないときは 8080）"},
         {"--listen", K::Text, "アドレス",
          "待ち受けるアドレス（ないときはこのコンピュータのすべてのアドレス）"},
         {"--any-client", K::Switch, "",
          "学校のネットワーク（プライベートアドレス）の外からの接続も受け付けます"},
         {"--qr", K::Text, "ファイル", "アドレスのQRコードを書くPNGファイル"},
         {"--no-class-code", K::Switch, "",
          "クラスコードなしでサインインできるようにします（ないときは、始めるたびに4けたの"
          "クラスコードを決めて表示し、QRコードのアドレスに入れます）"},
         {"--min-answer-ms", K::PositiveInteger, "ミリ秒",
          "問題が出てから答えを受け付けるまでの最短の時間（ないときは 500、1000 まで）"}},
        "0 止めた、1 始められなかった、2 指定のまちがい"};
    return s;
}

int fail(const std::string& message) {
    std::cerr << "kestrel-server: " << message << "\n";
    return cli::kExitFailed;
}

} // namespace

int main(int argc, char** argv) {
    prepareTerminal();
    const cli::Arguments args = cli::parseArguments(spec(), commandArguments(argc, argv));
    if (!args.error.empty()) return cli::usageFailure(spec(), args.error);
    if (args.help) {
        std::cout << cli::helpText(spec());
        return cli::kExitOk;
    }
    const int port = args.has("--port") ? args.number("--port") : kDefaultPort;
    if (port > 65535) return cli::usageFailure(spec(), "ポート番号は 1 から 65535 までです。");
    if (args.has("--min-answer-ms") && args.number("--min-answer-ms") > 1000)
        return cli::usageFailure(
            spec(), "--min-answer-ms は 1000 までです（1 問 1 秒で答える子が待たされます）。");

    // Stop requests are taken by one thread from here on.
    holdStopSignals();

    ServerSetup setup;
    try {
        const std::unique_ptr<MountTable> mounts = systemMountTable();
        setup = loadServerSetup(runningProgramFile(), args.value("--folder"), mounts.get());
    } catch (const StartupError& e) {
        return fail(e.what());
    } catch (const FileError& e) {
        return fail(cli::fileErrorText(e));
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    setup.limits.anyClient = args.has("--any-client");
    if (args.has("--min-answer-ms"))
        setup.limits.minAnswerSeconds = args.number("--min-answer-ms") / 1000.0;
    setup.keptRunsFolders = keptRunsFolders();
    // Only the room's devices sign in: the code is shown in the room.
    if (!args.has("--no-class-code"))
        setup.classCode = std::to_string(1000 + std::random_device{}() % 9000);
    const std::string classCode = setup.classCode;
    // The names a browser of the school reaches this server by; any other
    // (a page of another site, by DNS rebinding) is refused.
    const std::string listen = args.has("--listen") ? args.value("--listen") : "0.0.0.0";
    std::vector<std::string> hosts;
    if (listen == "0.0.0.0" || listen == "::")
        hosts = localNetworkAddresses();
    else
        hosts.push_back(listen);
    if (hosts.empty()) hosts.push_back("127.0.0.1");
    setup.hosts = hosts;
    for (const char* loopback : {"localhost", "127.0.0.1", "::1"})
        setup.hosts.push_back(loopback);
    if (const std::string name = localHostName(); !name.empty()) {
        setup.hosts.push_back(name);
        if (name.find('.') == std::string::npos) setup.hosts.push_back(name + ".local");
    }
    // The server's own log: each record with the device that made it.
    setup.recorded = [](const ResultRecord& r, const std::string& client) {
        std::cout << "kestrel-server: 記録 番号 " << r.studentNumber << " レベル " << r.level << " "
                  << r.seconds << "秒 端末 " << client << std::endl;
    };
    const ServerLimits limits = setup.limits;
    const std::string dataFolder = setup.folders.DataFolder;
    const size_t pageFiles = setup.files.size();

    SystemClock clock;
    SystemRandom random;
    random.seed(static_cast<double>(std::random_device{}() % 86400));
    const std::unique_ptr<SharedFileSystem> files = systemFileSystem();
    SleepingPump pump;
    RandomDeviceIds ids;
    Server server(std::move(setup), {clock, random, *files, pump, ids});

    HttpSettings http;
    http.port = port;
    http.address = listen;
    HttpFront front(server, limits, http);
    std::string error;
    if (!front.bind(error)) return fail(error);

    const std::string query = classCode.empty() ? "" : "?code=" + classCode;
    const std::string address =
        "http://" + hosts.front() + ":" + std::to_string(front.port()) + "/" + query;

    std::cout << "kestrel-server: 成績の記録 " << dataFolder << "\n";
    if (pageFiles == 0) std::cout << "kestrel-server: ページのファイル（www）が見つかりません。\n";
    std::cout << "タブレットのブラウザで開くアドレス:\n";
    for (const std::string& h : hosts)
        std::cout << "  http://" << h << ":" << front.port() << "/" << query << "\n";
    if (!classCode.empty()) std::cout << "クラスコード: " << classCode << "\n";
    std::cout << qrTerminalText(address);
    const std::filesystem::path png =
        args.has("--qr") ? pathFromUtf8(args.value("--qr"))
                         : std::filesystem::temp_directory_path() / "kestrel-server-address.png";
    if (writeQrPng(address, png, 8, error))
        std::cout << "QRコードの画像: " << utf8OfPath(png) << "\n";
    else
        std::cout << "kestrel-server: " << error << "\n";
    std::cout << "止めるときは Ctrl+C を押します。" << std::endl;

    std::thread stopper([&front] {
        waitForStopSignal();
        front.stop();
    });
    stopper.detach();
    front.serve();
    server.stop();
    std::cout << "kestrel-server: 止めました。記録 " << server.recordsWritten()
              << " 件を書きました。" << std::endl;
    return cli::kExitOk;
}
