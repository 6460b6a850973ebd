#include "editor/frmMain.h"

#include "common/DataFileLock.h"
#include "common/RtError.h"
#include "common/gui/Version.h"
#include "common/gui/clsCombo.h"
#include "common/gui/clsLayout.h"
#include "common/gui/clsListViewRpt.h"
#include "common/gui/frmAbout.h"
#include "common/gui/modBrowseTo.h"
#include "common/modUtil.h"
#include "editor/EditorDialogs.h"
#include "editor/RowTableModel.h"
#include "editor/modCellText.h"
#include "editor/modEntryForm.h"
#include "editor/modVal.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QStyle>
#include <QTreeView>
#include <QUrl>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

namespace tabwright {

namespace {

using entryform::ToPixels;

// Places a control by a geometry given in twips (15 to a pixel).
void MoveTwips(QWidget* w, double left, double top, double width, double height)
{
    const int x = ToPixels(left);
    const int y = ToPixels(top);
    w->setGeometry(x, y, std::max(0, ToPixels(left + width) - x), std::max(0, ToPixels(top + height) - y));
}

// The maker's web site, behind the About box's copyright line.
constexpr const char* kMakerSite = "https://www.quorra.example/";
constexpr const char* kFileDescription = "Quorra Data File Editor";
constexpr const char* kProgramName = "Tabwright";

QString RowsText(int n)
{
    return n == 1 ? QStringLiteral("1 row of the file was") : QStringLiteral("%1 rows of the file were").arg(n);
}

// Holds back the list's selection signal while the program moves the selection.
struct Quietly {
    int& depth;
    explicit Quietly(int& d) : depth(d) { ++depth; }
    ~Quietly() { --depth; }
};

}  // namespace

frmMain::frmMain(std::string specFile, std::string programFolder, EditorDialogs* dialogs, QWidget* parent)
    : QMainWindow(parent), specFile_(std::move(specFile)), programFolder_(std::move(programFolder)), dialogs_(dialogs)
{
    if (!dialogs_) {
        ownDialogs_ = std::make_unique<QtEditorDialogs>();
        dialogs_ = ownDialogs_.get();
    }
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QString::fromUtf8(kFileDescription));
    setWindowIcon(DesignIcon());
    BuildMenus();
    BuildControls();
}

frmMain::~frmMain()
{
    // The list outlives this object's members; its signals must not reach them.
    ListView1->selectionModel()->disconnect(this);
    AppUnload();
}

