#pragma once
// OneRoster packages as a school's system writes them, made by the tests
// from the columns of the profile's editions: the files of a school of
// classes and their children, with or without a byte-order mark, every
// field quoted or only where needed, as a folder or a zip (stored or
// deflated with the fixed codes).
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "roster/OneRoster.h"
#include "roster/Zip.h"
#include "support/Fakes.h"

namespace kestrel::test {

enum class Edition { V1_2, V1_2_1, JapanProfile };

inline const char* editionVersion(Edition e) {
    return e == Edition::V1_2 ? "1.2" : e == Edition::V1_2_1 ? "1.2.1" : "1.2_JP";
}

struct PackageStyle {
    Edition edition = Edition::JapanProfile;
    bool byteOrderMark = false;
    bool quoteEvery = false;
};

struct PackagePerson {
    std::string id, master; // sourcedId, userMasterIdentifier
    std::string family, given, kanaFamily, kanaGiven;
    std::string preferredFamily, preferredGiven;
    std::string grade; // "P3"; empty for a teacher
    std::string cls;   // the class's sourcedId; empty: enrolled nowhere
    std::string seat;  // 出席番号
    bool teacher = false;
};

struct PackageClass {
    std::string id, title, grade;
};

struct Package {
    int year = 2025;
    std::vector<PackageClass> classes;
    std::vector<PackagePerson> people;
    std::map<std::string, std::string> manifest; // properties set over the usual ones
    std::set<std::string> dropped;               // "users.csv:familyName"

    // users.csv's row of a person (the header is row 1).
    int userRow(size_t person) const { return static_cast<int>(person) + 2; }

