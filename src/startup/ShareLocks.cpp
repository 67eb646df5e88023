#include "startup/ShareLocks.h"

#include <array>
#include <filesystem>
#include <system_error>

#include "platform/Utf8Path.h"

namespace kestrel {
namespace {

struct TypeRow {
    std::string_view type;
    MountKind kind;
};

// Every type the program knows. FUSE types ("fuse", "fuse.<client>") are
// taken as a group below; "fuseblk" is a FUSE driver of a local disk.
constexpr std::array kTypes = {
    TypeRow{"ext2", MountKind::LocalDisk},
    TypeRow{"ext3", MountKind::LocalDisk},
    TypeRow{"ext4", MountKind::LocalDisk},
    TypeRow{"xfs", MountKind::LocalDisk},
    TypeRow{"btrfs", MountKind::LocalDisk},
    TypeRow{"f2fs", MountKind::LocalDisk},
    TypeRow{"jfs", MountKind::LocalDisk},
    TypeRow{"reiserfs", MountKind::LocalDisk},
    TypeRow{"nilfs2", MountKind::LocalDisk},
    TypeRow{"zfs", MountKind::LocalDisk},
    TypeRow{"bcachefs", MountKind::LocalDisk},
    TypeRow{"vfat", MountKind::LocalDisk},
    TypeRow{"msdos", MountKind::LocalDisk},
    TypeRow{"exfat", MountKind::LocalDisk},
    TypeRow{"ntfs", MountKind::LocalDisk},
    TypeRow{"ntfs3", MountKind::LocalDisk},
    TypeRow{"refs", MountKind::LocalDisk},
    TypeRow{"fuseblk", MountKind::LocalDisk},
    TypeRow{"hfs", MountKind::LocalDisk},
    TypeRow{"hfsplus", MountKind::LocalDisk},
    TypeRow{"udf", MountKind::LocalDisk},
    TypeRow{"iso9660", MountKind::LocalDisk},
    TypeRow{"squashfs", MountKind::LocalDisk},
    TypeRow{"erofs", MountKind::LocalDisk},
    TypeRow{"tmpfs", MountKind::LocalDisk},
    TypeRow{"ramfs", MountKind::LocalDisk},
    TypeRow{"overlay", MountKind::LocalDisk},
    TypeRow{"ecryptfs", MountKind::LocalDisk},

    TypeRow{"cifs", MountKind::SharedLocks},
    TypeRow{"smb3", MountKind::SharedLocks},
    TypeRow{"nfs", MountKind::SharedLocks},
    TypeRow{"nfs4", MountKind::SharedLocks},

    // The old smbfs never forwarded byte-range locks; folders a virtual
    // machine shares with its host, AFS and WebDAV keep them on the client.
    TypeRow{"smbfs", MountKind::LocksStayOnPc},
    TypeRow{"9p", MountKind::LocksStayOnPc},
    TypeRow{"vboxsf", MountKind::LocksStayOnPc},
    TypeRow{"vmhgfs", MountKind::LocksStayOnPc},
    TypeRow{"virtiofs", MountKind::LocksStayOnPc},
    TypeRow{"afs", MountKind::LocksStayOnPc},
    TypeRow{"davfs", MountKind::LocksStayOnPc},
    TypeRow{"coda", MountKind::LocksStayOnPc},
    TypeRow{"ncpfs", MountKind::LocksStayOnPc},
};

// The guide's line for /etc/fstab.
const char* const kCifsExample =
    "//server/kyouyuu  /mnt/kyouyuu  cifs  "
    "credentials=/etc/kestrel/smb-credentials,vers=3.0,uid=0,gid=kyoushitsu,"
    "file_mode=0664,dir_mode=0775,_netdev  0  0";

// What a teacher at a Windows PC does instead of mending a mount.
const char* const kWindowsShareFix =
    "共有フォルダには、学校のファイルサーバーの共有フォルダを \\\\サーバー名\\共有名\\フォルダ\\ "
    "のように書きます。インストーラーを /SHARED=\\\\サーバー名\\共有名\\フォルダ\\ で実行し"
    "なおすか、パスデータ.txt の1行目を直してから、もう一度起動してください（手引きの 14 章）。";

const char* const kDataLoss =
    "このままでは、2台のパソコンが同時に成績を記録したとき、たがいの成績を上書きして、"
    "成績が消えてしまいます。\r\n";

// A folder text as the teacher of this system writes it.
std::string written(std::string folder, FixSystem system) {
    if (system == FixSystem::Windows)
        for (char& c : folder)
            if (c == '/') c = '\\';
    return folder;
}

// A folder as the mount table is asked for it: absolute, its links resolved
// as far as it exists; as written when that fails.
std::string lookupPathOf(const std::string& folder) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(pathFromUtf8(folder), ec);
    if (!ec) path = std::filesystem::weakly_canonical(path, ec);
    return ec ? folder : utf8OfPath(path);
}

} // namespace