void frmMain::BuildMenus()
{
    mnuFile = menuBar()->addMenu(tr("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileOpen = mnuFile->addAction(tr("&Open"));
    mnuFileOpen->setObjectName(QStringLiteral("mnuFileOpen"));
    mnuFileOpen->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    mnuFileExit = mnuFile->addAction(tr("E&xit"));
    mnuFileExit->setObjectName(QStringLiteral("mnuFileExit"));
    mnuHelp = menuBar()->addMenu(tr("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpContents = mnuHelp->addAction(tr("&Contents"));
    mnuHelpContents->setObjectName(QStringLiteral("mnuHelpContents"));
    mnuHelpContents->setShortcut(QKeySequence(Qt::Key_F1));
    mnuHelpAbout = mnuHelp->addAction(tr("&About"));
    mnuHelpAbout->setObjectName(QStringLiteral("mnuHelpAbout"));

    connect(mnuFileOpen, &QAction::triggered, this, [this] { mnuFileOpen_Click(); });
    connect(mnuFileExit, &QAction::triggered, this, [this] { mnuFileExit_Click(); });
    connect(mnuHelpContents, &QAction::triggered, this, [this] { mnuHelpContents_Click(); });
    connect(mnuHelpAbout, &QAction::triggered, this, [this] { mnuHelpAbout_Click(); });
}

void frmMain::BuildControls()
{
    client_ = new QWidget(this);
    client_->setObjectName(QStringLiteral("client"));
    setCentralWidget(client_);
    client_->setFixedSize(ToPixels(kDesignWidth), ToPixels(kDesignHeight));

    auto button = [this](const char* name, const QString& caption, int left, int width, int height, const char* tag) {
        auto* b = new QPushButton(caption, client_);
        b->setObjectName(QString::fromLatin1(name));
        clsLayout::setTag(b, QString::fromLatin1(tag));
        b->setAutoDefault(false);
        MoveTwips(b, left, 3240, width, height);
        return b;
    };

    ListView1 = new QTreeView(client_);
    model_ = new RowTableModel(this);
    ListView1->setModel(model_);
    ListView1->setObjectName(QStringLiteral("ListView1"));
    clsLayout::setTag(ListView1, QStringLiteral("H=1 W=1"));
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setAllColumnsShowFocus(true);
    ListView1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListView1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView1->header()->setStretchLastSection(false);
    // The columns are sized to the list's outer width, a few pixels more than
    // its inside: a scroll bar for those would only be noise.
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    MoveTwips(ListView1, 120, 720, 8640, 2400);

    cmdAdd = button("cmdAdd", tr("Add"), 120, 720, 360, "Y=1");
    cmdDel = button("cmdDel", tr("Delete"), 960, 720, 359, "Y=1");
    cmdMoveUp = button("cmdMoveUp", QString(), 1800, 361, 360, "Y=1");
    cmdMoveUp->setIcon(style()->standardIcon(QStyle::SP_ArrowUp));
    cmdMoveUp->setToolTip(tr("Move up"));
    cmdMoveDown = button("cmdMoveDown", QString(), 2280, 361, 360, "Y=1");
    cmdMoveDown->setIcon(style()->standardIcon(QStyle::SP_ArrowDown));
    cmdMoveDown->setToolTip(tr("Move down"));
    cmdSave = button("cmdSave", tr("Save &As"), 6960, 840, 360, "X=1 Y=1");
    cmdCancel = button("cmdCancel", tr("Cancel"), 7920, 840, 360, "X=1 Y=1");

    QWidget::setTabOrder(cmdAdd, cmdMoveUp);
    QWidget::setTabOrder(cmdMoveUp, cmdDel);
    QWidget::setTabOrder(cmdDel, cmdMoveDown);
    QWidget::setTabOrder(cmdMoveDown, cmdSave);
    QWidget::setTabOrder(cmdSave, cmdCancel);

    connect(ListView1, &QTreeView::clicked, this, [this] { ListView1_ItemClick(); });
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { ListView1_SelectionChanged(); });
    connect(cmdAdd, &QPushButton::clicked, this, [this] { cmdAdd_Click(); });
    connect(cmdDel, &QPushButton::clicked, this, [this] { cmdDel_Click(); });
    connect(cmdMoveUp, &QPushButton::clicked, this, [this] { cmdMoveUp_Click(); });
    connect(cmdMoveDown, &QPushButton::clicked, this, [this] { cmdMoveDown_Click(); });
    connect(cmdSave, &QPushButton::clicked, this, [this] { cmdSave_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });

    // The window's cancel button: Esc presses it.
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(esc, &QShortcut::activated, cmdCancel, &QPushButton::click);
}

bool frmMain::Load()
{
    AppCmd("Load");
    if (loadFailed_)
        return false;
    setWindowState(Qt::WindowNoState);
    // The client keeps kDesignWidth x kDesignHeight until the layout takes
    // over, so that the fields are registered at the geometry they were built
    // for.
    adjustSize();
    client_->setMinimumSize(0, 0);
    client_->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    layout_ = std::make_unique<clsLayout>(clsLayout::Revision::Editor);
    layout_->SetLayout(this);
    return true;
}

void frmMain::setFileOpenEnabled(bool enabled)
{
    mnuFileOpen->setEnabled(enabled);
}

void frmMain::AppCmd(const std::string& pCmd, const std::vector<std::string>& pArg)
{
    const std::string cmd = Lower(pCmd);
    try {
        Dispatch(cmd, pArg);
    } catch (const std::exception& e) {
        // rt::RtError and rt::FatalError from the table files, and whatever
        // else a file operation reports: shown, and the editor goes on, except
        // while the specification file is being read at start-up.
        if (cmd == "load")
            SpecError(e.what());
        else
            ShowError(e.what());
    }
}

void frmMain::Dispatch(const std::string& cmd, const std::vector<std::string>& pArg)
{
    const std::string arg = pArg.empty() ? std::string() : pArg[0];
    if (cmd == "load")
        AppLoad();
    else if (cmd == "unload")
        AppUnload();
    else if (cmd == "resize")
        AppResize();
    else if (cmd == "quit")
        AppQuit();
    else if (cmd == "open")
        AppOpen(arg);
    else if (cmd == "save")
        AppSave(arg);
    else if (cmd == "fmt") {
        if (data_)
            data_->setFmt(ToInt16(Val(arg)));
    }
}

void frmMain::ShowError(const std::string& text)
{
    dialogs_->Message(this, windowTitle(), QString::fromStdString(text), EditorDialogs::Icon::None);
}

void frmMain::SpecError(const std::string& text)
{
    dialogs_->Message(this, windowTitle(), QString::fromStdString(text), EditorDialogs::Icon::Stop);
    loadFailed_ = true;
}

// ---- the entry form -------------------------------------------------------

void frmMain::AppLoad()
{
    spec_ = std::make_unique<clsDatFile>();
    spec_->setFileName(specFile_);
    if (!spec_->Exists()) {
        SpecError(entryform::SpecMissingMessage(specFile_));
        return;
    }
    spec_->Load();
    if (spec_->Cols() != 4) {
        SpecError(entryform::SpecColumnsMessage(specFile_));
        return;
    }
    // A form without fields would have a list without columns.
    if (spec_->Rows() < 1) {
        SpecError(entryform::SpecNoRowsMessage(specFile_));
        return;
    }

    data_ = std::make_unique<clsDatFile>();
    data_->setHeaders(spec_->Col(0));  // a table saved before any open still gets its header line
    list_ = std::make_unique<clsListViewRpt>(clsListViewRpt::Revision::Editor);
    list_->setLV(ListView1);

    const std::vector<entryform::Field> plan =
        entryform::PlanFields(*spec_, /*listLeft=*/120, /*listWidth=*/8640, programFolder_);
    QStringList headers;
    for (const auto& f : plan)
        headers << QString::fromStdString(f.caption);
    list_->setHeaders(headers);
    for (size_t i = 0; i < plan.size(); ++i)
        list_->setColumnWidth(int(i), plan[i].columnWidth);
    list_->Resize();

    combos_.clear();
    combos_.resize(plan.size());
    QWidget* previous = cmdCancel;
    for (size_t i = 0; i < plan.size(); ++i) {
        const entryform::Field& f = plan[i];
        auto* label = new QLabel(QString::fromStdString(f.labelCaption), client_);
        label->setObjectName(QString::fromStdString(f.labelName));
        MoveTwips(label, f.left, entryform::kLabelTop, f.width, entryform::kLabelHeight);
        clsLayout::setTag(label, QString::fromStdString(f.tag));
        label->setVisible(true);
        labels_.push_back(label);

        QWidget* input = nullptr;
        if (f.isTextBox) {
            input = new QLineEdit(client_);
            MoveTwips(input, f.left, entryform::kInputTop, f.width, entryform::kTextBoxHeight);
        } else {
            auto* box = new QComboBox(client_);
            box->setEditable(true);
            const int x = ToPixels(f.left);
            box->setGeometry(x, ToPixels(entryform::kInputTop), std::max(0, ToPixels(f.left + f.width) - x),
                             box->sizeHint().height());
            input = box;
        }
        input->setObjectName(QString::fromStdString(f.inputName));
        clsLayout::setTag(input, QString::fromStdString(f.tag));
        input->setVisible(true);
        label->setBuddy(input);
        QWidget::setTabOrder(previous, input);
        previous = input;
        fields_.push_back(input);

        if (!f.isTextBox) {
            auto combo = std::make_unique<clsCombo>();
            combo->setCb(static_cast<QComboBox*>(input));
            combo->setMode(f.mode);
            combo->LoadFromTxtFile(f.listFile);
            combos_[i] = std::move(combo);
        }
    }
    QWidget::setTabOrder(previous, ListView1);
    UpdateButtons();
}

void frmMain::AppUnload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    if (about_)
        about_->close();
    combos_.clear();
    spec_.reset();
    list_.reset();
}

void frmMain::AppResize()
{
    if (list_)
        list_->Resize();
}

void frmMain::AppQuit()
{
    if (!dialogs_->OkCancel(this, tr("Quit"), tr("Are you sure?")))
        return;
    quitting_ = true;
    close();
}

// The table's rows move into the list: no copy, no text until shown.
void frmMain::FillList(clsDatFile& table)
{
    Quietly q(quiet_);
    std::vector<DatRow> rows = table.TakeTable();
    rows.resize(size_t(table.RowsRead()));  // a dat file's rows after a bad line hold nothing
    model_->setTable(std::move(rows), table.Encoding());
}

void frmMain::AppOpen(const std::string& path)
{
    if (!data_ || !list_)
        return;
    // Read into a table of its own first: a file that cannot be read leaves
    // the list, the file name and the rows as they were.
    auto table = std::make_unique<clsDatFile>();
    table->setFmt(data_->Fmt());
    table->setFileName(path);
    table->setHeaders(spec_->Col(0));
    // A hidden file (a name starting with ".") is still read: taken as new,
    // its rows would be replaced by the next save.
    const bool exists = IsFile(path);
    if (exists) {
        try {
            table->Load();
        } catch (...) {
            UpdateButtons();
            throw;
        }
    }
    // A header line of the file's own stays as it was.
    if (exists && table->Fmt() == 2 && int(table->FileHeaders().size()) == table->Cols())
        table->setHeaders(table->FileHeaders());
    data_ = std::move(table);
    {
        Quietly q(quiet_);
        model_->setTable({}, data_->Encoding());
    }
    opened_ = StateOf(path);
    partialPath_ = path;
    rowsNotShown_ = 0;
    if (exists) {
        if (data_->Cols() == spec_->Rows()) {
            FillList(*data_);
            rowsNotShown_ = data_->RowsNotRead();
            if (data_->RowsNotRead() > 0)
                ShowError(QStringLiteral("File %1 was not read whole: reading stopped at line %2. %3 not read.")
                              .arg(QString::fromStdString(path))
                              .arg(data_->StoppedAtLine())
                              .arg(RowsText(data_->RowsNotRead()))
                              .toStdString());
        } else {
            // Not one row is shown: a save over the file would lose them all.
            rowsNotShown_ = data_->RowsRead() + data_->RowsNotRead();
            dialogs_->Message(
                this, windowTitle(),
                QString::fromStdString(entryform::WrongColumnsMessage(path, data_->Cols(), specFile_, spec_->Rows())),
                EditorDialogs::Icon::None);
        }
    }
    savedChanges_ = model_->Changes();
    UpdateButtons();
}

frmMain::FileState frmMain::StateOf(const std::string& path)
{
    FileState state;
    state.path = path;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        state.existed = true;
        state.size = st.st_size;
        state.mtimeNs = (long long)st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
    }
    return state;
}

bool frmMain::SameFile(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return false;
    if (a == b)
        return true;
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec);
}

