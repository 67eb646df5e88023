#include "ServerCheck.h"

#include <httplib.h>

#include <nlohmann/json.hpp>
#include <string>

namespace kestrel::doctor {

CheckLine checkServer(int port) {
    const std::string where = "http://127.0.0.1:" + std::to_string(port) + "/";
    httplib::Client client("127.0.0.1", port);
    client.set_connection_timeout(3, 0);
    client.set_read_timeout(10, 0);
    const httplib::Result r = client.Get("/api/names");
    if (!r)
        return {"server", Verdict::Warning, where,
                "教室サーバー（kestrel-server）はポート " + std::to_string(port) +
                    " で動いていません。タブレットで使うときは始めます"
                    "（systemctl enable --now kestrel-server）。"};
    const nlohmann::json body = nlohmann::json::parse(r->body, nullptr, false);
    if (r->status == 200 && body.is_object() && body.contains("List1") && body["List1"].is_array())
        return {"server", Verdict::Ok, where,
                "教室サーバーは動いていて、名前の一覧を答えます（" +
                    std::to_string(body["List1"].size() - 1) +
                    " 行）。タブレットのブラウザでこのパソコンのアドレスのポート " +
                    std::to_string(port) + " を開きます。"};
    std::string why = "状態 " + std::to_string(r->status);
    if (body.is_object() && body.contains("error") && body["error"].is_string())
        why = body["error"].get<std::string>();
    return {"server", Verdict::Error, where,
            "ポート " + std::to_string(port) +
                " のプログラムは答えますが、名前の一覧を出せません（" + why +
                "）。kestrel-server の画面の表示を見て、共有フォルダを直します。"};
}

} // namespace kestrel::doctor
