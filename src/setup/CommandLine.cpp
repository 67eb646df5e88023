#include "setup/CommandLine.h"

#include <algorithm>
#include <cctype>
#include <iostream>

#include "platform/Utf8Path.h"
#include "roster/Roster.h"

namespace kestrel::cli {
namespace {

const Option* findOption(const CommandSpec& spec, const std::string& name) {
    for (const Option& o : spec.options)
        if (o.name == name) return &o;
    return nullptr;
}

bool positiveInteger(const std::string& text, int& out) {
    if (text.empty() || text.size() > 9) return false;
    if (!std::all_of(text.begin(), text.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; }))
        return false;
    out = std::stoi(text);
    return out > 0;
}

// Terminal columns of UTF-8 text: Japanese characters take two.
size_t columns(const std::string& text) {
    size_t n = 0;
    for (unsigned char c : text)
        if (c < 0x80)
            n += 1;
        else if (c >= 0xC0)
            n += 2;
    return n;
}

std::string optionWithValue(const Option& o) {
    return o.value.empty() ? o.name : o.name + " " + o.value;
}

} // namespace

std::string Arguments::value(const std::string& option) const {
    const auto it = given.find(option);
    return it == given.end() ? std::string() : it->second;
}

std::vector<std::string> Arguments::values(const std::string& option) const {
    const auto it = every.find(option);
    return it == every.end() ? std::vector<std::string>() : it->second;
}

int Arguments::number(const std::string& option) const {
    int n = 0;
    return positiveInteger(value(option), n) ? n : 0;
}

Arguments parseArguments(const CommandSpec& spec, const std::vector<std::string>& args) {
    Arguments out;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            out.help = true;
            continue;
        }
        const Option* o = findOption(spec, a);
        if (!o) {
            out.error = a.starts_with("-") ? "「" + a + "」という指定はありません。"
                                           : "「" + a + "」は指定の名前ではありません。" +
                                                 "ファイル名などは指定の後に書きます。";
            return out;
        }
        if (o->kind == Option::Kind::Switch) {
            out.given[a].clear();
            continue;
        }
        if (i + 1 >= args.size()) {
            out.error = "「" + a + "」の後に" + o->value + "を書きます。";
            return out;
        }
        const std::string& v = args[++i];
        int n = 0;
        if (o->kind == Option::Kind::PositiveInteger && !positiveInteger(v, n)) {
            out.error = "「" + a + " " + v + "」の「" + v + "」は" + o->value +
                        "になりません。1 以上の整数（半角数字）を書きます。";
            return out;
        }
        if (o->kind == Option::Kind::Text && v.empty()) {
            out.error = "「" + a + "」の" + o->value + "が空です。";
            return out;
        }
        out.given[a] = v;
        out.every[a].push_back(v);
    }
    return out;
}

std::string helpText(const CommandSpec& spec) {
    std::string text = spec.purpose + "\n\n使い方:\n";
    for (const std::string& s : spec.synopsis)
        text += "  " + spec.name + (s.empty() ? "" : " " + s) + "\n";
    text += "  " + spec.name + " --help\n\n指定:\n";
    size_t width = std::string("--help").size();
    for (const Option& o : spec.options)
        width = std::max(width, columns(optionWithValue(o)));
    auto line = [&](const std::string& left, const std::string& help) {
        text += "  " + left + std::string(width + 2 - columns(left), ' ') + help + "\n";
    };
    for (const Option& o : spec.options)
        line(optionWithValue(o), o.help);
    line("--help", "この説明を出します");
    text += "\n終了状態: " + spec.exitStatus + "\n";
    return text;
}

std::string usageError(const CommandSpec& spec, const std::string& problem) {
    return spec.name + ": " + problem + "\n使い方は「" + spec.name + " --help」で出ます。\n";
}

int usageFailure(const CommandSpec& spec, const std::string& problem) {
    std::cerr << usageError(spec, problem);
    return kExitUsage;
}

std::string cannotWriteMessage(const std::filesystem::path& file, const std::string& reason) {
    return "「" + displayPath(file) + "」に書き込めません（" + reason + "）。";
}

std::string wrongEncodingMessage(const std::filesystem::path& file) {
    const std::string name = utf8OfPath(file.filename());
    if (name == kRosterFile) return rosterEncodingMessage(displayPath(file));
    // The converted text goes to a file of another name first: a shell that
    // is told to write the file it reads empties it before it is read.
    const std::string utf8Name = utf8OfPath(file.stem()) + "-utf8" + utf8OfPath(file.extension());
    return "ファイル「" + displayPath(file) +
           "」の文字コードがシフトJIS(CP932)ではありません。学校のファイルはシフトJIS(CP932)で"
           "保存します。UTF-8 で保存したときは、ファイルのあるフォルダで「mv " +
           name + " " + utf8Name + "」としてから「iconv -f UTF-8 -t CP932 " + utf8Name + " > " +
           name + "」で直せます。";
}

std::string fileErrorText(const FileError& e) {
    return e.kind() == FileError::Kind::Encoding ? wrongEncodingMessage(e.path()) : e.what();
}

std::string spreadsheetFileMessage(const std::filesystem::path& file, std::string_view bytes) {
    std::string ext = utf8OfPath(file.extension());
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    const bool zip = bytes.starts_with(std::string_view("PK\x03\x04", 4));
    const bool oldBinary = bytes.starts_with(std::string_view("\xD0\xCF\x11\xE0", 4));
    if (ext != ".xlsx" && ext != ".ods" && ext != ".xls" && !zip && !oldBinary) return {};
    return "「" + displayPath(file) +
           "」は表計算ソフトのファイルで、CSV ファイルではありません。表計算ソフトで開き、"
           "「名前を付けて保存」（または「別名で保存」）で、ファイルの種類を「CSV」（コンマ区切"
           "り。「CSV UTF-8」でもかまいません）にして保存し、その .csv ファイルを指定します。";
}

} // namespace kestrel::cli