bool frmMain::IsOpenedFile(const std::string& path) const
{
    return SameFile(path, opened_.path);
}

// ---- record editing ---------------------------------------------------------

QWidget* frmMain::Field(int j) const
{
    return j >= 0 && j < int(fields_.size()) ? fields_[size_t(j)] : nullptr;
}

QLabel* frmMain::FieldLabel(int j) const
{
    return j >= 0 && j < int(labels_.size()) ? labels_[size_t(j)] : nullptr;
}

clsCombo* frmMain::Combo(int j) const
{
    return j >= 0 && j < int(combos_.size()) ? combos_[size_t(j)].get() : nullptr;
}

QString frmMain::FieldText(int j) const
{
    QWidget* w = Field(j);
    if (auto* le = qobject_cast<QLineEdit*>(w))
        return le->text();
    if (auto* cb = qobject_cast<QComboBox*>(w))
        return cb->currentText();
    return {};
}

void frmMain::setFieldText(int j, const QString& text)
{
    QWidget* w = Field(j);
    if (auto* le = qobject_cast<QLineEdit*>(w))
        le->setText(text);
    else if (auto* cb = qobject_cast<QComboBox*>(w))
        cb->setEditText(text);
}

std::vector<std::vector<std::string>> frmMain::ListRows() const
{
    std::vector<std::vector<std::string>> rows;
    if (!list_)
        return rows;
    const int n = list_->Rows();
    const int k = list_->Cols();
    rows.resize(size_t(n));
    for (int r = 0; r < n; ++r) {
        rows[size_t(r)].reserve(size_t(k));
        for (int c = 0; c < k; ++c)
            rows[size_t(r)].push_back(list_->Data(r, c).toStdString());
    }
    return rows;
}