    std::vector<PackageFile> files(const PackageStyle& style) const {
        const bool later = style.edition != Edition::V1_2;
        std::vector<std::string> userColumns = {"sourcedId",
                                                "status",
                                                "dateLastModified",
                                                "enabledUser",
                                                "username",
                                                "userIds",
                                                "givenName",
                                                "familyName",
                                                "middleName",
                                                "identifier",
                                                "email",
                                                "sms",
                                                "phone",
                                                "agentSourcedIds",
                                                "grades",
                                                "password",
                                                "userMasterIdentifier"};
        if (!later) userColumns.push_back("resourceSourcedIds");
        for (const char* c :
             {"preferredGivenName", "preferredMiddleName", "preferredFamilyName",
              "primaryOrgSourcedId", "pronouns", "metadata.jp.kanaGivenName",
              "metadata.jp.kanaFamilyName", "metadata.jp.kanaMiddleName", "metadata.jp.homeClass"})
            userColumns.push_back(c);
        if (later)
            for (const char* c :
                 {"metadata.jp.kanaPreferredGivenName", "metadata.jp.kanaPreferredFamilyName",
                  "metadata.jp.kanaPreferredMiddleName"})
                userColumns.push_back(c);
        const bool lowerSeat = style.edition == Edition::V1_2_1;
        const std::vector<std::string> enrollmentColumns = {
            "sourcedId",
            "status",
            "dateLastModified",
            "classSourcedId",
            "schoolSourcedId",
            "userSourcedId",
            "role",
            "primary",
            "beginDate",
            "endDate",
            lowerSeat ? "metadata.jp.shussekiNo" : "metadata.jp.ShussekiNo",
            lowerSeat ? "metadata.jp.publicFlg" : "metadata.jp.PublicFlg"};
        const std::string seatColumn = enrollmentColumns[10];

        using Row = std::map<std::string, std::string>;
        std::vector<Row> users, enrollments, roles;
        for (const PackagePerson& p : people) {
            users.push_back({{"sourcedId", p.id},
                             {"status", "active"},
                             {"enabledUser", "true"},
                             {"username", p.id + "@school.example"},
                             {"givenName", p.given},
                             {"familyName", p.family},
                             {"grades", p.grade},
                             {"userMasterIdentifier", p.master},
                             {"preferredGivenName", p.preferredGiven},
                             {"preferredFamilyName", p.preferredFamily},
                             {"primaryOrgSourcedId", "school1"},
                             {"metadata.jp.kanaGivenName", p.kanaGiven},
                             {"metadata.jp.kanaFamilyName", p.kanaFamily},
                             {"metadata.jp.homeClass", p.teacher ? "" : p.cls}});
            roles.push_back({{"sourcedId", "r-" + p.id},
                             {"userSourcedId", p.id},
                             {"roleType", "primary"},
                             {"role", p.teacher ? "teacher" : "student"},
                             {"orgSourcedId", "school1"}});
            if (p.cls.empty()) continue;
            enrollments.push_back(
                {{"sourcedId", "e-" + p.id},
                 {"classSourcedId", p.cls},
                 {"schoolSourcedId", "school1"},
                 {"userSourcedId", p.id},
                 {"role", p.teacher ? "teacher" : "student"},
                 {"primary", p.teacher ? "true" : "false"},
                 {seatColumn, p.seat},
                 {lowerSeat ? "metadata.jp.publicFlg" : "metadata.jp.PublicFlg", "1"}});
        }
        std::vector<Row> classRows;
        for (const PackageClass& c : classes)
            classRows.push_back({{"sourcedId", c.id},
                                 {"status", "active"},
                                 {"title", c.title},
                                 {"grades", c.grade},
                                 {"courseSourcedId", "course1"},
                                 {"classCode", c.id},
                                 {"classType", "homeroom"},
                                 {"schoolSourcedId", "school1"},
                                 {"termSourcedIds", "year" + std::to_string(year)}});
        const std::string y = std::to_string(year);
        const std::vector<Row> sessions = {{{"sourcedId", "year" + y},
                                            {"title", y + "年度"},
                                            {"type", "schoolYear"},
                                            {"startDate", y + "-04-01"},
                                            {"endDate", std::to_string(year + 1) + "-03-31"},
                                            {"schoolYear", y}}};
        const std::vector<Row> orgs = {
            {{"sourcedId", "district1"}, {"name", "みどり市教育委員会"}, {"type", "district"}},
            {{"sourcedId", "school1"},
             {"name", "テスト小学校"},
             {"type", "school"},
             {"parentSourcedId", "district1"}}};

        std::map<std::string, std::string> properties = {
            {"manifest.version", "1.0"},
            {"oneroster.version", editionVersion(style.edition)},
            {"file.academicSessions", "bulk"},
            {"file.categories", "absent"},
            {"file.classes", "bulk"},
            {"file.classResources", "absent"},
            {"file.courses", "absent"},
            {"file.demographics", "absent"},
            {"file.enrollments", "bulk"},
            {"file.orgs", "bulk"},
            {"file.roles", "bulk"},
            {"file.users", "bulk"},
            {"file.userProfiles", "absent"},
            {"source.systemName", "テスト校務システム"}};
        for (const auto& [k, v] : manifest)
            properties[k] = v;
        std::vector<Row> manifestRows;
        for (const auto& [k, v] : properties)
            manifestRows.push_back({{"propertyName", k}, {"value", v}});

        std::vector<PackageFile> out;
        out.push_back(
            {"manifest.csv", csv("manifest.csv", {"propertyName", "value"}, manifestRows, style)});
        out.push_back({"academicSessions.csv",
                       csv("academicSessions.csv",
                           {"sourcedId", "status", "dateLastModified", "title", "type", "startDate",
                            "endDate", "parentSourcedId", "schoolYear"},
                           sessions, style)});
        out.push_back({"orgs.csv", csv("orgs.csv",
                                       {"sourcedId", "status", "dateLastModified", "name", "type",
                                        "identifier", "parentSourcedId"},
                                       orgs, style)});
        out.push_back({"classes.csv", csv("classes.csv",
                                          {"sourcedId", "status", "dateLastModified", "title",
                                           "grades", "courseSourcedId", "classCode", "classType",
                                           "location", "schoolSourcedId", "termSourcedIds",
                                           "subjects", "subjectCodes", "periods"},
                                          classRows, style)});
        out.push_back({"users.csv", csv("users.csv", userColumns, users, style)});
        out.push_back(
            {"enrollments.csv", csv("enrollments.csv", enrollmentColumns, enrollments, style)});
        out.push_back({"roles.csv",
                       csv("roles.csv",
                           {"sourcedId", "status", "dateLastModified", "userSourcedId", "roleType",
                            "role", "beginDate", "endDate", "orgSourcedId", "userProfileSourcedId"},
                           roles, style)});
        return out;
    }

private:
    std::string csv(const std::string& file, const std::vector<std::string>& columns,
                    const std::vector<std::map<std::string, std::string>>& rows,
                    const PackageStyle& style) const {
        const auto field = [&](const std::string& v) {
            const bool needs = v.find_first_of(",\"\r\n") != std::string::npos;
            if (!style.quoteEvery && !needs) return v;
            std::string q = "\"";
            for (char c : v)
                q += c == '"' ? std::string("\"\"") : std::string(1, c);
            return q + "\"";
        };
        std::vector<std::string> kept;
        for (const std::string& c : columns)
            if (!dropped.count(file + ":" + c)) kept.push_back(c);
        std::string text = style.byteOrderMark ? "\xEF\xBB\xBF" : "";
        for (size_t c = 0; c < kept.size(); ++c)
            text += (c ? "," : "") + field(kept[c]);
        text += "\r\n";
        for (const auto& row : rows) {
            for (size_t c = 0; c < kept.size(); ++c) {
                const auto it = row.find(kept[c]);
                text += (c ? "," : "") + field(it == row.end() ? std::string() : it->second);
            }
            text += "\r\n";
        }
        return text;
    }
};

// Thirty family names and thirty given names, with their kana.
inline const char* const kFamilies[30][2] = {
    {"佐藤", "サトウ"},   {"鈴木", "スズキ"},   {"高橋", "タカハシ"}, {"田中", "タナカ"},
    {"伊藤", "イトウ"},   {"渡辺", "ワタナベ"}, {"山本", "ヤマモト"}, {"中村", "ナカムラ"},
    {"小林", "コバヤシ"}, {"加藤", "カトウ"},   {"吉田", "ヨシダ"},   {"山田", "ヤマダ"},
    {"佐々木", "ササキ"}, {"山口", "ヤマグチ"}, {"松本", "マツモト"}, {"井上", "イノウエ"},
    {"木村", "キムラ"},   {"林", "ハヤシ"},     {"斎藤", "サイトウ"}, {"清水", "シミズ"},
    {"山崎", "ヤマザキ"}, {"森", "モリ"},       {"池田", "イケダ"},   {"橋本", "ハシモト"},
    {"阿部", "アベ"},     {"石川", "イシカワ"}, {"山下", "ヤマシタ"}, {"中島", "ナカジマ"},
    {"石井", "イシイ"},   {"小川", "オガワ"}};
inline const char* const kGivens[30][2] = {
    {"蓮", "レン"},     {"陽翔", "ハルト"}, {"湊", "ミナト"},     {"蒼", "アオイ"},
    {"樹", "イツキ"},   {"大和", "ヤマト"}, {"陽太", "ヒナタ"},   {"悠真", "ユウマ"},
    {"朝陽", "アサヒ"}, {"結翔", "ユイト"}, {"陽葵", "ヒマリ"},   {"凛", "リン"},
    {"詩", "ウタ"},     {"結菜", "ユイナ"}, {"芽依", "メイ"},     {"葵", "アオイ"},
    {"紬", "ツムギ"},   {"澪", "ミオ"},     {"結衣", "ユイ"},     {"莉子", "リコ"},
    {"太郎", "タロウ"}, {"花子", "ハナコ"}, {"一郎", "イチロウ"}, {"さくら", "サクラ"},
    {"ゆい", "ユイ"},   {"翔", "ショウ"},   {"美咲", "ミサキ"},   {"健太", "ケンタ"},
    {"愛", "アイ"},     {"大輝", "ダイキ"}};

// Student `i` of a school: a name of its own, sourcedId "u<i>" and
// userMasterIdentifier "m<i>".
inline PackagePerson student(int i, const std::string& cls, int seat, const std::string& grade) {
    PackagePerson p;
    p.id = "u" + std::to_string(i);
    p.master = "m" + std::to_string(i);
    p.family = kFamilies[i % 30][0];
    p.kanaFamily = kFamilies[i % 30][1];
    p.given = kGivens[(i * 7 + i / 30) % 30][0];
    p.kanaGiven = kGivens[(i * 7 + i / 30) % 30][1];
    p.cls = cls;
    p.seat = std::to_string(seat);
    p.grade = grade;
    return p;
}

inline PackagePerson teacher(const std::string& id, const std::string& family,
                             const std::string& given, const std::string& cls) {
    PackagePerson p;
    p.id = id;
    p.family = family;
    p.given = given;
    p.cls = cls;
    p.teacher = true;
    return p;
}

// Three classes of thirty third-graders (students 0..89) and their teachers.
inline Package threeClasses(int year) {
    Package pkg;
    pkg.year = year;
    const char* const teachers[3][2] = {{"森田", "健一"}, {"大野", "由美"}, {"北川", "誠"}};
    for (int c = 0; c < 3; ++c) {
        const std::string id = "c" + std::to_string(year) + "-" + std::to_string(c + 1);
        pkg.classes.push_back({id, "3年" + std::to_string(c + 1) + "組", "P3"});
        for (int k = 0; k < 30; ++k)
            pkg.people.push_back(student(c * 30 + k, id, k + 1, "P3"));
        pkg.people.push_back(
            teacher("t" + std::to_string(c + 1), teachers[c][0], teachers[c][1], id));
    }
    return pkg;
}

// The next school year: the same children a grade up in classes of their
// own, students 3, 40 and 77 gone, five new ones (90..94).
inline Package nextYear(const Package& before) {
    Package pkg;
    pkg.year = before.year + 1;
    for (int c = 0; c < 3; ++c)
        pkg.classes.push_back({"c" + std::to_string(pkg.year) + "-" + std::to_string(c + 1),
                               "4年" + std::to_string(c + 1) + "組", "P4"});
    int seat[3] = {0, 0, 0};
    for (const PackagePerson& p : before.people) {
        if (p.id == "u3" || p.id == "u40" || p.id == "u77") continue;
        PackagePerson q = p;
        const int c = std::stoi(p.cls.substr(p.cls.find('-') + 1)) - 1;
        q.cls = pkg.classes[static_cast<size_t>(c)].id;
        if (!q.teacher) {
            q.grade = "P4";
            q.seat = std::to_string(++seat[c]);
        }
        pkg.people.push_back(q);
    }
    for (int i = 90; i < 95; ++i) {
        const int c = i % 3;
        pkg.people.push_back(student(i, pkg.classes[static_cast<size_t>(c)].id, ++seat[c], "P4"));
    }
    return pkg;
}

// A zip of the files, each stored or deflated in one block of fixed codes.
inline std::string zipOf(const std::vector<PackageFile>& files, bool deflate,
                         const std::string& folder = "") {
    const auto le = [](std::string& out, uint32_t v, int bytes) {
        for (int k = 0; k < bytes; ++k)
            out += static_cast<char>((v >> (8 * k)) & 0xFF);
    };
    // Literals only, each by its fixed code written from its highest bit.
    const auto fixed = [](const std::string& in) {
        std::string out;
        uint32_t buffer = 0;
        int count = 0;
        const auto put = [&](uint32_t bits, int n) {
            buffer |= bits << count;
            count += n;
            while (count >= 8) {
                out += static_cast<char>(buffer & 0xFF);
                buffer >>= 8;
                count -= 8;
            }
        };
        const auto code = [&](uint32_t c, int n) {
            uint32_t reversed = 0;
            for (int k = 0; k < n; ++k)
                reversed |= ((c >> k) & 1) << (n - 1 - k);
            put(reversed, n);
        };
        put(1, 1); // the last block
        put(1, 2); // fixed codes
        for (unsigned char b : in)
            b < 144 ? code(0x30 + b, 8) : code(0x190 + b - 144, 9);
        code(0, 7); // end of block
        if (count > 0) out += static_cast<char>(buffer & 0xFF);
        return out;
    };
    std::string zip, directory;
    for (const PackageFile& f : files) {
        const std::string name = folder + f.name;
        const std::string data = deflate ? fixed(f.bytes) : f.bytes;
        const uint32_t crc = crc32Of(f.bytes);
        const auto offset = static_cast<uint32_t>(zip.size());
        const auto header = [&](std::string& out, bool central) {
            le(out, central ? 0x02014b50 : 0x04034b50, 4);
            if (central) le(out, 20, 2);
            le(out, 20, 2);              // version needed
            le(out, 0x0800, 2);          // UTF-8 names
            le(out, deflate ? 8 : 0, 2); // method
            le(out, 0, 4);               // time and date
            le(out, crc, 4);
            le(out, static_cast<uint32_t>(data.size()), 4);
            le(out, static_cast<uint32_t>(f.bytes.size()), 4);
            le(out, static_cast<uint32_t>(name.size()), 2);
            le(out, 0, 2); // extra
            if (central) {
                le(out, 0, 2); // comment
                le(out, 0, 2); // disk
                le(out, 0, 2); // internal attributes
                le(out, 0, 4); // external attributes
                le(out, offset, 4);
            }
            out += name;
        };
        header(zip, false);
        zip += data;
        header(directory, true);
    }
    const auto at = static_cast<uint32_t>(zip.size());
    zip += directory;
    le(zip, 0x06054b50, 4);
    le(zip, 0, 4);
    le(zip, static_cast<uint32_t>(files.size()), 2);
    le(zip, static_cast<uint32_t>(files.size()), 2);
    le(zip, static_cast<uint32_t>(directory.size()), 4);
    le(zip, at, 4);
    le(zip, 0, 2);
    return zip;
}

inline void writeFolder(const std::filesystem::path& folder,
                        const std::vector<PackageFile>& files) {
    std::filesystem::create_directories(folder);
    for (const PackageFile& f : files)
        writeBytes(folder / f.name, f.bytes);
}

} // namespace kestrel::test
