#include "setup/SetupCheck.h"

#include <algorithm>
#include <exception>
#include <map>
#include <optional>
#include <string>

#include "setup/Checks.h"

namespace kestrel {
namespace {

const char* verdictWord(Verdict v) {
    switch (v) {
    case Verdict::Ok:
        return "OK";
    case Verdict::Warning:
        return "注意";
    case Verdict::Error:
        return "エラー";
    }
    return "";
}

const char* verdictKey(Verdict v) {
    switch (v) {
    case Verdict::Ok:
        return "ok";
    case Verdict::Warning:
        return "warning";
    case Verdict::Error:
        return "error";
    }
    return "";
}

std::string jsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20) {
                static const char* const hex = "0123456789abcdef";
                out += "\\u00";
                out += hex[u >> 4];
                out += hex[u & 15];
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

// A message's line breaks as blanks: one line of the report per check line.
std::string oneLine(std::string text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') continue;
        out += text[i] == '\n' ? ' ' : text[i];
    }
    return out;
}

} // namespace

ScreenFonts linuxScreenFonts() {
    return {{"IPAGothic", "IPAPGothic", "IPAMincho", "IPAPMincho"},
            "IPA ゴシック、IPA 明朝と数字の BIZ UDGothic",
            "sudo apt install fonts-ipafont-gothic fonts-ipafont-mincho で入れます。",
            "BIZ UDGothic",
            "IPAGothic で書かれ、0 に斜線が入るので、ヒントで消した数字とまちがえやすくなります。"
            "sudo apt install fonts-morisawa-bizud-gothic で入れます。"};
}

std::vector<CheckLine> runSetupCheck(SetupCheckContext& context) {
    setup::Report report;
    // A check that fails in a way of its own (a folder it may not enter, say)
    // is that check's error; the others still run.
    auto guarded = [&report](const char* check, const auto& run) {
        try {
            run();
        } catch (const std::exception& e) {
            report.add(check, Verdict::Error, "",
                       std::string("確かめるとちゅうで止まりました（") + e.what() +
                           "）。ファイルとフォルダの権限を確かめます。");
        }
    };
    std::optional<AppFolders> folders;
    guarded("path-file", [&] { folders = setup::checkPathFile(report, context.programFile); });
    if (!folders) return report.lines;
    std::optional<SharedConfig> config;
    guarded("shared-config", [&] { config = setup::checkSharedConfig(report, *folders); });
    // Without the configuration the roster is checked with the usual
    // school year from April.
    SharedConfig fallback;
    fallback.SchoolYearStartMonth = "4";
    if (config)
        guarded("password",
                [&] { setup::checkPassword(report, *folders, *config, context.files); });
    guarded("roster", [&] {
        setup::checkRoster(report, *folders, config ? *config : fallback, context.clock.today());
    });
    guarded("criteria", [&] { setup::checkCriteria(report, *folders); });
    guarded("sounds", [&] { setup::checkSounds(report, *folders, context.probes); });
    guarded("fonts", [&] { setup::checkFonts(report, context.probes); });
    guarded("program-menu", [&] { setup::checkProgramMenu(report, *folders); });
    guarded("data-folder", [&] { setup::checkDataFolder(report, *folders, context.files); });
    guarded("mount", [&] { setup::checkMount(report, *folders, context.probes); });
    guarded("results-log", [&] { setup::checkResultsLog(report, *folders, context); });
    guarded("kept-runs", [&] { setup::checkKeptRuns(report, *folders, context); });
    return report.lines;
}

bool hasErrors(const std::vector<CheckLine>& lines) {
    return std::any_of(lines.begin(), lines.end(),
                       [](const CheckLine& l) { return l.verdict == Verdict::Error; });
}

std::string checkTitle(const std::string& check) {
    static const std::map<std::string, std::string> titles = {
        {"path-file", "パスデータ"},
        {"shared-config", "共通データ"},
        {"password", "パスワード"},
        {"roster", "名簿"},
        {"criteria", "基準"},
        {"sounds", "音"},
        {"fonts", "字体"},
        {"program-menu", "プログラムメニュー"},
        {"data-folder", "データフォルダ"},
        {"mount", "マウント"},
        {"results-log", "成績の記録"},
        {"kept-runs", "記録待ちの成績"},
        {"locks", "ロックの試験"},
        {"server", "教室サーバー"},
    };
    const auto it = titles.find(check);
    return it == titles.end() ? check : it->second;
}

std::string reportText(const std::vector<CheckLine>& lines) {
    std::string out;
    for (const CheckLine& l : lines) {
        // Padded to one width on a terminal: "OK" takes two columns, "注意"
        // four and "エラー" six.
        out += verdictWord(l.verdict);
        out += l.verdict == Verdict::Ok ? "      " : l.verdict == Verdict::Warning ? "    " : "  ";
        out += checkTitle(l.check);
        if (!l.file.empty()) out += "（" + l.file + "）";
        out += "：" + oneLine(l.message) + "\n";
    }
    return out;
}

std::string reportJson(const std::vector<CheckLine>& lines) {
    std::string out = "{\"checks\": [";
    for (size_t i = 0; i < lines.size(); ++i) {
        const CheckLine& l = lines[i];
        out += i == 0 ? "\n  " : ",\n  ";
        out += "{\"check\": " + jsonString(l.check) + ", \"verdict\": \"" + verdictKey(l.verdict) +
               "\", \"file\": " + jsonString(l.file) + ", \"message\": " + jsonString(l.message) +
               "}";
    }
    return out + (lines.empty() ? "]}\n" : "\n]}\n");
}

} // namespace kestrel
