#include "ServerCheck.h"

#include <string>

namespace kestrel::doctor {

// A build without an HTTP client (the Windows build, for now) cannot ask
// the classroom server; it says so instead of reporting it as stopped.
CheckLine checkServer(int port) {
    return {"server", Verdict::Warning, "http://127.0.0.1:" + std::to_string(port) + "/",
            "この kestrel-doctor は教室サーバーを調べられません。タブレットのブラウザで"
            "このパソコンのアドレスのポート " +
                std::to_string(port) + " を開いて、名前の一覧が出るかを見ます。"};
}

} // namespace kestrel::doctor
