#pragma once
// The results manager: every record of the shared results log as one line,
// and an edit panel that corrects a record's student or time, or deletes
// the record. A change is written at once, under the log's lock, and only
// over the record the teacher chose; the list is then read again. The
// deleted records can be listed and put back, and the log can be written
// as CSV, or summed up per student for the report cards.
// Elements are public members named like the design's elements.
#include <cstdint>
#include <filesystem>

#include "platform/Clock.h"

#include "platform/ui/TwipsForm.h"
#include "results/DeletedRecords.h"
#include "results/ResultRecord.h"
#include "results/ResultsLogEdit.h"
#include "teacher/RecordList.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QScrollBar;

namespace kestrel {

class App;
class VbLabel;
class VbListBox;

class FrmData : public TwipsForm {
    Q_OBJECT
public:
    explicit FrmData(App& app);

    // The first activation builds the list.
    void Form_Activate() override;

    // The user's handlers; each is refused while the manager is busy (a
    // wait for the results log, a change being written, a hand-over).
    void List1_Click();
    void List1_DblClick();
    void Combo1_Click();
    void VScroll1_Change();
    void Command2_Click(); // "変更して記録"
    void Command3_Click(); // "消去"
    void Command4_Click(); // "戻る"
    void Command5_Click(); // "CSV出力": the log, or one period of it, as a spreadsheet file
    void Command6_Click(); // "まとめ": the class summary, printed or as a spreadsheet file
    void Command7_Click(); // "消去した記録": the list of deleted records
    void Command8_Click(); // "元に戻す": the chosen deleted record back into the log
    void Command9_Click(); // "閉じる": the list of deleted records away

    // The record under edit, 0 when none; the lines' record numbers.
    uint64_t editedRecord() const { return m_edited; }
    const RecordListing& listing() const { return m_listing; }
    // The deleted records as List2 shows them, newest first.
    const std::vector<DeletedRecord>& deleted() const { return m_deleted; }

    VbListBox* List1 = nullptr;
    VbLabel* Label3 = nullptr; // record count
    VbLabel* Label5 = nullptr;
    QWidget* Picture3 = nullptr; // edit panel
    VbLabel* Label1 = nullptr;   // record number
    VbLabel* Label2_1 = nullptr; // level
    VbLabel* Label2_2 = nullptr; // date
    VbLabel* Label2_3 = nullptr; // "秒"
    VbLabel* Label2_4 = nullptr; // grade label
    QComboBox* Combo1 = nullptr;
    QLineEdit* Text1_1 = nullptr; // seconds
    QScrollBar* VScroll1 = nullptr;
    QPushButton* Command2 = nullptr;
    QPushButton* Command3 = nullptr;
    QPushButton* Command4 = nullptr;
    QComboBox* Combo2 = nullptr; // the period of the CSV file and the summary
    QPushButton* Command5 = nullptr;
    QPushButton* Command6 = nullptr;
    QPushButton* Command7 = nullptr;
    QWidget* Picture4 = nullptr; // the deleted records
    VbLabel* Label6 = nullptr;
    VbListBox* List2 = nullptr;
    VbLabel* Label7 = nullptr;
    QPushButton* Command8 = nullptr;
    QPushButton* Command9 = nullptr;

private:
    // A bold command button at `twips` whose click runs `click`.
    QPushButton* commandButton(QWidget* parent, const char* name, const char* text,
                               const QRect& twips, int points, void (FrmData::*click)());
    void buildEditPanel();
    void buildDeletedPanel();
    // Where a file for the teacher goes: the user's documents, named after
    // `base` and the moment.
    std::filesystem::path exportFile(const std::string& base, const LocalTime& now,
                                     const char* extension) const;
    // Writes `bytes` there and tells the teacher where, or what failed.
    void saveForTeacher(const std::string& bytes, const std::filesystem::path& file,
                        const std::string& what);
    // The records of the period chosen in Combo2: 0 for all of them.
    int chosenPeriodDays(const LocalTime& now) const;
    // Reads the deleted records again into List2.
    void buildDeletedList();
    // Reads the roster and the whole log again into the list.
    void buildList();
    // Opens the edit panel on line `line`'s record, read afresh.
    void openRecord(int line);
    // Selects line `line` without closing the edit panel.
    void selectLine(int line);
    int lineOfRecord(uint64_t number) const;
    void tell(const std::string& text);
    // Another PC changed the log under the panel: say so and read it again.
    void recordChanged();
    // True for a change written; otherwise tells why and reads the list again.
    bool written(const LogEditStatus& status);

    App& m_app;
    bool m_opened = false;
    StudentLookups m_students;
    RecordListing m_listing;
    uint64_t m_edited = 0;
    int m_editedLine = -1;
    ResultBytes m_chosen{}; // the record as read when the panel opened
    std::vector<DeletedRecord> m_deleted;
};

} // namespace kestrel
