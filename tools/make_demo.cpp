// Lays out the demo installation of a school: converts the readable demo
// sources (UTF-8 text with LF line ends) to the school's text convention
// (CP932 with CR LF), synthesises every sound file the sound table names,
// together with the fixed sounds, and gives the class a history of runs.
//
//   make_demo SOURCE_DIR TARGET_DIR
//
// Every *.txt below SOURCE_DIR is written to the same relative place below
// TARGET_DIR. The shared folder is found through the path file, as the
// program finds it. Existing files of the same names are replaced; other
// files in TARGET_DIR are left alone. Every data folder (a folder of the
// shared folder with a criteria file) without a run in its results log gets one:
// a few months of the roster's students practising, generated from a fixed
// seed and dated back from the day the tool runs. An existing log is kept.
#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <exception>
#include <fstream>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "results/ResultRecord.h"
#include "roster/Roster.h"
#include "startup/Calendar.h"
#include "startup/CriteriaTable.h"
#include "text/Cp932.h"
#include "text/ItemReader.h"

namespace fs = std::filesystem;

namespace {

const char* const kPathFile = "パスデータ.txt";
const char* const kSoundFolder = "音フォルダ";
const char* const kSoundTable = "新音ファイル.txt";
// Folders of the installation that hold no demo file yet.
const char* const kEmptyFolders[] = {"起動"};

class ToolError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::string readBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw ToolError("cannot read " + file.string());
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// UTF-8 with LF (or CR LF from a Windows checkout) to UTF-8 with CR LF.
std::string toCrLf(std::string text) {
    if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r') {
            if (i + 1 < text.size() && text[i + 1] == '\n') continue;
            throw ToolError("a lone carriage return in a demo source");
        }
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

void installTextFiles(const fs::path& source, const fs::path& target) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::recursive_directory_iterator(source))
        if (entry.is_regular_file() && entry.path().extension() == ".txt")
            files.push_back(entry.path());
    if (files.empty()) throw ToolError("no demo text files in " + source.string());
    std::sort(files.begin(), files.end());
    for (const fs::path& file : files) {
        const fs::path out = target / fs::relative(file, source);
        fs::create_directories(out.parent_path());
        try {
            kestrel::writeCp932File(out, toCrLf(readBytes(file)));
        } catch (const ToolError& e) {
            throw ToolError(std::string(e.what()) + ": " + file.string());
        }
    }
}

// The shared folder as the program resolves it: the path file's first item,
// "\" taken as a folder separator, relative to the folder of the path file.
fs::path sharedFolder(const fs::path& target) {
    const auto items = kestrel::readItems(kestrel::readCp932File(target / kPathFile));
    if (items.empty() || items[0].empty()) throw ToolError("the path file names no shared folder");
    std::string folder = items[0];
    std::replace(folder.begin(), folder.end(), '\\', '/');
    fs::path p(folder);
    return p.is_absolute() ? p : target / p;
}

// ---- Sound synthesis -------------------------------------------------------

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;

struct Partial {
    double ratio; // of the fundamental
    double level;
};
using Timbre = std::vector<Partial>;

const Timbre kBell = {{1, 1.0}, {2, 0.35}, {3, 0.12}, {4.01, 0.05}};
const Timbre kSoft = {{1, 1.0}, {2, 0.08}, {3, 0.04}};
const Timbre kBrass = {{1, 1.0}, {2, 0.55}, {3, 0.35}, {4, 0.2}, {5, 0.1}};
const Timbre kBeep = {{1, 1.0}, {3, 0.18}, {5, 0.06}};

struct Note {
    double start;   // seconds
    double length;  // seconds
    int midi;       // pitch, 69 = A4
    double level;   // relative loudness
    double decay;   // per second, exponential
    double glideTo; // semitones the pitch slides by over the note, 0 for none
};

double frequency(double midi) {
    return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0);
}

