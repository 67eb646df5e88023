// Lays out the demo installation of a school: converts the readable demo
// sources (UTF-8 text with LF line ends) to the school's text convention
// (CP932 with CR LF) and synthesises every sound file the sound table names,
// together with the fixed sounds.
//
//   make_demo SOURCE_DIR TARGET_DIR
//
// Every *.txt below SOURCE_DIR is written to the same relative place below
// TARGET_DIR. The shared folder is found through the path file, as the
// program finds it. Existing files of the same names are replaced; other
// files in TARGET_DIR are left alone.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <exception>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

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
    } catch (const std::exception& e) {
        std::cerr << "make_demo: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
