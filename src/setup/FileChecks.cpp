// The checks of the installation's text files: the path file, the shared
// configuration and its password, the roster, the criteria, the sounds,
// the fonts and the program menu.
#include "levelmenu/LevelMenu.h"
#include "platform/PasswordHash.h"
#include "platform/ProcessLauncher.h"
#include "platform/Utf8Path.h"
#include "roster/Grades.h"
#include "roster/ProgramMenu.h"
#include "roster/RosterChecks.h"
#include "setup/Checks.h"
#include "setup/CommandLine.h"
#include "sound/SoundCues.h"
#include "startup/CriteriaTable.h"
#include "startup/Folders.h"
#include "startup/ProgramDefinition.h"
#include "text/Characters.h"
#include "text/ItemReader.h"
#include "text/LeadingNumber.h"

namespace kestrel::setup {
namespace {

namespace fs = std::filesystem;

bool isDirectory(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

// A cell of column 1..9 that the criteria editor would refuse, in words
// that say what the program makes of it and what to write instead.
std::optional<std::string> oddCriteriaCell(int column, const std::string& cell) {
    const std::optional<std::string> expected = criteriaCellExpectation(column, cell);
    if (!expected) return std::nullopt;
    const std::string text = trimBlanks(cell);
    const std::string caption = standardCriteriaCaptions()[static_cast<size_t>(column - 1)] + "（" +
                                std::to_string(column) + " 列目）";
    if (text.empty()) return caption + "が空です。" + *expected + "にします。";
    return caption + "の「" + text + "」は " + plainNumber(criteriaValue(text)) +
           " と読まれます。" + *expected + "にします。";
}

} // namespace

namespace {

std::string whoMay(SharedFileSystem& files, const fs::path& path, bool writing) {
    FileInfo info;
    if (!files.inspect(path, info).ok()) return "（調べられません）";
    std::string who = "所有者 " + info.owner;
    if (writing ? info.groupMayWrite : info.groupMayRead)
        who += "、グループ " + info.group + " のアカウント";
    if (writing ? info.othersMayWrite : info.othersMayRead)
        who += "、このパソコンのほかのすべてのアカウント";
    return who;
}

} // namespace

std::string whoMayRead(SharedFileSystem& files, const fs::path& path) {
    return whoMay(files, path, false);
}

std::string whoMayWrite(SharedFileSystem& files, const fs::path& path) {
    return whoMay(files, path, true);
}

std::optional<AppFolders> checkPathFile(Report& report, const fs::path& programFile) {
    const std::string programFolder = programFolderOf(programFile);
    const fs::path pathFile = pathFromUtf8(pathFileFolderOf(programFolder), kPathFileName);
    AppFolders folders;
    try {
        folders =
            foldersFromPathItems(readTenItems(pathFile, kPathFilePurpose), programFile, pathFile);
    } catch (const StartupError& e) {
        report.add("path-file", Verdict::Error, pathFile,
                   std::string(e.what()) +
                       "\r\nほかの項目は、このファイルを直してから確かめます。");
        return std::nullopt;
    }
    if (!isDirectory(pathFromUtf8(folders.SharedFolder))) {
        report.add("path-file", Verdict::Error, pathFile,
                   "1 項目目の共有フォルダ「" + folders.SharedFolder +
                       "」がありません。マウントされているか、名前がまちがっていないか確かめます。"
                       "ほかの項目は、共有フォルダが見つかってから確かめます。");
        return std::nullopt;
    }
    report.add("path-file", Verdict::Ok, pathFile,
               "10 項目あり、共有フォルダ「" + folders.SharedFolder + "」があります。");
    return folders;
}

std::optional<SharedConfig> checkSharedConfig(Report& report, const AppFolders& folders) {
    const fs::path file = pathFromUtf8(folders.SharedFolder, kSharedConfigFileName);
    SharedConfig config;
    try {
        config = sharedConfigFrom(readTenItems(file, kConfigPurpose));
    } catch (const StartupError& e) {
        report.add("shared-config", Verdict::Error, file, e.what());
        return std::nullopt;
    }
    bool sound = true;
    const double month = leadingNumber(config.SchoolYearStartMonth);
    if (month < 1 || month > 12 || month != std::floor(month)) {
        report.add(
            "shared-config", Verdict::Warning, file,
            "1 項目目（年度の始まりの月）「" + config.SchoolYearStartMonth +
                "」が 1 から 12 の月ではありません。学年の計算がずれます。ふつうは 4 です。");
        sound = false;
    }
    const std::string& code = config.SchoolCode;
    bool digits = code.size() == 5;
    for (char c : code)
        digits = digits && c >= '0' && c <= '9';
    if (code.empty()) {
        report.add("shared-config", Verdict::Warning, file,
                   "2 項目目「" + config.items[1] +
                       "」に 5 けたの学校番号がありません。成績に学校番号が入らず、成績の一覧"
                       "（データ変更）では、すべての記録が「他塾」になります。学校名の前に 5 けたの"
                       "番号を書きます（例: 12345さくら台小学校）。");
        sound = false;
    } else if (!digits) {
        report.add("shared-config", Verdict::Warning, file,
                   "2 項目目「" + config.items[1] + "」の初めの 5 文字「" + code +
                       "」が学校番号になり、学校名は「" + config.SchoolName +
                       "」になります。学校番号は 5 けたの半角数字で書きます。");
        sound = false;
    }
    if (sound)
        report.add("shared-config", Verdict::Ok, file,
                   "10 項目あります。学校番号 " + code + "、学校名「" + config.SchoolName +
                       "」、年度は " + config.SchoolYearStartMonth + " 月から。");
    return config;
}

void checkPassword(Report& report, const AppFolders& folders, const SharedConfig& config,
                   SharedFileSystem& files) {
    const fs::path file = pathFromUtf8(folders.SharedFolder, kSharedConfigFileName);
    const std::string& stored = config.TeacherPassword;
    if (stored.empty()) {
        report.add(
            "password", Verdict::Warning, file,
            "6 項目目（先生のパスワード）が空です。先生の名前で入れば、だれでも成績の変更と"
            "消去ができます。kestrel-doctor --hash-password で作った行を 6 項目目に書きます。");
    } else if (!isPasswordHash(stored)) {
        report.add(
            "password", Verdict::Warning, file,
            "6 項目目（先生のパスワード）が、そのまま書いてあります。このファイルを読める人（" +
                whoMayRead(files, file) +
                "）は、だれでもパスワードを読めます。kestrel-doctor --hash-password で作った"
                "行（$y$ で始まるハッシュ）に書きかえます。");
    } else {
        report.add(
            "password", Verdict::Ok, file,
            "先生のパスワードは、ハッシュで書いてあります（読んでもパスワードは分かりません）。");
    }
}

void checkRoster(Report& report, const AppFolders& folders, const SharedConfig& config,
                 const CivilDate& today) {
    const fs::path file = pathFromUtf8(folders.SharedFolder, kRosterFile);
    std::string text;
    try {
        text = readCp932File(file);
    } catch (const FileError& e) {
        report.add("roster", Verdict::Error, file,
                   cli::fileErrorText(e) + "\r\n名前の画面は、名簿を読めずに止まります。");
        return;
    }
    const std::vector<RosterRow> rows = rosterRows(text);
    RosterCheckSettings settings;
    settings.schoolYear = schoolYearOf(today.year, today.month, startMonthOf(config));
    settings.listStatus2 = leadingNumber(config.ListStatus2Entries) == 1;
    const std::vector<RosterFinding> findings = checkRosterRows(rows, settings);
    for (const RosterFinding& f : findings)
        report.add("roster", f.level == FindingLevel::Error ? Verdict::Error : Verdict::Warning,
                   file, f.message);
    if (rows.empty())
        report.add("roster", Verdict::Error, file,
                   "名簿にだれもいません。名前の画面には、だれも出ず、だれも始められません。前の"
                   "名簿が「新名簿_年月日_時分秒.txt」の名前で残っていれば、それを新名簿.txt に"
                   "もどすか、kestrel-roster --from で作りなおします。");
    else if (findings.empty())
        report.add("roster", Verdict::Ok, file,
                   std::to_string(rows.size()) + " 人の名簿です（" +
                       std::to_string(settings.schoolYear) + "年度）。");
}

void checkCriteria(Report& report, const AppFolders& folders) {
    const fs::path file = criteriaFilePath(folders);
    CriteriaTable table;
    try {
        table = readCriteriaFile(file);
    } catch (const FileError& e) {
        report.add("criteria", Verdict::Error, file,
                   cli::fileErrorText(e) + "\r\nプログラムは起動できません。");
        return;
    }
    ProgramDefinition program;
    DefineProgram(program);
    const size_t before = report.lines.size();
    const auto add = [&](Verdict v, int level, const std::string& text) {
        report.add("criteria", v, file, "レベル" + std::to_string(level) + "：" + text);
    };
    for (int level = 1; level <= program.LevelCount; ++level) {
        if (level > table.rowCount) {
            add(Verdict::Error, level,
                "行がありません。目標タイムが 0 になり、ポイントがつかず、時間切れもありません。"
                "「合格タイムデータ変更」か、6 章の例のとおりに行を書きます。");
            continue;
        }
        const LevelCriteria& c = table[level];
        if (c.targetTime <= 0)
            add(Verdict::Error, level,
                "目標Time が " + std::to_string(c.targetTime) +
                    " です。ポイントが 0 になります。1 より大きい秒数にします。");
        if (c.minimumTime <= 0)
            add(Verdict::Error, level,
                "最低Time が " + std::to_string(c.minimumTime) +
                    " です。時間切れがなくなり、できない子はいつまでも終われません。");
        // The editor's ranges; times of 0 and below are errors of their own above.
        for (int column = 1; column <= 9; ++column) {
            if ((column == 1 && c.targetTime <= 0) || (column == 2 && c.minimumTime <= 0)) continue;
            if (const auto odd = oddCriteriaCell(column, criteriaCell(c, column)))
                add(Verdict::Warning, level, *odd);
        }
        if (criteriaValue(c.passPeriodDays) < 1 && c.clearPoints != 9999)
            add(Verdict::Warning, level,
                "判期間が 0 です。合格の判定に入る日がなく、だれも合格になりません。");
    }
    if (report.lines.size() == before)
        report.add("criteria", Verdict::Ok, file,
                   "レベル 1 から " + std::to_string(program.LevelCount) + " の基準があります。");
}

void checkSounds(Report& report, const AppFolders& folders, SetupProbes& probes) {
    const fs::path tableFile = pathFromUtf8(folders.SoundFolder, kSoundTableFile);
    SoundTable table;
    try {
        table = readSoundTable(folders.SoundFolder);
    } catch (const FileError& e) {
        report.add("sounds", Verdict::Error, tableFile,
                   cli::fileErrorText(e) + "\r\nプログラムは起動できません。");
        return;
    }
    const size_t before = report.lines.size();
    int files = 0;
    for (int position = 1; position <= SoundTable::kCueCount; ++position) {
        const SoundCue& cue = table.cue(position);
        // The answer cues end the drill after four failures in a row; the
        // others only stay silent.
        const bool answer = position == SoundTable::kRightCue || position == SoundTable::kWrongCue;
        const bool played = answer || position == SoundTable::kPersonalBestCue ||
                            position == SoundTable::kFailedCue;
        const Verdict missing = answer ? Verdict::Error : Verdict::Warning;
        if (!cue.hasCount()) {
            if (played)
                report.add("sounds", missing, tableFile,
                           "「" + cue.name + "」の音の並びが「*」で終わっていないか、ありません。" +
                               (answer ? "答えの音が鳴らず、4 回続くとドリルが止まります。"
                                       : "この音は鳴りません。"));
            continue;
        }
        const int count = static_cast<int>(leadingNumber(cue.count));
        if (count == 0 && played)
            report.add("sounds", missing, tableFile,
                       "「" + cue.name +
                           "」に音のファイルが一つもありません（名前のすぐ後に「*」）。");
        for (int f = 1; f <= count && f < static_cast<int>(cue.files.size()); ++f) {
            const fs::path wav = pathFromUtf8(folders.SoundFolder, cue.files[f] + ".wav");
            ++files;
            const PlayResult loaded = probes.loadSound(wav);
            if (!loaded.ok)
                report.add("sounds", played ? missing : Verdict::Warning, wav,
                           "「" + cue.name + "」の " + std::to_string(f) +
                               " つ目の音を鳴らせません（" + loaded.error +
                               "）。7 章のとおりに WAV ファイルを置きます。");
        }
    }
    for (const char* fixed : {kOverallBestSound, kGoalClearedSound, kWarningSound}) {
        const fs::path wav = pathFromUtf8(folders.SoundFolder, fixed);
        ++files;
        const PlayResult loaded = probes.loadSound(wav);
        if (!loaded.ok)
            report.add("sounds", Verdict::Warning, wav,
                       std::string("決まった音「") + fixed + "」を鳴らせません（" + loaded.error +
                           "）。この音は鳴りません。");
    }
    if (report.lines.size() == before)
        report.add("sounds", Verdict::Ok, tableFile,
                   std::to_string(files) + " の音のファイルがあり、どれも鳴らせます。");
}

void checkFonts(Report& report, SetupProbes& probes) {
    const ScreenFonts fonts = probes.screenFonts();
    std::string missing;
    for (const std::string& family : fonts.families)
        if (!probes.fontInstalled(family))
            missing += std::string(missing.empty() ? "" : "、") + family;
    // The fixed-pitch digits: without their font a slashed zero can be taken
    // for a digit the hint crossed out.
    const bool digits = fonts.digitFont.empty() || probes.fontInstalled(fonts.digitFont);
    if (missing.empty() && digits)
        report.add("fonts", Verdict::Ok, "", "画面の字体（" + fonts.names + "）があります。");
    if (!missing.empty())
        report.add("fonts", Verdict::Warning, "",
                   "画面の字体 " + missing +
                       " がありません。ほかの字体で書かれ、文字の位置がずれます。" + fonts.remedy);
    if (!digits)
        report.add("fonts", Verdict::Warning, "",
                   "数字の字体 " + fonts.digitFont + " がありません。" + fonts.digitRemedy);
}

void checkProgramMenu(Report& report, const AppFolders& folders) {
    const fs::path named = pathFromUtf8(programMenuCommand(folders).program);
    std::error_code ec;
    fs::path menu = fs::weakly_canonical(named, ec);
    if (ec) menu = named;
    if (mayStartProgram(menu) && !isDirectory(menu))
        report.add("program-menu", Verdict::Ok, menu, "プログラムメニューがあります。");
    else
        report.add("program-menu", Verdict::Warning, menu,
                   "プログラムメニューがないか、起動できません。「プログラムメニューへ」を押すと、"
                   "メッセージが出てプログラムが終わります。パッケージを入れなおします。");
}

} // namespace kestrel::setup
