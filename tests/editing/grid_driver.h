// Plays the user on the main window's grid and editors, and reads the
// "Activities" table back from the Timer file once the window has let it go.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>

#include "app_fixture.h"
#include "jet/pager.h"

struct StoredActivity {
    int32_t id = 0, nameId = 0, custJob = 0, service = 0, cls = 0;
    int payrollItem = 0;
    double userDate = 0;
    int minutes = 0;  // Duration rounded to whole minutes
    bool billable = false, exported = false;
    std::optional<std::string> note;  // nothing for Null
};

// Columns of day d (0 Monday .. 6 Sunday).
inline int durCol(int d) { return 3 + 3 * d; }
inline int bCol(int d) { return 4 + 3 * d; }
inline int nCol(int d) { return 5 + 3 * d; }

inline std::map<int32_t, StoredActivity> readActivities(const std::string& path) {
    auto db = jet::Database::open(path);
    auto rs = jet::runNamed(*db, "Activities");
    auto col = [&](const char* n) {
        int i = rs.columnIndex(n);
        EXPECT_GE(i, 0) << n;
        return i;
    };
    int id = col("ID"), name = col("Name ID"), cj = col("CustJob ID"), sv = col("Service ID"), cl = col("Class ID"),
        pay = col("Payroll Item ID"), ud = col("UserDate"), du = col("Duration"), bs = col("Billable Status"),
        nt = col("Note"), ex = col("Exported");
    auto num = [](const jet::Value& v) { return v.isNull() ? 0.0 : v.toDouble(); };
    std::map<int32_t, StoredActivity> out;
    for (const auto& r : rs.rows) {
        StoredActivity a;
        a.id = static_cast<int32_t>(num(r[id]));
        a.nameId = static_cast<int32_t>(num(r[name]));
        a.custJob = static_cast<int32_t>(num(r[cj]));
        a.service = static_cast<int32_t>(num(r[sv]));
        a.cls = static_cast<int32_t>(num(r[cl]));
        a.payrollItem = static_cast<int>(num(r[pay]));
        a.userDate = num(r[ud]);
        a.minutes = static_cast<int>(std::lround(num(r[du]) * 1440.0));
        a.billable = num(r[bs]) != 0;
        a.exported = num(r[ex]) != 0;
        if (!r[nt].isNull()) a.note = r[nt].asText();
        out[a.id] = a;
    }
    return out;
}

// "Activities" as an independent reader (mdb-export) prints it from a closed file.
inline std::string mdbExport(const std::string& path) {
    std::string out;
    if (FILE* p = popen(("mdb-export '" + path + "' Activities").c_str(), "r")) {
        char buf[4096];
        while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
        pclose(p);
    }
    return out;
}

// The same rows as CSV lines by ID, the header left out.
inline std::map<int, std::string> mdbExportActivities(const std::string& path) {
    std::map<int, std::string> rows;
    const std::string all = mdbExport(path);
    size_t start = all.find('\n');
    while (start != std::string::npos && start + 1 < all.size()) {
        size_t end = all.find('\n', start + 1);
        std::string line = all.substr(start + 1, end == std::string::npos ? std::string::npos : end - start);
        rows[std::atoi(line.c_str())] = line;
        start = end;
    }
    return rows;
}

// The index of the item spelled exactly `text`; -1 when none.
inline int comboIndex(const ui::ComboBox& combo, const std::string& text) {
    for (int i = 0; i < combo.listCount(); ++i)
        if (combo.list(i) == text) return i;
    return -1;
}
// The combo laid over heading column `col` (0 Customer:Job, 1 Service Item, 2 Class).
inline ui::ComboBox& comboOf(app::Hourgrid& w, int col) {
    return col == 0 ? w.CustJobCombo : col == 1 ? w.ServiceCombo : w.ClassCombo;
}

// Days since 12/30/1899, as the file stores a date.
inline double jetDate(const QDate& d) { return static_cast<double>(QDate(1899, 12, 30).daysTo(d)); }

// A stored activity's references, duration and day.
inline void expectStored(const StoredActivity& a, int32_t custJob, int32_t service, int32_t cls, int minutes,
                         const QDate& day) {
    EXPECT_EQ(a.custJob, custJob);
    EXPECT_EQ(a.service, service);
    EXPECT_EQ(a.cls, cls);
    EXPECT_EQ(a.minutes, minutes);
    EXPECT_EQ(a.userDate, jetDate(day));
}

