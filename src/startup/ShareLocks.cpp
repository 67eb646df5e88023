#include "startup/ShareLocks.h"

#include <array>
#include <filesystem>

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

} // namespace

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

std::string localLocksMessage(const std::string& folder, const Mount& m, const LocalLocks& why) {
    std::string text = "共有フォルダ「" + folder + "」は「" + m.source + "」（種類 " + m.type +
                       "、マウント先 " + m.mountPoint + "）にあります。\r\n";
    if (!why.option.empty())
        text += "このマウントは、ファイルのロックがほかのパソコンに伝わらない設定（" + why.option +
                "）になっています。";
    else if (why.kind == MountKind::Unknown)
        text += "この種類のファイルシステムでは、ファイルのロックがほかのパソコンに伝わるか"
                "どうか分かりません。";
    else
        text += "この種類のマウント（ファイルマネージャーの「サーバーへ接続」、smbnetfs、sshfs "
                "などの FUSE や、仮想マシンの共有フォルダ）では、ファイルのロックがこのパソコン"
                "の中だけで終わり、ほかのパソコンに伝わりません。";
    text += "\r\nこのままでは、2台のパソコンが同時に成績を記録したとき、たがいの成績を上書きして、"
            "成績が消えてしまいます。\r\n";
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

std::string unreadableMountTableMessage(const std::string& table, const FileStatus& status) {
    return "ファイル「" + table + "」を読めません（" + status.description +
           "）。\r\n共有フォルダのマウントが分からないので、ファイルのロックがほかのパソコンに"
           "伝わるか確かめられません。成績が消えないように、プログラムを止めます。\r\nこの"
           "パソコンの管理者に、このファイルが読めるようにしてもらってから、もう一度起動して"
           "ください。";
}

FolderMount mountOfFolder(MountTable& mounts, const std::string& folder) {
    std::error_code ec;
    std::filesystem::path path = std::filesystem::absolute(pathFromUtf8(folder), ec);
    if (!ec) path = std::filesystem::weakly_canonical(path, ec);
    FolderMount out;
    out.status = mounts.mountOf(ec ? folder : utf8OfPath(path), out.mount);
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