class Sound {
public:
    void add(const Note& note, const Timbre& timbre) {
        const size_t first = static_cast<size_t>(note.start * kRate);
        const size_t count = static_cast<size_t>(note.length * kRate);
        if (m_samples.size() < first + count) m_samples.resize(first + count, 0.0);
        std::vector<double> phase(timbre.size(), 0.0);
        for (size_t i = 0; i < count; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double f = frequency(note.midi + note.glideTo * t / note.length);
            // Short attack and release on every note, so that nothing clicks.
            const double attack = std::min(1.0, t / 0.006);
            const double release = std::min(1.0, (note.length - t) / 0.03);
            const double envelope = attack * release * std::exp(-note.decay * t);
            double v = 0;
            for (size_t k = 0; k < timbre.size(); ++k) {
                v += timbre[k].level * std::sin(phase[k]);
                phase[k] += 2 * kPi * f * timbre[k].ratio / kRate;
                if (phase[k] > 2 * kPi) phase[k] -= 2 * kPi;
            }
            m_samples[first + i] += note.level * envelope * v;
        }
    }

    // 16-bit samples peaking at `peak` of full scale, faded in and out.
    std::vector<int16_t> render(double peak = 0.55) const {
        double max = 0;
        for (double s : m_samples)
            max = std::max(max, std::abs(s));
        const double gain = max > 0 ? peak * 32767.0 / max : 0;
        const size_t n = m_samples.size();
        const size_t fadeIn = kRate / 200, fadeOut = kRate / 50;
        std::vector<int16_t> out(n);
        for (size_t i = 0; i < n; ++i) {
            double fade = 1.0;
            if (i < fadeIn) fade = static_cast<double>(i) / fadeIn;
            if (n - 1 - i < fadeOut)
                fade = std::min(fade, static_cast<double>(n - 1 - i) / fadeOut);
            out[i] = static_cast<int16_t>(std::lround(m_samples[i] * gain * fade));
        }
        return out;
    }

private:
    std::vector<double> m_samples;
};

void putLe(std::string& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void writeWav(const fs::path& file, const std::vector<int16_t>& samples) {
    const uint32_t dataBytes = static_cast<uint32_t>(samples.size() * 2);
    std::string bytes;
    bytes.reserve(44 + dataBytes);
    bytes += "RIFF";
    putLe(bytes, 36 + dataBytes, 4);
    bytes += "WAVEfmt ";
    putLe(bytes, 16, 4);
    putLe(bytes, 1, 2); // PCM
    putLe(bytes, 1, 2); // mono
    putLe(bytes, kRate, 4);
    putLe(bytes, kRate * 2, 4); // bytes per second
    putLe(bytes, 2, 2);         // bytes per sample frame
    putLe(bytes, 16, 2);        // bits per sample
    bytes += "data";
    putLe(bytes, dataBytes, 4);
    for (int16_t s : samples)
        putLe(bytes, static_cast<uint16_t>(s), 2);
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) throw ToolError("cannot write " + file.string());
}

// The kinds of cue; a variant moves the same figure to another key, so that
// the files of one cue sound related but not the same.
enum class Style { Chime, Wrong, Fanfare, PersonalBest, Almost, LongFanfare, Chord, Warning };