// While it lives, the Timer file refuses every write: its journal cannot be created.
struct RefusedWrites {
    std::string journal;
    explicit RefusedWrites(const std::string& timerPath) : journal(jet::journalPath(timerPath)) {
        std::filesystem::create_directory(journal);
    }
    ~RefusedWrites() { std::filesystem::remove(journal); }
};

class GridFixture : public AppFixture {
protected:
    app::Hourgrid& w() { return *win; }
    ui::FlexGrid& grid() { return win->Grid; }
    int rows() { return win->Grid.rows(); }
    int lastDataRow() { return win->Grid.rows() - 2; }
    int totalsRow() { return win->Grid.rows() - 1; }
    std::string cell(int r, int c) { return win->Grid.textMatrix(r, c); }

    // The first data row from `from` on with these heading texts; -1 when none.
    int rowOf(const std::string& custJob, const std::string& service, const std::string& cls, int from = 1) {
        for (int r = from; r <= lastDataRow(); ++r)
            if (cell(r, 0) == custJob && cell(r, 1) == service && cell(r, 2) == cls) return r;
        return -1;
    }
    // The data row whose duration cell of day d holds activity `id`; -1 when none.
    int rowOfActivity(int32_t id, int d) {
        for (int r = 1; r <= lastDataRow(); ++r)
            if (win->id(durCol(d), r) == id) return r;
        return -1;
    }

    void click(int r, int c) { win->Grid.userMouseDown(r, c, 1, 0, 0, 0); }
    void hover(int r, int c) { win->Grid.userMouseMove(r, c, 0, 0, 0, 0); }
    // A key typed while the grid has the focus; returns the code as the handler left it.
    int gridKey(int k) {
        win->Grid.userKeyPress(k);
        return k;
    }
    // Characters typed where the focus is: the editor once it shows, the grid before.
    void type(const std::string& s) {
        for (char ch : s) {
            int k = static_cast<unsigned char>(ch);
            if (win->TimeEntry.visible()) win->TimeEntry.typeKey(k);
            else win->Grid.userKeyPress(k);
        }
    }
    void editorEnter() { win->TimeEntry.typeKey(13); }
    // A click on cell (r, c), `text` typed into its editor and Enter.
    void typeAndEnter(int r, int c, const std::string& text) {
        click(r, c);
        type(text);
        editorEnter();
    }
    // Moves the current cell as the arrow keys would (the grid's own leave-cell event runs).
    void arrowTo(int r, int c) {
        win->Grid.setRow(r);
        win->Grid.setCol(c);
    }
    // Types a duration on Tuesday of the empty row without committing it.
    void typePending(const std::string& text = "2") {
        pendingRow = lastDataRow();
        ASSERT_EQ(cell(pendingRow, 0), "");
        click(pendingRow, durCol(1));
        ASSERT_TRUE(win->TimeEntry.visible());
        type(text);
    }
    int pendingRow = 0;
    static std::map<int32_t, StoredActivity> sampleActivities() {
        return readActivities(std::string(TEST_DATA_DIR) + "/timer/sample.tdb");
    }
    // Lets the window go and reads the file it wrote.
    std::map<int32_t, StoredActivity> closeAndRead() {
        win.reset();
        return readActivities(timerPath);
    }
    // The one question shown: its text, Yes/No/Cancel, no icon and the program's title.
    void expectOnlyQuestion(const std::string& text) {
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].text, text);
        EXPECT_EQ(platform.messages[0].buttons, ui::Buttons::YesNoCancel);
        EXPECT_EQ(platform.messages[0].icon, ui::Icon::None);
        EXPECT_EQ(platform.messages[0].title, "Hourgrid");
    }
    std::vector<std::string> messageTexts() const {
        std::vector<std::string> out;
        for (const auto& m : platform.messages) out.push_back(m.text);
        return out;
    }
};

inline constexpr ui::Color kNotExported = 0xD5FFFF, kGreen = 0x009600, kBlue = 0xFF0000, kMagenta = 0xC800C8;
inline constexpr const char* kAcme = "Acme Corporation:Website Redesign";
inline constexpr const char* kBaker = "Baker & Sons:Kitchen Remodel";
inline constexpr const char* kBadTime = "Enter a valid time. For example: 2:00 or 120 or 2";