FixSystem thisFixSystem() {
    return systemNamesDrives() ? FixSystem::Windows : FixSystem::Linux;
}

MountKind kindOfMountType(std::string_view type) {
    for (const TypeRow& row : kTypes)
        if (row.type == type) return row.kind;
    if (type == "fuse" || type.starts_with("fuse.")) return MountKind::LocksStayOnPc;
    return MountKind::Unknown;
}

std::optional<LocalLocks> locksStayOnThisPc(const Mount& m) {
    const MountKind kind = kindOfMountType(m.type);
    if (kind == MountKind::LocalDisk) return std::nullopt;
    if (kind != MountKind::SharedLocks) return LocalLocks{{}, kind};
    const bool cifs = m.type == "cifs" || m.type == "smb3";
    for (const std::string& o : m.options) {
        if (cifs && o == "nobrl") return LocalLocks{o, kind};
        if (!cifs && (o == "nolock" || o == "local_lock=all" || o == "local_lock=posix"))
            return LocalLocks{o, kind};
    }
    return std::nullopt;
}

std::string localLocksMessage(const std::string& folder, const Mount& m, const LocalLocks& why,
                              FixSystem system) {
    const bool windows = system == FixSystem::Windows;
    std::string text = "共有フォルダ「" + written(folder, system) + "」は「" + m.source +
                       "」（種類 " + m.type + (windows ? "、ドライブ " : "、マウント先 ") +
                       m.mountPoint + "）にあります。\r\n";
    if (!why.option.empty())
        text += "このマウントは、ファイルのロックがほかのパソコンに伝わらない設定（" + why.option +
                "）になっています。";
    else if (why.kind == MountKind::Unknown)
        text += "この種類のファイルシステムでは、ファイルのロックがほかのパソコンに伝わるか"
                "どうか分かりません。";
    else if (windows)
        text += "この種類の接続（WebDAV の Web フォルダや、仮想マシンの共有フォルダ）では、ファイル"
                "のロックがこのパソコンの中だけで終わり、ほかのパソコンに伝わりません。";
    else
        text += "この種類のマウント（ファイルマネージャーの「サーバーへ接続」、smbnetfs、sshfs "
                "などの FUSE や、仮想マシンの共有フォルダ）では、ファイルのロックがこのパソコン"
                "の中だけで終わり、ほかのパソコンに伝わりません。";
    text += "\r\n";
    text += kDataLoss;
    if (windows) return text + kWindowsShareFix;
    if (!why.option.empty())
        text += "マウントのオプションから「" + why.option +
                "」を外してマウントしなおしてから、もう一度起動してください。";
    else
        text += "共有フォルダは、手引きのとおり cifs でマウントしなおしてから、もう一度起動して"
                "ください。";
    text += "\r\n/etc/fstab の例:\r\n";
    text += kCifsExample;
    return text;
}