bool frmMain::RowsChanged() const
{
    return list_ && model_->Changes() != savedChanges_;
}

void frmMain::ListView1_SelectionChanged()
{
    if (quiet_ || !list_)
        return;
    if (list_->SelectedRow() >= 0) {
        ListView1_ItemClick();
    } else {
        // Nothing selected: the fields can only make a new row.
        cmdAdd->setText(tr("Add"));
        UpdateButtons();
    }
}

void frmMain::ListView1_ItemClick()
{
    if (!list_)
        return;
    const int r = list_->SelectedRow();
    if (r < 0)
        return;
    cmdAdd->setText(tr("Update"));
    for (int j = 0; j < FieldCount(); ++j)
        setFieldText(j, list_->Data(r, j));
    UpdateButtons();
}

void frmMain::cmdAdd_Click()
{
    if (!list_)
        return;
    bool done = true;
    if (cmdAdd->text() == tr("Add"))
        done = AddRecord();
    else if (cmdAdd->text() == tr("Update"))
        done = UpdateRecord();
    if (done)
        cmdAdd->setText(tr("Add"));
    UpdateButtons();
}

// Text that the file's encoding cannot hold is refused here, before it is in
// a row, rather than changed on the way to the disk.
bool frmMain::FieldsFitTheFile()
{
    std::string bytes;
    QString bad;
    for (int j = 0; j < FieldCount(); ++j) {
        if (!CellBytes(FieldText(j), data_->Encoding(), bytes, &bad)) {
            ShowError(UnwritableMessage(bad, data_->FileName(), data_->Encoding()).toStdString());
            return false;
        }
    }
    return true;
}

