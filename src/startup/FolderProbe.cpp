#include "startup/FolderProbe.h"

#include "platform/RunningProgram.h"
#include "text/Cp932.h"

namespace kestrel {
namespace {

std::string failureText(const char* step, const FileStatus& s) {
    return std::string(step) + "できません（" + s.description + "）";
}

} // namespace

std::string folderWriteProblem(SharedFileSystem& files, const std::filesystem::path& folder,
                               const std::string& prefix, FileInfo* made) {
    const std::string tag = processTag();
    const std::filesystem::path probe = folder / (prefix + "-probe-" + tag);
    const std::filesystem::path renamed = folder / (prefix + "-renamed-" + tag);
    FileStatus s;
    std::unique_ptr<SharedFile> file = files.open(probe, SharedAccess::Write, s);
    if (!file) return failureText("ファイルを作れません。作ることが", s);
    const char bytes[44] = {'k', 'e', 's', 't', 'r', 'e', 'l'};
    std::string problem;
    FileStatus written = file->writeAt(0, bytes, sizeof bytes);
    if (written.ok()) written = file->sync();
    // A close that fails after a write may have lost the write.
    const FileStatus closed = file->close();
    if (written.ok()) written = closed;
    if (!written.ok()) problem = failureText("ファイルに書きこめません。書きこみ", written);
    if (made) (void)files.inspect(probe, *made);
    if (problem.empty()) {
        s = files.renameOver(probe, renamed);
        if (!s.ok()) problem = failureText("ファイルの名前を変えられません。名前の変更が", s);
    }
    const std::filesystem::path last = problem.empty() ? renamed : probe;
    s = files.remove(last);
    if (!s.ok() && problem.empty()) problem = failureText("ファイルを消せません。消すことが", s);
    // Whatever failed above, no probe stays behind.
    (void)files.remove(probe);
    return problem;
}

std::string readOnlyDataFolderMessage(const std::filesystem::path& folder,
                                      const std::string& problem, bool windows) {
    std::string text = "データフォルダ「" + displayPath(folder) + "」に" + problem +
                       "。\r\nこのままでは、子どもがドリルを終えても成績を記録できません。"
                       "プログラムを止めます。\r\n";
    if (windows)
        return text + "共有フォルダの共有とフォルダのアクセス許可で、このパソコンを使うアカウント"
                      "（子どものアカウント）に「変更」が許可されているかを、学校のファイル"
                      "サーバーの管理者に確かめてもらってから、もう一度起動してください。"
                      "設定の確認（Kestrel 設定の確認）でも調べられます。";
    return text + "共有フォルダが読み取り専用（マウントのオプション ro）でマウントされていないか、"
                  "このパソコンのアカウントがフォルダとファイルに書きこめるか（マウントの uid、"
                  "gid、file_mode、dir_mode）を確かめてから、もう一度起動してください。"
                  "設定の確認（kestrel-doctor）でも調べられます。";
}

} // namespace kestrel
