// The classroom server: the student's path (names, level menu, drill, end
// screen) for the browsers of the school network, writing the same results
// log by the same protocol as the desktop PCs.
//
//   kestrel-server [--folder DIR] [--port N] [--listen ADDR] [--any-client] [--qr FILE]
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
        {"[--folder フォルダ] [--port 番号] [--listen アドレス] [--any-client] [--qr ファイル]"},
        {{"--folder", K::Text, "フォルダ",
          "共有フォルダ。ないときはプログラムと同じように「パスデータ.txt」から探します"},
         {"--port", K::PositiveInteger, "番号", "待ち受けるポート番号（ないときは 8080）"},
         {"--listen", K::Text, "アドレス",
          "待ち受けるアドレス（ないときはこのコンピュータのすべてのアドレス）"},
         {"--any-client", K::Switch, "",
          "学校のネットワーク（プライベートアドレス）の外からの接続も受け付けます"},
         {"--qr", K::Text, "ファイル", "アドレスのQRコードを書くPNGファイル"}},
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
    setup.keptRunsFolders = keptRunsFolders();
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
    if (args.has("--listen")) http.address = args.value("--listen");
    HttpFront front(server, limits, http);
    std::string error;
    if (!front.bind(error)) return fail(error);

    std::vector<std::string> hosts;
    if (http.address == "0.0.0.0" || http.address == "::")
        hosts = localNetworkAddresses();
    else
        hosts.push_back(http.address);
    if (hosts.empty()) hosts.push_back("127.0.0.1");
    const std::string address =
        "http://" + hosts.front() + ":" + std::to_string(front.port()) + "/";

    std::cout << "kestrel-server: 成績の記録 " << dataFolder << "\n";
    if (pageFiles == 0) std::cout << "kestrel-server: ページのファイル（www）が見つかりません。\n";
    std::cout << "タブレットのブラウザで開くアドレス:\n";
    for (const std::string& h : hosts)
        std::cout << "  http://" << h << ":" << front.port() << "/\n";
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
    std::cout << "kestrel-server: 止めました。記録 " << server.recordsWritten()
              << " 件を書きました。" << std::endl;
    return cli::kExitOk;
}