bool frmMain::AddRecord()
{
    if (list_->Rows() >= clsDatFile::kMaxRows) {
        ShowError(std::string(clsDatFile::kTooManyRows) + ".");
        return false;
    }
    if (!FieldsFitTheFile())
        return false;
    QStringList cells;
    for (int j = 0; j < FieldCount(); ++j)
        cells << FieldText(j);
    list_->AddRow(cells);
    return true;
}

bool frmMain::UpdateRecord()
{
    const int r = list_->SelectedRow();
    if (r < 0) {
        // The list was reloaded under a pending Update: the fields become a new row.
        return AddRecord();
    }
    if (!FieldsFitTheFile())
        return false;
    for (int j = 0; j < FieldCount(); ++j) {
        list_->setData(r, j, FieldText(j));
        setFieldText(j, QString());
    }
    return true;
}

void frmMain::cmdDel_Click()
{
    if (!list_)
        return;
    Quietly q(quiet_);
    list_->Del();
    list_->setSelectedRow(-1);
    cmdAdd->setText(tr("Add"));
    UpdateButtons();
}

void frmMain::cmdMoveUp_Click()
{
    if (!list_ || list_->SelectedRow() < 0)
        return;
    Quietly q(quiet_);
    list_->MoveUp();
    UpdateButtons();
}

void frmMain::cmdMoveDown_Click()
{
    if (!list_ || list_->SelectedRow() < 0)
        return;
    Quietly q(quiet_);
    list_->MoveDown();
    UpdateButtons();
}

void frmMain::cmdSave_Click()
{
    if (!data_)
        return;
    const QString name = dialogs_->SaveFileName(this, QString::fromStdString(FileFilter(data_->FileType())),
                                                QString::fromStdString(data_->FileName()), QDir::homePath());
    if (!name.isEmpty())
        AppCmd("Save", {name.toStdString()});
}

void frmMain::AppSave(const std::string& path)
{
    if (!data_ || !list_)
        return;
    const int rows = list_->Rows();
    const int cols = list_->Cols();
    // An empty table cannot be written (and could not be read again).
    if (rows < 1)
        return;
    const QString title = tr("Save As");
    const QString name = QString::fromStdString(path);
    const bool overOpened = IsOpenedFile(path);
    const bool overPartial = rowsNotShown_ > 0 && SameFile(path, partialPath_);
    if (overPartial &&
        !dialogs_->OkCancel(
            this, title, QStringLiteral("File %1:\n%2 not read and will be lost.").arg(name, RowsText(rowsNotShown_))))
        return;

    // A harvest appends under this lock; lines it adds while the old file is
    // replaced would vanish. Where no lock file can be made, no harvest can
    // hold one either.
    DataFileLock lock;
    while (lock.Take(path, false) == DataFileLock::Outcome::Busy) {
        if (!dialogs_->RetryCancel(
                this, title,
                QStringLiteral("A harvest is running on file %1. Retry when it has finished, or Cancel.").arg(name)))
            return;
    }
    if (overOpened && !StateOf(path).SameContentAs(opened_) &&
        !dialogs_->OkCancel(
            this, title,
            QStringLiteral("File %1 has changed on disk since it was opened. Save over it anyway?").arg(name)))
        return;

    // The rows are lent to the table for the write (they hold the file's
    // bytes already) and come back whatever happens; nothing runs between.
    const std::string previousName = data_->FileName();
    data_->setTable(model_->LendRows(), cols);
    data_->setFileName(path);
    try {
        data_->Save();
    } catch (...) {
        model_->ReturnRows(data_->TakeTable());
        data_->setFileName(previousName);
        throw;
    }
    model_->ReturnRows(data_->TakeTable());
    opened_ = StateOf(path);
    if (overPartial)
        rowsNotShown_ = 0;
    savedChanges_ = model_->Changes();
}