Sound synthesise(Style style, int variant) {
    Sound s;
    const int up = std::array{0, 2, 4, 5, 7, 9}[static_cast<size_t>(variant) % 6];
    switch (style) {
    case Style::Chime: // rising two-note chime
        s.add({0.00, 0.24, 79 + up, 1.0, 6, 0}, kBell);
        s.add({0.15, 0.40, 84 + up, 1.0, 5, 0}, kBell);
        break;
    case Style::Wrong: // low, soft, falling
        s.add({0.00, 0.22, 55 - up, 1.0, 2, -1}, kSoft);
        s.add({0.20, 0.42, 52 - up, 1.0, 3, -3}, kSoft);
        break;
    case Style::Fanfare: // arpeggio up to a held octave
        for (int i = 0; i < 3; ++i)
            s.add({0.11 * i, 0.16, std::array{72, 76, 79}[static_cast<size_t>(i)] + up, 0.8, 2, 0},
                  kBrass);
        s.add({0.33, 0.45, 84 + up, 1.0, 1.5, 0}, kBrass);
        break;
    case Style::PersonalBest: // quick sparkling bell arpeggio
        for (int i = 0; i < 4; ++i)
            s.add({0.08 * i, 0.36, std::array{76, 79, 83, 88}[static_cast<size_t>(i)] + up, 0.8, 5,
                   0},
                  kBell);
        break;
    case Style::Almost: // gentle falling third, "nearly"
        s.add({0.00, 0.28, 79 + up, 1.0, 4, 0}, kSoft);
        s.add({0.20, 0.40, 76 + up, 0.9, 4, 0}, kSoft);
        break;
    case Style::LongFanfare: // the new overall best
        for (int i = 0; i < 4; ++i)
            s.add({0.10 * i, 0.16, std::array{67, 72, 76, 79}[static_cast<size_t>(i)], 0.8, 2, 0},
                  kBrass);
        s.add({0.40, 0.55, 84, 1.0, 1.2, 0}, kBrass);
        s.add({0.40, 0.55, 79, 0.5, 1.2, 0}, kBrass);
        break;
    case Style::Chord: // level cleared: a major chord, lightly spread
        for (int i = 0; i < 4; ++i)
            s.add({0.03 * i, 0.85 - 0.03 * i, std::array{72, 76, 79, 84}[static_cast<size_t>(i)],
                   0.7, 2, 0},
                  kBell);
        break;
    case Style::Warning: // short double beep
        s.add({0.00, 0.09, 83, 1.0, 0, 0}, kBeep);
        s.add({0.16, 0.09, 83, 1.0, 0, 0}, kBeep);
        break;
    }
    return s;
}

struct CueStyle {
    const char* cue;
    Style style;
};
const CueStyle kCueStyles[] = {
    {"正解音1", Style::Chime},
    {"正解音2", Style::Chime},
    {"間違い音1", Style::Wrong},
    {"間違い音2", Style::Wrong},
    {"最高音1", Style::Fanfare},
    {"最高音2", Style::Fanfare},
    {"自己最高音1", Style::PersonalBest},
    {"自己最高音2", Style::PersonalBest},
    {"自己最高音3", Style::PersonalBest},
    {"不合格音1", Style::Almost},
};

const CueStyle* cueStyle(const std::string& item) {
    for (const auto& c : kCueStyles)
        if (item == c.cue) return &c;
    return nullptr;
}

bool safeBaseName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\") == std::string::npos;
}

// The file base names of every cue block, read as the program reads the
// sound table, each with the style of its cue.
std::vector<std::pair<std::string, Style>> soundTableFiles(const fs::path& table) {
    kestrel::ItemReader reader(kestrel::readCp932File(table));
    std::vector<std::pair<std::string, Style>> files;
    std::set<std::string> seen;
    while (auto item = reader.next()) {
        const CueStyle* cue = cueStyle(*item);
        if (!cue) continue;
        for (int f = 1; f <= 20; ++f) {
            auto name = reader.next();
            if (!name || *name == "*") break;
            if (!safeBaseName(*name)) throw ToolError("unsafe sound file name: " + *name);
            if (seen.insert(*name).second) files.emplace_back(*name, cue->style);
        }
    }
    return files;
}

void installSounds(const fs::path& soundFolder) {
    std::map<Style, int> variants;
    for (const auto& [name, style] : soundTableFiles(soundFolder / kSoundTable)) {
        // The low wrong-answer tone carries more energy per peak; keep it soft.
        const double peak = style == Style::Wrong ? 0.45 : 0.55;
        writeWav(soundFolder / (name + ".wav"), synthesise(style, variants[style]++).render(peak));
    }
    writeWav(soundFolder / "最高1.wav", synthesise(Style::LongFanfare, 0).render());
    writeWav(soundFolder / "合格.wav", synthesise(Style::Chord, 0).render());
    writeWav(soundFolder / "警告1.wav", synthesise(Style::Warning, 0).render(0.4));
}

