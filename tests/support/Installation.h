#pragma once
// A complete installation in a temporary folder, as start-up expects it:
//   <root>/パスデータ.txt                    names the shared folder "共有データ\"
//   <root>/四捨五入/kestrel                  the program file (need not exist)
//   <root>/共有データ/共通データ.txt, 新名簿.txt
//   <root>/共有データ/四捨五入/タイム回数データ.txt
//   <root>/共有データ/音フォルダ/新音ファイル.txt
// Files are written as CP932 with CR LF; tests rewrite or remove them.
#include <filesystem>
#include <string>

#include "platform/Utf8Path.h"
#include "support/Fakes.h"
#include "text/Cp932.h"

namespace kestrel::test {

class Installation {
public:
    Installation() {
        write(kPathFile, "共有データ\\\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n9\r\n10\r\n");
        write(kConfigFile,
              "4\r\n12345テスト小学校\r\n0\r\n\r\n\r\nsensei\r\n7\r\n8\r\n9\r\n10\r\n");
        write(kCriteriaFile,
              "目標Time,最低Time,ｸﾘｱﾎﾟｲﾝﾄ,ｸﾘｱ回数,ﾎﾟｲﾝﾄ倍率,禁回,禁点,判期間,禁期間,,,\r\n"
              "60,120,300,10,1,30,0,7,1,,,\r\n"
              "90,180,300,10,1,30,0,7,1,,,\r\n"
              "120,240,400,10,1.5,0,0,14,1,,,\r\n"
              "150,300,400,10,2,20,500,14,1,,,\r\n"
              "200,400,500,10,2.5,0,0,30,1,,,\r\n");
        write(kSoundTableFile, "正解音2\r\nseikai\r\n*\r\n間違い音2\r\nmachigai\r\n*\r\n");
        write(kRosterFile, "1,2016,0,0,山田　花子,0,,\r\n2,2016,0,0,佐藤　一郎,0,,\r\n");
    }

    static constexpr const char* kPathFile = "パスデータ.txt";
    static constexpr const char* kConfigFile = "共有データ/共通データ.txt";
    static constexpr const char* kCriteriaFile = "共有データ/四捨五入/タイム回数データ.txt";
    static constexpr const char* kSoundTableFile = "共有データ/音フォルダ/新音ファイル.txt";
    static constexpr const char* kRosterFile = "共有データ/新名簿.txt";

    std::filesystem::path root() const { return m_root.path(); }
    // The root's "/" takes UTF-8 names (TempDir).
    std::filesystem::path programFile() const { return m_root / "四捨五入" / "kestrel"; }
    // The shared folder's text as start-up derives it: "/" between the names.
    std::string sharedFolder() const { return genericUtf8OfPath(m_root / "共有データ") + "/"; }
    std::filesystem::path file(const std::string& relative) const { return m_root / relative; }

    // Writes UTF-8 text as CP932 below the root, creating folders.
    void write(const std::string& relative, const std::string& text) const {
        std::filesystem::create_directories(file(relative).parent_path());
        writeCp932File(file(relative), text);
    }
    void remove(const std::string& relative) const { std::filesystem::remove(file(relative)); }
    // Copies the built command `built` beside the program file, as the package
    // installs it, and returns where it now is.
    std::filesystem::path installCommand(const std::filesystem::path& built) const {
        const auto to = programFile().parent_path() / built.filename();
        std::filesystem::create_directories(to.parent_path());
        std::filesystem::copy_file(built, to);
        std::filesystem::permissions(to, std::filesystem::perms::owner_all);
        return to;
    }

private:
    TempDir m_root;
};

} // namespace kestrel::test
