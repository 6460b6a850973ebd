// The batch run over real folders: listing rules, moving, the per-run limit,
// failures that leave no lines, configuration errors, appending, and the same
// data file for any number of reading threads; dry runs and the preview.
#include "common/modUtil.h"
#include "harvester/ReadAhead.h"
#include "harvester/WorkbookList.h"
#include "harvester/WorkbookPreview.h"
#include "tests/harvester/BatchRunFixture.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <tuple>

using namespace harvest_test;

namespace {

TEST_F(BatchRun, EveryWorkbookTypeInNameOrderIsHarvestedAndMoved)
{
    // ~$c.xlsx is an office lock file.
    for (const std::string name : {"c.xlsx", "a.XLS", "b.ods", "d.xlsb", "~$c.xlsx", ".hidden.xlsx"})
        CopyFixture("timesheet." + (name == "a.XLS" ? "xls" : name.substr(name.rfind('.') + 1)), in + "/" + name);
    WriteFile(in + "/notes.txt", "not a workbook type");

    BatchResult r = Run("  " + in + "/  ", out);  // trailing separator and spaces change nothing
    EXPECT_EQ(r.configError + r.message, "");
    EXPECT_EQ(Column(0), (Strings{in + "/a.XLS", in + "/b.ods", in + "/c.xlsx", in + "/d.xlsb"}));
    EXPECT_EQ(Column(1), Strings(4, "Done"));
    EXPECT_EQ(Files(out), "a.XLS b.ods c.xlsx d.xlsb");
    EXPECT_EQ(State(), "data 4, in 3, out 4");  // the text file, the lock file and the hidden file stay
}

TEST_F(BatchRun, WildcardPatternsMatchInAnyCase)
{
    AddBooks(2, "xlsx", "Week"), AddBooks(1, "xls", "week"), AddBooks(1, "xlsx", "month");
    const std::pair<std::string, size_t> rows[] = {
        {in + "/week*", 3}, {in + "/WEEK*.XLSX", 2}, {in + "/?onth000.xlsx", 1}, {dir / "missing/*.xls", 0}};
    for (const auto& [pattern, matches] : rows)
        EXPECT_EQ(ListWorkbooks(pattern).size(), matches) << pattern;
    // Without a separator the pattern searches the current folder.
    auto old = fs::current_path();
    fs::current_path(in);
    auto found = ListWorkbooks("*.xls");
    fs::current_path(old);
    EXPECT_EQ(found, Strings{fs::canonical(in).string() + "/week000.xls"});
}

// Listed in the order of their names' bytes, unsigned, as std::string
// compares them: names shorter than eight bytes, one the start of another,
// long shared starts, and UTF-8 after ASCII.
TEST_F(BatchRun, WorkbooksAreListedInTheOrderOfTheirNamesBytes)
{
    Strings names = {"b.xls",
                     "a.xlsx",
                     "a.xls",
                     "ab.xls",
                     "Z.xls",
                     "\xc3\xa9t\xc3\xa9.xls",
                     "abcdefg.xls",
                     "abcdefgh.xls",
                     "abcdefgh1.xls",
                     "abcdefg~.xls",
                     "abcdefg\xc3\xa9.xls",
                     "Timesheet - bob.xlsx",
                     "Timesheet - Bob.xlsx",
                     "Timesheet.xlsx",
                     "Timesheet - Bob Jr.xlsx",
                     "0.ods"};
    for (const std::string& name : names)
        WriteFile(in + "/" + name, "");
    std::sort(names.begin(), names.end());
    Strings expected;
    for (const std::string& name : names)
        expected.push_back(in + "/" + name);
    EXPECT_EQ(ListWorkbooks(in), expected);
    EXPECT_EQ(ListWorkbooks(in + "/*"), expected);
}

TEST_F(BatchRun, HundredPerRunUntilNothingIsLeft)
{
    AddBooks(250);
    EXPECT_EQ(Run(in, out).listed, 100);
    EXPECT_EQ(CountFiles(in), 150);
    EXPECT_EQ(Run(in, out, 0).listed, 150);  // 0: no limit
    EXPECT_EQ(list.Rows(), 150);             // the first run's rows are gone
    BatchResult r = Run(in, out);
    EXPECT_EQ(r.listed + list.Rows(), 0);
    EXPECT_EQ(r.message, clsBatchRun::kNothingToDo);
    EXPECT_EQ(State(), "data 250, in 0, out 250");
}

TEST_F(BatchRun, BlankOutputFolderMovesNothingAndASameNamedWorkbookIsReplaced)
{
    AddBooks(2);
    Run(in, "   ");  // spaces only: no move either
    EXPECT_EQ(State(), "data 2, in 2, out 0");
    WriteFile(out + "/b000.xlsx", "older file");
    Run(in, " " + out + "/ ");  // blanks around the output folder are not part of it
    EXPECT_EQ(ReadFile(out + "/b000.xlsx"), ReadFile(Fixture("timesheet.xlsx")));
    EXPECT_EQ(CountFiles(in), 0);
}

TEST_F(BatchRun, FailingWorkbooksLeaveNoLinesAndStay)
{
    CopyFixture("notabook.xlsx", in + "/a.xlsx");
    Run(in, out);
    EXPECT_FALSE(fs::exists(data));  // the first workbook failing leaves no data file

    AddBooks(1, "xlsx", "0");
    AddBooks(1, "xls", "c");
    fs::create_directory(out + "/d.xlsx");  // the move of d fails: a folder has its name
    CopyFixture("timesheet.xlsx", in + "/d.xlsx");
    BatchResult r = Run(in, out);
    Strings status = Column(1);
    for (auto& s : status)
        s.resize(std::min<size_t>(s.size(), 8));  // the reason of a failure follows "Failed: "
    EXPECT_EQ(status, (Strings{"Done", "Failed: ", "Done", "Failed: "})) << Column(1)[1] << Column(1)[3];
    ASSERT_EQ(r.failures.size(), 2u);
    EXPECT_EQ(r.failures[0].path, in + "/a.xlsx");
    EXPECT_EQ(State(), "data 2, in 2, out 2");
    EXPECT_EQ(Files(in), "a.xlsx d.xlsx");
    EXPECT_NE(r.message.find("2 of the 4 forms could not be harvested"), std::string::npos) << r.message;
    EXPECT_NE(r.message.find(in + "/a.xlsx"), std::string::npos);
}

// A run, a dry run and glean (with or without /dry-run) refuse a broken job
// with the same sentence, before anything is touched; glean exits 2. A dry
// run does not even create and remove a file.
TEST_F(BatchRun, ConfigurationErrorsComeBeforeAnythingIsTouched)
{
    AddBooks(1);
    WriteFile(dir / "empty.dat", "0,0\r\n");
    WriteFile(dir / "blank.dat", "");
    const std::string missing = dir / "missing", dataDir = dir.Mkdir("d"), data2 = dataDir + "/data.csv";
    const BatchPaths d2{form, in, out, data2};
    std::optional<DataFileLock> lock;  // a row's lock or file attribute, while it runs
    std::optional<FileAttribute> immutable;
    const struct {
        BatchPaths paths;
        std::string said;
        std::function<bool()> set = {};  // false: cannot be set up here
    } rows[] = {
        {{dir / "missing.dat", in, out, data}, "The form definition does not exist: " + dir / "missing.dat"},
        {{dir / "empty.dat", in, out, data}, "form definition is empty"},
        {{dir / "blank.dat", in, out, data}, "form definition is empty"},
        {{"", in, out, data}, "No form definition"},
        {{form, in, dir / "nowhere", data}, "output folder does not exist: " + dir / "nowhere"},
        {{form, in, out, dir / "nofolder/data.csv"}, "folder of the data file does not exist"},
        {{form, in, out, ""}, "No data file"},
        {{form, in, out, out}, "The data file is a folder: " + out},
        // The input names nothing: never "all processed", never the root folder.
        {{form, missing, out, data}, "The input folder does not exist: " + missing},
        {{form, missing + "/*.xlsx", out, data}, "The input folder does not exist: " + missing},
        {{form, "", out, data}, "No input folder given."},
        {{form, "   ", out, data}, "No input folder given."},
        // Each run would harvest the same workbooks again.
        {{form, in, in, data}, "The input folder is the output folder: " + in},
        {{form, in + "/*.xlsx", " " + in + "/ ", data}, "The input folder is the output folder: " + in},
        {d2, "The journal " + data2 + ".journal is damaged",
         [&] { return WriteFile(data2 + ".journal", "glean journal 2 5\nend\n"), true; }},
        {d2, "in use by another program",
         [&] { return lock.emplace().Take(data2, false) == DataFileLock::Outcome::Taken; }},
        {d2, "Cannot write the data file " + data2 + ": Operation not permitted",
         [&] { return WriteFile(data2, kTimesheetHeader), immutable.emplace(data2, "+i").Ok(); }},
        {d2, "Cannot create the lock file " + data2 + ".lock", [&] { return immutable.emplace(dataDir, "+i").Ok(); }},
    };
    list.AddRow();
    list.setData(0, 0, "earlier run");  // a refused run leaves the list as it was
    for (const auto& r : rows) {
        SCOPED_TRACE(r.said);
        lock.reset(), immutable.reset(), fs::remove(data2), fs::remove(data2 + ".journal");
        if (r.set && !r.set())
            continue;
        const auto before = Snapshot(dir / ""), files = Snapshot(dir / "", false);
        // glean waits for a data file in use; without the three paths it names the missing one.
        const auto& [type, input, output, dataFile] = r.paths;
        const bool given = !type.empty() && !input.empty() && !dataFile.empty();
        std::string said;
        for (bool dry : {true, false}) {
            BatchResult res = RunWith(r.paths, [&](clsBatchRun& run) { run.setDryRun(dry); });
            EXPECT_TRUE(Contains(res.configError, r.said)) << res.configError;
            EXPECT_EQ(res.configError, dry ? res.configError : said);
            said = res.configError;
            EXPECT_EQ(list.Data(0, 0) + " " + std::to_string(res.listed), "earlier run 0");
            EXPECT_EQ(Snapshot(dir / "", dry), dry ? before : files);
            if (Contains(said, "in use"))
                continue;
            EXPECT_EQ(Glean(GleanArgs(type, input, output, dataFile) + (dry ? " /dry-run" : "")), kUsageOrConfig);
            EXPECT_EQ(printed.str(), "");
            EXPECT_EQ(given ? err.str() : err.str().substr(0, 10), given ? "glean: " + said + "\n" : "glean: no ");
            EXPECT_EQ(Snapshot(dir / "", dry), dry ? before : files);
        }
    }
}

// Whichever path names the data file (in the input folder, through a link to
// its folder or to the file itself) or the input folder (through a link), the
// run knows its own files (data file, lock, journal) where they lie.
TEST_F(BatchRun, TheRunsOwnFilesAreNeverWorkbooksAndNoneIsLeftBehind)
{
    AddBooks(1);
    fs::create_directory_symlink(in, dir / "inLink");
    fs::create_symlink(in + "/real.csv", dir / "dataLink.csv");
    // An earlier run's journal, cleared (its first byte overwritten) or empty, is nothing to settle.
    const struct {
        std::string data, file, input, journal = "-lean journal 2 10\n";
    } rows[] = {
        {in + "/data.csv", in + "/data.csv", in + "/*"},        {in + "/data.csv", in + "/data.csv", in + "/*.*", ""},
        {dir / "inLink/data.csv", in + "/data.csv", in + "/*"}, {dir / "dataLink.csv", in + "/real.csv", in + "/*"},
        {in + "/data.csv", in + "/data.csv", dir / "inLink/*"},
    };
    for (const auto& [dataPath, file, input, journal] : rows) {
        SCOPED_TRACE(dataPath + " " + input + " <" + journal + ">");
        data = dataPath;
        WriteFile(file, "");
        WriteFile(JournalFile(), journal);
        BatchResult r = Run(input, "");
        EXPECT_EQ(r.configError + r.message, "");
        EXPECT_EQ(Column(0), Strings{FolderOf(input) + "/b000.xlsx"});
        EXPECT_EQ(ReadFile(file), Lines(1));
        EXPECT_EQ(Files(in), "b000.xlsx " + fs::path(file).filename().string());  // no lock, no journal
        fs::remove(file);
    }
    // Naming the data file itself as the one input lists nothing.
    WriteFile(data, Lines(1));
    EXPECT_EQ(Run(data, "").listed, 0);
}

TEST_F(BatchRun, AppendingNeverMergesLines)
{
    AddBooks(1);
    const std::pair<std::string, std::string> rows[] = {
        {"Name,Start,Hours\r\n\"Bob\",01/01/2009,1.0", "\r\n"},  // a last line without its end
        {"Name,Start,Hours\n\"Bob\",01/01/2009,1.0\n", ""},      // ended by LF alone
        {"Name,Start,Hours\r\n\"Bob\",01/01/2009,1.0\r", ""},    // by CR alone
        {"", kTimesheetHeader},                                  // an empty file gets the header
    };
    for (const auto& [before, added] : rows) {
        WriteFile(data, before);
        Run(in, "");
        EXPECT_EQ(ReadFile(data), before + added + kTimesheetLines) << before;
    }
}

TEST_F(BatchRun, SameDataFileAndStatusesForAnyNumberOfJobs)
{
    AddBooks(4, "xls", "a"), AddBooks(4, "xlsx", "b"), AddBooks(4, "ods", "c");
    CopyFixture("notabook.xlsx", in + "/b.xlsx");
    EXPECT_EQ(Run(in, "", 0, 1).failures.size(), 1u);
    EXPECT_EQ(ReadFile(data), Lines(12));
    const Strings statusOne = Column(1);
    fs::remove(data);
    EXPECT_EQ(Run(in, "", 0, 4).failures.size(), 1u);
    EXPECT_EQ(ReadFile(data), Lines(12));
    EXPECT_EQ(Column(1), statusOne);
}

// Lists many times longer than the workbooks read ahead: slots are reused,
// readers wait for room and are woken again, files are read several at a
// time. Each line names its workbook, so one taken in place of another shows;
// two files gone after the listing fail on their own rows.
TEST_F(BatchRun, ListsLongerThanTheReadAheadGiveTheSameResultForAnyNumberOfJobs)
{
    TimesheetForm(form, {{"File", "<file>", "text"}});
    AddBooks(90, "xls", "a"), AddBooks(90, "xlsx", "b");
    CopyFixture("notabook.xlsx", in + "/b050.xlsx");
    const std::string gone[] = {in + "/a003.xls", in + "/b020.xlsx"};
    std::string oneJob;
    for (const int jobs : {1, 2, 3}) {
        fs::remove(data);
        CopyFixture("timesheet.xls", gone[0]), CopyFixture("timesheet.xlsx", gone[1]);
        const BatchResult r = RunWith({form, in, "", data}, [&](clsBatchRun& run) {
            run.setLimit(0);
            run.setJobs(jobs);
            run.onListed = [&](int row, const std::string&) {
                if (row == 179)
                    fs::remove(gone[0]), fs::remove(gone[1]);
            };
        });
        EXPECT_EQ(r.done, 177) << jobs;
        ASSERT_EQ(r.failures.size(), 3u) << jobs;
        EXPECT_EQ(r.failures[0].path + " " + r.failures[0].reason,
                  gone[0] + " cannot open " + gone[0] + ": No such file or directory")
            << jobs;
        EXPECT_EQ(r.failures[1].path, gone[1]) << jobs;
        EXPECT_EQ(r.failures[2].path, in + "/b050.xlsx") << jobs;
        if (jobs == 1)
            oneJob = ReadFile(data);
        else
            EXPECT_EQ(ReadFile(data), oneJob) << jobs;
    }
    EXPECT_TRUE(Contains(oneJob, "\"a089.xls\"\r\n\"Ann\",02/03/2009,8.0,\"b000.xlsx\""));
    EXPECT_FALSE(Contains(oneJob, "a003.xls"));
}

// Workbooks of many folders, taken in turns, more folders than are held
// open; one in the working folder, named alone; one in a folder that is not
// there. Each is read from its own file, whatever the number of jobs, and
// the missing one fails with its own path.
TEST_F(BatchRun, ReadAheadReadsEachWorkbookInItsOwnFolder)
{
    TimesheetForm(form, {{"File", "<file>", "text"}});
    std::vector<std::string> paths;
    for (int k = 0; k < 2; ++k)
        for (int f = 0; f < 20; ++f) {
            const std::string folder = dir / ("f" + std::to_string(f));
            fs::create_directories(folder);
            paths.push_back(folder + "/w" + std::to_string(f) + "-" + std::to_string(k) + ".xls");
            CopyFixture(k ? "timesheet.xlsx" : "timesheet.xls", paths.back());
        }
    const std::string missing = dir / "gone/w.xls";
    paths.insert(paths.begin() + 5, missing);
    CopyFixture("timesheet.xls", in + "/here.xls");
    paths.push_back("here.xls");
    struct InFolder {
        const fs::path was = fs::current_path();
        explicit InFolder(const std::string& dir) { fs::current_path(dir); }
        ~InFolder() { fs::current_path(was); }
    } inFolder(in);
    for (const int jobs : {1, 3}) {
        ReadAhead reader(paths, LoadFormDefinition(form), jobs);
        for (size_t i = 0; i < paths.size(); ++i) {
            const Extracted x = reader.Take(static_cast<int>(i));
            if (paths[i] == missing) {
                EXPECT_FALSE(x.ok);
                EXPECT_EQ(x.text, "cannot open " + missing + ": No such file or directory");
            } else {
                EXPECT_TRUE(x.ok && Contains(x.text, ",\"" + NameOf(paths[i]) + "\"\r\n"))
                    << paths[i] << ": " << x.text;
            }
        }
    }
}

// Readers stop when the lines read and not yet taken reach 1 MiB a job
// (each reader may finish the few it claimed before), and never in the way of
// the workbook due next; by count, they could hold the whole run.
TEST_F(BatchRun, ReadAheadHoldsLittleOfWorkbooksGivingManyLines)
{
    const std::string big = dir / "big.dat";
    WriteForm(big, {{"Name", "B2", "text"}, {"Hours", "D5:D30004", "0.0"}});
    AddBooks(40, "xls");
    const std::vector<std::string> paths = ListWorkbooks(in);
    const int jobs = 3;
    ReadAhead reader(paths, LoadFormDefinition(big), jobs);
    const Extracted first = reader.Take(0);
    ASSERT_TRUE(first.ok) << first.text;
    const size_t each = first.text.size(), limit = size_t(jobs) << 20;
    ASSERT_GT(each, size_t(300) << 10);
    // Until the readers have claimed nothing new for a while.
    for (int claimed = -1, still = 0; still < 20;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const int now = reader.Claimed();
        still = now == claimed ? still + 1 : 0;
        claimed = now;
    }
    EXPECT_GE(reader.HeldBytes(), limit);  // they did read ahead
    EXPECT_LE(reader.HeldBytes(), limit + (jobs - 1) * 4 * each);
    EXPECT_LT(reader.Claimed(), 30);
    for (int i = 1; i < static_cast<int>(paths.size()); ++i) {
        const Extracted x = reader.Take(i);
        ASSERT_TRUE(x.ok && x.text == first.text) << paths[i];
    }
    EXPECT_EQ(reader.HeldBytes(), 0u);
}

// Lines wait for the next workbooks of their group only briefly: when each
// takes long to read, each goes in, and shows as done, before the next is read.
TEST_F(BatchRun, SlowReadingAppendsEachWorkbookAsItComes)
{
    struct SlowList : MemoryStatusList {
        void setData(int row, int col, const std::string& text) override
        {
            if (text == "Processing")
                std::this_thread::sleep_for(std::chrono::milliseconds(60));
            MemoryStatusList::setData(row, col, text);
        }
    } slow;
    AddBooks(3);
    clsBatchRun run(slow);
    run.setPaths({form, in, "", data});
    std::vector<std::string> seen;  // at each append: the data file, the last row's status
    run.afterAppend = [&](int row) {
        seen.push_back(std::to_string(row) + ": " + (ReadFile(data) == Lines(row + 1) ? "lines in" : "other") + ", " +
                       slow.Data(2, 1));
    };
    EXPECT_EQ(run.RunBatch().done, 3);
    EXPECT_EQ(seen, (Strings{"0: lines in, Pending", "1: lines in, Pending", "2: lines in, Processing"}));
}

// Workbooks whose lines alone fill a group, between small ones: the same
// data file whether their lines are gathered in groups (nothing moved) or
// each appended alone (moved).
TEST_F(BatchRun, LargeWorkbooksAppendTheSameGroupedOrAlone)
{
    const std::string big = dir / "big.dat";
    WriteForm(big, {{"Name", "B2", "text"}, {"Hours", "D5:D30004", "0.0"}});
    std::string grouped;
    for (const bool moving : {false, true}) {
        fs::remove(data);
        AddBooks(2, "xlsx", "a"), AddBooks(2, "xls", "b"), AddBooks(1, "ods", "c");
        const BatchResult r = RunWith({big, in, moving ? out : "", data}, [](clsBatchRun& run) { run.setJobs(1); });
        EXPECT_EQ(r.done, 5);
        if (!moving)
            grouped = ReadFile(data);
        else
            EXPECT_TRUE(ReadFile(data) == grouped);
        fs::remove_all(out), fs::create_directories(out);
    }
    EXPECT_GT(grouped.size(), size_t(5 * 256 << 10));
    EXPECT_EQ(grouped.rfind("\"Ann\",8.0\r\n\"Ann\",7.5\r\n\"Ann\",0.0\r\n", 100), grouped.find("\r\n") + 2);
}

// A workbook replaced, or written to, after it was read and before it is
// moved stays where it is, for the next run: moved, the new one would be lost
// unread. Its neighbours go as usual.
TEST_F(BatchRun, AWorkbookChangedAfterItWasReadIsNotMoved)
{
    for (const bool replaced : {true, false}) {
        fs::remove_all(in), fs::remove_all(out), fs::remove(data);
        fs::create_directories(in), fs::create_directories(out);
        AddBooks(3);
        const std::string b1 = in + "/b001.xlsx";
        // With one job all three files are read before the first is moved;
        // b001 changes as b000 is moved.
        struct ChangingList : MemoryStatusList {
            std::function<void()> change;
            void setData(int row, int col, const std::string& text) override
            {
                if (row == 0 && col == 1 && text == "Done")
                    change();
                MemoryStatusList::setData(row, col, text);
            }
        } list;
        list.change = [&] {
            if (replaced) {
                CopyFixture("timesheet.xlsx", b1 + ".new");
                fs::rename(b1 + ".new", b1);
            } else {
                fs::last_write_time(b1, fs::last_write_time(b1) + std::chrono::seconds(5));
            }
        };
        clsBatchRun run(list);
        run.setPaths({form, in, out, data});
        run.setJobs(1);
        const BatchResult r = run.RunBatch();
        EXPECT_EQ(r.done, 2) << replaced;
        ASSERT_EQ(r.failures.size(), 1u) << replaced;
        EXPECT_EQ(r.failures[0].path + ": " + r.failures[0].reason, b1 + ": " + clsBatchRun::kChangedWhileRead);
        EXPECT_EQ(Files(in), "b001.xlsx") << replaced;
        EXPECT_EQ(Files(out), "b000.xlsx b002.xlsx") << replaced;
        EXPECT_EQ(ReadFile(data), Lines(2)) << replaced;
    }
}

TEST_F(BatchRun, StatusesChangeInListOrderAndStopLeavesTheRestPending)
{
    AddBooks(5);
    clsBatchRun run(list);
    run.setPaths({form, in, out, data});
    run.setJobs(3);
    std::vector<int> finished;
    run.onFinished = [&](int row, const std::string&, const WorkbookOutcome&) {
        finished.push_back(row);
        for (int r = row + 1; r < list.Rows(); ++r)  // later rows have not started
            EXPECT_EQ(list.Data(r, 1), "Pending");
        if (row == 1)
            run.RequestStop();
    };
    EXPECT_TRUE(run.RunBatch().stopped);
    EXPECT_EQ(finished, (std::vector<int>{0, 1}));
    EXPECT_EQ(Column(1), (Strings{"Done", "Done", "Pending", "Pending", "Pending"}));
    EXPECT_EQ(State(), "data 2, in 3, out 2");
}

// Dry runs and the window's preview: the same checks, reading and formatting
// as a run, and not one byte written, created or moved.
using DryRun = BatchRun;

TEST_F(DryRun, WritesNothingAndPrintsExactlyWhatTheRunThenAppends)
{
    // No data file, one with lines, an empty one (the header comes first).
    for (const std::optional<std::string>& text : {std::optional<std::string>(), {Lines(1)}, {""}}) {
        SCOPED_TRACE(text ? "data file <" + *text + ">" : "no data file");
        Fresh<DryRun> t;
        CopyFixture("timesheet.xlsx", t.in + "/a.xlsx");
        CopyFixture("notabook.xlsx", t.in + "/b.xlsx");  // fails in both
        CopyFixture("timesheet.ods", t.in + "/c.ods");
        if (text)
            WriteFile(t.data, *text);
        const auto before = Snapshot(t.dir / "");
        EXPECT_EQ(t.Glean(t.Args() + " /dry-run /jobs 2"), 1);
        const std::string dryErr = t.err.str(), printed = t.printed.str();
        EXPECT_EQ(Snapshot(t.dir / ""), before);

        EXPECT_EQ(t.Glean(t.Args() + " /jobs 2"), 1);
        EXPECT_EQ(dryErr, t.err.str());
        EXPECT_EQ(text.value_or("") + printed, ReadFile(t.data));
        EXPECT_EQ(printed.rfind(kTimesheetHeader, 0) == 0, text.value_or("").empty());
        EXPECT_EQ(CountFiles(t.out), 2);
    }
}

TEST_F(DryRun, OptionSpellingsAndTheProgramsExitStatusAndStdout)
{
    for (const char* text : {"/dry-run", "--dry-run", "/DRY-RUN"})
        EXPECT_TRUE(ParseGleanOptions(text).dryRun && ParseGleanOptions(text).usageError.empty()) << text;
    EXPECT_NE(ParseGleanOptions("/dryrun").usageError, "");
    EXPECT_NE(ParseGleanOptions("--dry-run=yes").usageError, "");

    if (!fs::exists(kGlean))
        GTEST_SKIP() << "glean not built";
    // "/type" alone: nothing to harvest with.
    for (const auto& [args, status] : {std::pair{"--help", 0}, {"stray", 2}, {"/type", 2}})
        EXPECT_EQ(Shell(kGlean + " " + args + " >/dev/null 2>&1"), status) << args;
    CopyFixture("timesheet.xls", in + "/a.xls");
    ASSERT_EQ(Shell(kGlean + " " + Args() + " /dry-run >'" + dir / "printed" + "' 2>/dev/null"), 0);
    EXPECT_FALSE(fs::exists(data));
    ASSERT_EQ(Shell(kGlean + " " + Args() + " >/dev/null 2>&1"), 0);
    EXPECT_EQ(ReadFile(dir / "printed"), ReadFile(data));
    EXPECT_EQ(ReadFile(data), Lines(1));
}

// The preview: the selected or first workbook's table, each failing field's
// reason in its own cells while the others still show theirs; not one byte written.
TEST_F(DryRun, PreviewShowsTheSelectedOrFirstWorkbookAndWritesNothing)
{
    CopyFixture("timesheet.xlsx", in + "/b.xlsx");
    CopyFixture("notabook.xlsx", in + "/a.xlsx");
    // <nope> fails to resolve: every row; empty cells are no dates: rows 3 to 7.
    TimesheetForm(dir / "mixed.dat", {{"Odd", "<nope>", "text"}, {"Day", "D5:D11", "dmy"}});
    const auto before = Snapshot(dir / "");
    // The paths, the selected workbook, the start of the error ("": a table), its rows and failing cells.
    const std::tuple<const char*, BatchPaths, std::string, std::string, size_t, int> cases[] = {
        {"selected", {dir / "mixed.dat", in, out, data}, in + "/b.xlsx", "", 7, 12},
        {"first in the folder is broken", {form, in, out, data}, "", in + "/a.xlsx: not a workbook (text)", 0, 0},
        {"pattern", {form, in + "/b*", "", data}, "", "", 7, 0},
        {"empty input box", {form, "", out, data}, "", "No input folder given.", 0, 0},
        {"none matches", {form, in + "/z*", out, data}, "", "There is no workbook to preview in " + in + ".", 0, 0},
        {"selected one gone", {form, in, out, data}, in + "/gone.xlsx", "cannot open " + in + "/gone.xlsx", 0, 0},
    };
    for (const auto& [name, paths, selected, error, count, failures] : cases) {
        SCOPED_TRACE(name);
        PreviewTable t = PreviewWorkbook(paths, selected);
        EXPECT_EQ(t.error.rfind(error, 0), 0u) << t.error;
        EXPECT_EQ(t.error.empty(), error.empty()) << t.error;
        EXPECT_EQ(t.rows.size(), count);
        EXPECT_EQ(t.Failures(), failures);
        EXPECT_TRUE(!error.empty() || t.workbook + (t.dataFileNew ? " new" : " old") == in + "/b.xlsx new")
            << t.workbook;
    }
    const PreviewTable t = PreviewWorkbook(std::get<1>(cases[0]), in + "/b.xlsx");
    std::string shown;  // the headers, then the rows; a failing cell as "!" before its text
    for (const auto& h : t.headers)
        shown += (shown.empty() ? "" : ",") + h;
    for (const auto& row : t.rows)
        for (size_t i = 0; i < row.size(); ++i)
            shown += (i ? "," : "\n") + (row[i].error.empty() ? row[i].text : "!" + row[i].text);
    EXPECT_EQ(shown,
              "Name,Start,Hours,Odd,Day\n\"Ann\",02/03/2009,8.0,!,08/01/1900\n\"Ann\",03/03/2009,7.5,!,07/01/1900\n"
              "\"Ann\",04/03/2009,0.0,!,!\n\"Ann\",05/03/2009,0.0,!,!\n\"Ann\",06/03/2009,0.0,!,!\n"
              "\"Ann\",07/03/2009,0.0,!,!\n\"Ann\",08/03/2009,0.0,!,!");
    EXPECT_EQ(t.rows[0][3].error, "<nope> is not a reserved reference (<file> or <modified>)");
    EXPECT_EQ(Snapshot(dir / ""), before);
    WriteFile(data, "");
    EXPECT_TRUE(PreviewWorkbook({form, in, out, data}, "").dataFileNew);
    WriteFile(data, kTimesheetHeader);
    EXPECT_FALSE(PreviewWorkbook({form, in, out, data}, in + "/b.xlsx").dataFileNew);
}

}  // namespace