// ---- Results history --------------------------------------------------------

constexpr uint32_t kHistorySeed = 20240401;
constexpr int kHistoryDays = 120;   // the history reaches this far back
constexpr int kMostRunsToday = 3;   // a level a day: below every over-practice limit
constexpr int32_t kTimeOut = 99999; // a run that ran out of time

// The moment the tool runs: the day the history leads up to, and the time
// of day that today's runs stay before.
struct Moment {
    kestrel::CivilDate date;
    int secondsOfDay = 0;
};

Moment now() {
    const std::time_t t = std::time(nullptr);
    // One thread: the standard call serves both systems.
    const std::tm local = *std::localtime(&t);
    return {{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday},
            local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec};
}

// Random numbers from the generator's raw output alone, so that the same
// seed gives the same history whatever the standard library.
class Dice {
public:
    explicit Dice(uint32_t seed) : m_rng(seed) {}
    double unit() { return static_cast<double>(m_rng()) / 4294967296.0; } // [0, 1)
    int below(int n) { return static_cast<int>(unit() * n); }
    bool chance(double p) { return unit() < p; }
    double between(double a, double b) { return a + (b - a) * unit(); }

private:
    std::mt19937 m_rng;
};

struct Practiser {
    int number = 0;
    double ability = 1;   // run time against the target at the start
    double diligence = 0; // chance of practising on a school day
    int firstDay = 0;     // days back when the student started
    int lastDay = 0;      // days back of the last practice (moved away: long ago)
};

struct Run {
    int64_t day = 0;
    int seconds = 0; // of the day
    int student = 0;
    int level = 0;
    int32_t time = 0;
};

// One run's time: the target scaled by the student's ability, which grows
// with practice; now and then a slow run, a lucky fast one or a time-out.
int32_t runTime(Dice& dice, const kestrel::LevelCriteria& c, double ability, double progress) {
    if (dice.chance(0.025)) return kTimeOut;
    double t = c.targetTime * ability * (1.3 - 0.6 * progress) * dice.between(0.92, 1.12);
    if (dice.chance(0.07)) t *= dice.between(1.8, 3.0); // distracted
    if (dice.chance(0.03)) t *= dice.between(0.8, 0.9); // a good day
    const double limit = 5.0 * std::max(1, c.minimumTime);
    return static_cast<int32_t>(std::clamp(std::round(t), 8.0, limit));
}

std::vector<Run> generateHistory(const std::vector<kestrel::RosterFileEntry>& roster,
                                 const kestrel::CriteriaTable& criteria, const Moment& at) {
    Dice dice(kHistorySeed);
    std::vector<Practiser> students;
    for (const kestrel::RosterFileEntry& e : roster) {
        if (e.entry.name.find("先生") != std::string::npos) continue; // teachers do not practise
        Practiser p;
        p.number = e.entry.number;
        p.ability = dice.between(0.85, 1.7);
        p.diligence = dice.between(0.35, 0.75);
        p.firstDay = kHistoryDays - dice.below(20);
        p.lastDay = e.status == 1 ? 60 + dice.below(20) : 0; // moved away
        if (e.status == 2) p.diligence = 0.1;                // a guest now and then
        students.push_back(p);
    }
    const int64_t today = kestrel::dayNumber(at.date);
    std::vector<Run> runs;
    for (int back = kHistoryDays; back >= 0; --back) {
        const int64_t day = today - back;
        const int weekday = kestrel::weekday(kestrel::dateFromDayNumber(day));
        const bool schoolDay = weekday != 0 && weekday != 6;
        if (!schoolDay && back != 0) continue;
        // Today's runs come before the moment of installing.
        const int from = back == 0 ? std::max(0, at.secondsOfDay - 4 * 3600) : 8 * 3600 + 40 * 60;
        const int to = back == 0 ? std::max(from + 1, at.secondsOfDay) : 15 * 3600 + 20 * 60;
        for (const Practiser& p : students) {
            if (back > p.firstDay || back < p.lastDay) continue;
            if (!dice.chance(back == 0 ? 0.5 : p.diligence)) continue;
            const double progress = static_cast<double>(p.firstDay - back) / kHistoryDays;
            // The levels a student reaches grow with practice; mostly the
            // highest one reached is practised, sometimes one below or any.
            const int reach = std::clamp(1 + static_cast<int>(progress * 7.0 / p.ability), 1, 5);
            const double choice = dice.unit();
            const int level = choice < 0.6    ? reach
                              : choice < 0.85 ? std::max(1, reach - 1)
                                              : 1 + dice.below(reach);
            const int count = 1 + dice.below(kMostRunsToday);
            int second = from + dice.below(std::max(1, to - from));
            for (int k = 0; k < count && second < to; ++k) {
                const int32_t time = runTime(dice, criteria[level], p.ability, progress);
                runs.push_back({day, second, p.number, level, time});
                second += (time == kTimeOut ? 5 * criteria[level].minimumTime : time) + 20 +
                          dice.below(90);
            }
        }
    }
    // The log holds the runs in the order they were made.
    std::stable_sort(runs.begin(), runs.end(), [](const Run& a, const Run& b) {
        return a.day != b.day ? a.day < b.day : a.seconds < b.seconds;
    });
    return runs;
}