void frmMain::UpdateButtons()
{
    if (!list_)
        return;
    const int rows = list_->Rows();
    const int selected = list_->SelectedRow();
    const bool listEmpty = rows == 0;
    const bool rowSelected = selected != -1;
    const bool firstSelected = selected == 0;
    const bool lastSelected = selected == rows - 1 && selected >= 0;
    cmdDel->setEnabled(rowSelected);
    cmdMoveUp->setEnabled(rowSelected && !listEmpty && !firstSelected);
    cmdMoveDown->setEnabled(rowSelected && !listEmpty && !lastSelected);
    cmdSave->setEnabled(!listEmpty);
}

// ---- menus and window events -----------------------------------------------

std::string frmMain::FileFilter(const std::string& fileType)
{
    return fileType == "csv" ? "Comma Separated Values (*.csv) | *.csv" : "Data (*.dat) | *.dat";
}

void frmMain::mnuFileOpen_Click()
{
    if (!data_)
        return;
    const QString name =
        dialogs_->OpenFileName(this, QString::fromStdString(FileFilter(data_->FileType())), QDir::homePath());
    if (name.isEmpty())
        return;
    // A missing name from the dialog is a fault here, not a new file.
    if (!IsFile(name.toStdString())) {
        ShowError(rt::RtError(rt::FileNotFound, name.toStdString()).what());
        return;
    }
    // Opening replaces the rows, as closing the window drops them.
    if (RowsChanged() &&
        !dialogs_->OkCancel(this, tr("Open"), tr("The rows have changed and are not saved. Are you sure?")))
        return;
    AppCmd("Open", {name.toStdString()});
}

void frmMain::mnuFileExit_Click()
{
    AppCmd("Quit");
}

void frmMain::cmdCancel_Click()
{
    AppCmd("Quit");
}

std::string frmMain::HelpPage(const std::string& programFolder, const std::string& programName,
                              const std::string& productName)
{
    const std::string help = programFolder + "/Help/";
    if (IsFile(help + programName + ".html"))
        return help + programName + ".html";
    if (IsFile(help + productName + ".html"))
        return help + productName + ".html";
    return help + "index.html";
}

void frmMain::mnuHelpContents_Click()
{
    const std::string programName = QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName().toStdString();
    const QString page = QString::fromStdString(
        HelpPage(programFolder_, programName.empty() ? kProgramName : programName, kProgramName));
    if (QFileInfo(page).fileName() != QStringLiteral("index.html")) {
        BrowseTo(page);
        return;
    }
    // The page shared with the harvester: its section on the editor.
    QUrl url = QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath());
    url.setFragment(QStringLiteral("editor"));
    BrowseTo(url.toString());
}

void frmMain::mnuHelpAbout_Click()
{
    // Modeless and without an owner: it stays while the editor is used.
    auto* about = new frmAbout(nullptr);
    about->setAttribute(Qt::WA_DeleteOnClose);
    about->InitFromVersion(QString::fromUtf8(kFileDescription), QString::fromUtf8(kProgramName),
                           QString::fromUtf8(kMakerSite));
    about->show();
    about_ = about;
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (!quitting_ && RowsChanged() && !dialogs_->OkCancel(this, tr("Quit"), tr("Are you sure?"))) {
        event->ignore();
        return;
    }
    quitting_ = false;
    // The window may be shown again: its rows, tables and layout stay until
    // it is destroyed ("Unload").
    if (about_)
        about_->close();
    event->accept();
}

void frmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (!layout_)
        return;
    layout_->RedrawLayout();
    AppCmd("Resize");
}

}  // namespace tabwright
