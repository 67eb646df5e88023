#include "startup/ShareLocks.h"

namespace kestrel {

std::optional<std::string> localLockOption(const Mount& m) {
    const bool cifs = m.type == "cifs" || m.type == "smb3" || m.type == "smbfs";
    const bool nfs = m.type == "nfs" || m.type == "nfs4";
    for (const std::string& o : m.options) {
        if (cifs && o == "nobrl") return o;
        if (nfs && (o == "nolock" || o == "local_lock=all" || o == "local_lock=posix")) return o;
    }
    return std::nullopt;
}

std::string localLocksMessage(const std::string& folder, const Mount& m,
                              const std::string& option) {
    return "共有フォルダ「" + folder + "」は「" + m.source + "」（" + m.type + "、" + m.mountPoint +
           "）にありますが、ファイルのロックがほかのパソコンに伝わらない設定（" + option +
           "）でマウントされています。\r\nこのままでは、2台のパソコンが同時に成績を"
           "記録したとき、成績が消えてしまいます。\r\nマウントのオプションから「" +
           option + "」を外してマウントしなおしてから、もう一度起動してください。";
}

} // namespace kestrel