std::string schoolCode(const fs::path& sharedFolder) {
    const auto items = kestrel::readItems(kestrel::readCp932File(sharedFolder / "共通データ.txt"));
    // The second item begins with the five characters of the school code.
    return items.size() > 1 ? items[1].substr(0, 5) : std::string();
}

void installResultsHistory(const fs::path& sharedFolder) {
    const fs::path rosterFile = sharedFolder / kestrel::kRosterFile;
    if (!fs::exists(rosterFile)) return; // nobody to practise
    const std::vector<kestrel::RosterFileEntry> roster =
        kestrel::parseRoster(kestrel::readCp932File(rosterFile), kestrel::kRosterFile);
    const Moment at = now();
    for (const auto& entry : fs::directory_iterator(sharedFolder)) {
        const fs::path criteriaFile = entry.path() / kestrel::kCriteriaFileName;
        const fs::path log = entry.path() / kestrel::kResultsLogName;
        if (!entry.is_directory() || !fs::exists(criteriaFile)) continue;
        // A log with a run in it is kept; an empty one has nothing to lose.
        if (fs::exists(log) && fs::file_size(log) >= kestrel::kResultRecordSize) continue;
        const kestrel::CriteriaTable criteria = kestrel::readCriteriaFile(criteriaFile);
        std::string bytes;
        for (const Run& r : generateHistory(roster, criteria, at)) {
            kestrel::ResultRecord record;
            record.date = static_cast<double>(r.day);
            record.timeOfDay = kestrel::dayFraction(r.seconds);
            record.studentNumber = static_cast<int16_t>(r.student);
            record.level = static_cast<int16_t>(r.level);
            record.seconds = r.time;
            record.schoolCode = kestrel::resultText(schoolCode(sharedFolder));
            const kestrel::ResultBytes b = kestrel::encodeResultRecord(record);
            bytes.append(reinterpret_cast<const char*>(b.data()), b.size());
        }
        std::ofstream out(log, std::ios::binary);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out) throw ToolError("cannot write " + log.string());
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: make_demo SOURCE_DIR TARGET_DIR\n";
        return 2;
    }
    const fs::path source = argv[1];
    const fs::path target = argv[2];
    try {
        if (!fs::is_directory(source)) throw ToolError("no such folder: " + source.string());
        fs::create_directories(target);
        installTextFiles(source, target);
        for (const char* folder : kEmptyFolders)
            fs::create_directories(target / folder);
        const fs::path sounds = sharedFolder(target) / kSoundFolder;
        fs::create_directories(sounds);
        installSounds(sounds);
        installResultsHistory(sharedFolder(target));
    } catch (const std::exception& e) {
        std::cerr << "make_demo: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