std::string unreadableMountTableMessage(const std::string& table, const FileStatus& status,
                                        FixSystem system) {
    std::string text =
        (system == FixSystem::Windows ? "「" + table + "」" : "ファイル「" + table + "」") +
        "を読めません（" + status.description +
        "）。\r\n共有フォルダのマウントが分からないので、ファイルのロックがほかの"
        "パソコンに伝わるか確かめられません。成績が消えないように、プログラムを止め"
        "ます。\r\n";
    if (system == FixSystem::Windows)
        return text + "共有フォルダがこのパソコンのエクスプローラーで開けるかを確かめてから、もう"
                      "一度起動してください。開けないときは、このパソコンの管理者に相談して"
                      "ください。";
    return text + "このパソコンの管理者に、このファイルが読めるようにしてもらってから、もう一度"
                  "起動してください。";
}

std::string cloudFolderMessage(const std::string& folder, const CloudFolder& cloud,
                               FixSystem system) {
    std::string text = "共有フォルダ「" + written(folder, system) + "」は、" + cloud.client +
                       " が同期しています（「" + cloud.root + "」: " + cloud.sign + "）。\r\n" +
                       "クラウドの同期は、パソコンごとに書いたファイルをあとから送り合うだけで、"
                       "ファイルのロックはほかのパソコンに伝わりません。2台のパソコンが同時に成績を"
                       "記録すると、片方が「競合」したコピーになり、成績が消えてしまいます。\r\n";
    if (system == FixSystem::Windows)
        return text +
               "共有フォルダは、同期フォルダの外の、学校のファイルサーバーの共有フォルダに"
               "します。" +
               kWindowsShareFix;
    return text + "共有フォルダは、同期フォルダの外の、学校のファイルサーバーの共有を手引きの"
                  "とおり cifs でマウントしたフォルダにします。パスデータ.txt の1行目を直して"
                  "から、もう一度起動してください。";
}

std::optional<std::string> driveLetterWarning(const std::string& sharedFolder,
                                              const std::optional<std::string>& networkName) {
    const bool letter = sharedFolder.size() >= 2 && sharedFolder[1] == ':';
    if (!letter || !networkName || networkName->empty()) return std::nullopt;
    std::string unc = *networkName;
    if (unc.back() != '\\') unc += '\\';
    const std::string folder = written(sharedFolder, FixSystem::Windows);
    return "共有フォルダ「" + folder + "」は、ネットワークドライブ " + folder.substr(0, 2) +
           " にあります。\r\nドライブ文字の割り当ては Windows のユーザーごとのものなので、管理者"
           "として動くインストーラーや子どものアカウントには、その割り当てがないことがあります。"
           "そのパソコンでは共有フォルダが見つからず、プログラムが起動しません。\r\n"
           "インストーラーの /SHARED= やパスデータ.txt の1行目には、ドライブ文字ではなく「" +
           unc + "」と書いてください。";
}

FolderPlace folderPlace(MountTable& mounts, const AppFolders& folders) {
    FolderPlace place;
    if (const std::optional<CloudFolder> cloud =
            mounts.cloudFolderOf(lookupPathOf(folders.DataFolder)))
        place.refusal = cloudFolderMessage(folders.DataFolder, *cloud);
    place.warning =
        driveLetterWarning(folders.SharedFolder, mounts.networkNameOf(folders.SharedFolder));
    return place;
}

FolderMount mountOfFolder(MountTable& mounts, const std::string& folder) {
    FolderMount out;
    out.status = mounts.mountOf(lookupPathOf(folder), out.mount);
    return out;
}

std::optional<std::string> shareLockProblem(MountTable& mounts, const std::string& dataFolder) {
    const FolderMount m = mountOfFolder(mounts, dataFolder);
    if (!m.status.ok()) return unreadableMountTableMessage(mounts.source(), m.status);
    if (m.mount)
        if (const std::optional<LocalLocks> why = locksStayOnThisPc(*m.mount))
            return localLocksMessage(dataFolder, *m.mount, *why);
    return std::nullopt;
}

} // namespace kestrel
