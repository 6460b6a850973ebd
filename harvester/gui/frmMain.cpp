#include "harvester/gui/frmMain.h"

#include "common/RtError.h"
#include "common/Twips.h"
#include "common/gui/clsLayout.h"
#include "common/gui/clsListViewRpt.h"
#include "common/gui/clsPath.h"
#include "common/gui/clsProductInfo.h"
#include "common/gui/frmAbout.h"
#include "common/gui/modAppFolder.h"
#include "common/gui/modBrowseTo.h"
#include "common/gui/modMsgBox.h"
#include "common/modUtil.h"
#include "harvester/FormTypeFromWorkbook.h"
#include "harvester/gui/clsSetFile.h"
#include "harvester/gui/dlgPreview.h"
#include "harvester/gui/modMain.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMutex>
#include <QMutexLocker>
#include <QPainter>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>

#include <climits>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <pthread.h>

namespace {

constexpr const char* kSite = "https://quorra.example.org";

// A control's place given in twips (1/1440 inch), as pixels: 15 to one.
QRect Twips(int left, int top, int width, int height)
{
    constexpr int k = kTwipsPerPixel;
    return QRect(left / k, top / k, width / k, height / k);
}

template <class W>
W* Place(W* w, const char* name, QRect geometry, const char* tag = nullptr)
{
    w->setObjectName(QString::fromLatin1(name));
    w->setGeometry(geometry);
    if (tag)
        clsLayout::setTag(w, QString::fromLatin1(tag));
    return w;
}

// The picture of the edit button: a pencil over a sheet.
QIcon EditIcon()
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(60, 60, 60));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 1.5, 10, 13));
    p.setPen(QPen(QColor(120, 120, 120), 1));
    for (int y = 5; y <= 11; y += 3)
        p.drawLine(QPointF(3.5, y + 0.5), QPointF(9.5, y + 0.5));
    p.setPen(QPen(QColor(200, 120, 20), 3, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(QPointF(7, 13), QPointF(14.5, 5.5));
    p.setPen(QPen(QColor(40, 40, 40), 1.5));
    p.drawLine(QPointF(5.8, 14.2), QPointF(7, 13));
    return QIcon(pm);
}

QString ErrorText(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

// The width the list wants for the widest text of a column (-1 without
// rows), or any width of at least `enough` when one text needs that much.
// Each text is measured once: laying text out is most of what a busy list
// costs, while a run sets the same few statuses again and again and the
// columns are fitted at every update. A run's paths are all new, and mostly
// longer than their column may grow: the first of them then ends the search.
int WidthHint(QTreeWidget* lv, int col, int enough = INT_MAX)
{
    static QString font;  // the font's key: no font may outlive the application
    static QHash<QString, int> widths[2];
    lv->ensurePolished();
    if (lv->font().key() != font || widths[0].size() + widths[1].size() > 50000) {
        font = lv->font().key();
        widths[0].clear();
        widths[1].clear();
    }
    const QAbstractItemModel* model = lv->model();
    int hint = -1;
    for (int row = 0, rows = lv->topLevelItemCount(); row < rows; ++row) {
        const QString text = lv->topLevelItem(row)->text(col);
        auto it = widths[col].constFind(text);
        if (it == widths[col].cend())
            it = widths[col].insert(text, lv->sizeHintForIndex(model->index(row, col)).width());
        hint = std::max(hint, *it);
        if (hint >= enough)
            break;
    }
    return hint;
}

// The File column as wide as its paths, up to half the list; the Status
// column takes the rest, or more when a reason is longer (the list then
// scrolls sideways), so that a failure can be read without hovering.
void FitStatusColumns(QTreeWidget* lv)
{
    if (lv->columnCount() < 2)
        return;
    const int room = lv->viewport()->width();
    const int file = std::min(WidthHint(lv, 0, room / 2 - 8) + 8, room / 2);
    lv->setColumnWidth(0, std::max(file, lv->header()->sectionSizeHint(0)));
    lv->setColumnWidth(1, std::max(room - lv->columnWidth(0), WidthHint(lv, 1) + 8));
}

// A row of the status list. Its tooltips are its texts, so that a text cut
// short by its column can be read whole; they are not stored twice.
class StatusItem : public QTreeWidgetItem {
public:
    using QTreeWidgetItem::QTreeWidgetItem;
    QVariant data(int column, int role) const override
    {
        return QTreeWidgetItem::data(column, role == Qt::ToolTipRole ? Qt::DisplayRole : role);
    }
};

// Brings the bar to `value` of `maximum` without painting it at once (as
// QProgressBar does when its value changes): it is painted with the rest of
// the window, and a run is not held up by it.
void SetBar(QProgressBar* bar, int maximum, int value, bool textVisible)
{
    if (bar->maximum() == maximum && bar->minimum() == 0 && bar->value() == value &&
        bar->isTextVisible() == textVisible)
        return;
    const bool updates = bar->updatesEnabled();
    bar->setUpdatesEnabled(false);
    bar->setRange(0, maximum);
    bar->setValue(value);
    bar->setTextVisible(textVisible);
    bar->setUpdatesEnabled(updates);
}

}  // namespace

// The thread runs are made on: started with the first run and kept, so that a
// run need not wait for a new thread to start.
class RunThread {
public:
    ~RunThread()  // lets a started or waiting job finish
    {
        {
            std::lock_guard lock(mu_);
            quit_ = true;
        }
        wake_.notify_one();
        if (thread_.joinable())
            thread_.join();
    }
    void Start(std::function<void()> job)  // one job at a time
    {
        {
            std::lock_guard lock(mu_);
            job_ = std::move(job);
        }
        if (!thread_.joinable()) {
            thread_ = std::thread([this] { Loop(); });
            pthread_setname_np(thread_.native_handle(), "batch run");
        }
        wake_.notify_one();
    }

private:
    void Loop()
    {
        std::unique_lock lock(mu_);
        for (;;) {
            wake_.wait(lock, [this] { return quit_ || job_; });
            if (!job_)
                return;
            const std::function<void()> job = std::move(job_);
            job_ = nullptr;
            lock.unlock();
            job();
            lock.lock();
        }
    }

    std::mutex mu_;
    std::condition_variable wake_;
    std::function<void()> job_;
    bool quit_ = false;
    std::thread thread_;
};

// The run's status list: called on the run's thread, shown on the window's.
// Reads are answered from the copy kept here, under a lock. The window takes
// what changed a few times a second (Show), however fast workbooks go by: a
// change per workbook sent to the window costs more than a small workbook's
// harvest.
class GuiStatusList : public MemoryStatusList {
public:
    explicit GuiStatusList(clsListViewRpt* view) : view_(view) {}

    void Clear() override
    {
        QMutexLocker lock(&mutex_);
        MemoryStatusList::Clear();
        changed_.clear();
        pending_.clear();
        cleared_ = true;
        shown_ = 0;
        current_ = -1;
    }
    void AddRow() override
    {
        QMutexLocker lock(&mutex_);
        MemoryStatusList::AddRow();
    }
    int Rows() const override
    {
        QMutexLocker lock(&mutex_);
        return MemoryStatusList::Rows();
    }
    std::string Data(int pRow, int pCol) const override
    {
        QMutexLocker lock(&mutex_);
        return MemoryStatusList::Data(pRow, pCol);
    }
    void setData(int pRow, int pCol, const std::string& pText) override
    {
        QMutexLocker lock(&mutex_);
        MemoryStatusList::setData(pRow, pCol, pText);
        if (static_cast<size_t>(pRow) < shown_ && Pending(pRow, pCol))  // rows not shown yet go over whole
            changed_.push_back({pRow, pCol});
        if (pCol == 1)
            current_ = pRow;
    }
    void setProgress(int finished, int total)
    {
        QMutexLocker lock(&mutex_);
        finished_ = finished;
        total_ = total;
    }

    // On the window's thread: brings the list and the bar up to date; the
    // row whose status changed last is scrolled into sight, when `scroll`
    // (else at the next call that scrolls).
    void Show(QProgressBar* bar, bool scroll = true)
    {
        // Only the texts are copied under the lock: the run waits for it.
        bool cleared;
        std::vector<std::string> added;  // File and Status of each new row
        std::vector<std::pair<std::pair<int, int>, std::string>> changed;
        int current, finished, total;
        {
            QMutexLocker lock(&mutex_);
            cleared = cleared_;
            cleared_ = false;
            const int rows = MemoryStatusList::Rows();
            for (int r = static_cast<int>(shown_); r < rows; ++r) {
                added.push_back(MemoryStatusList::Data(r, 0));
                added.push_back(MemoryStatusList::Data(r, 1));
            }
            shown_ = static_cast<size_t>(rows);
            for (const auto& [row, col] : changed_) {
                changed.push_back({{row, col}, MemoryStatusList::Data(row, col)});
                if (col < kNotedColumns)
                    pending_[row] = 0;
            }
            changed_.clear();
            current = current_;
            finished = finished_, total = total_;
        }
        QTreeWidget* lv = view_->LV();
        if (cleared)
            view_->Clear();
        if (!added.empty()) {
            QList<QTreeWidgetItem*> items;
            items.reserve(static_cast<qsizetype>(added.size() / 2));
            for (size_t i = 0; i < added.size(); i += 2)
                items << new StatusItem(
                    QStringList{QString::fromStdString(added[i]), QString::fromStdString(added[i + 1])});
            lv->addTopLevelItems(items);
        }
        for (const auto& [cell, text] : changed) {
            if (QTreeWidgetItem* item = lv->topLevelItem(cell.first))
                item->setText(cell.second, QString::fromStdString(text));
        }
        if (cleared || !added.empty() || !changed.empty()) {
            FitStatusColumns(lv);
            scroll_ = true;
        }
        // The row being worked on stays in sight; not before the run is
        // shown: the list would be painted scrolled, then again at its end.
        if (scroll_ && scroll) {
            scroll_ = false;
            if (QTreeWidgetItem* item = current >= 0 ? lv->topLevelItem(current) : nullptr) {
                lv->scrollToItem(item);
                // The columns just fitted may bring the sideways scroll bar, which the
                // list shows only once back in the event loop: the row would then be
                // under it. Its range is set now, so that the bar is shown before the
                // row is scrolled to again.
                QMetaObject::invokeMethod(lv, "updateGeometries");
                QMetaObject::invokeMethod(
                    lv,
                    [lv, current] {
                        if (QTreeWidgetItem* row = lv->topLevelItem(current))
                            lv->scrollToItem(row);
                    },
                    Qt::QueuedConnection);
            }
        }
        if (total >= 0)
            SetBar(bar, std::max(total, 1), finished, bar->isTextVisible());
    }

private:
    // Whether a cell is to be noted as changed: not when it already is (a
    // status changes several times between two showings, the last counts).
    bool Pending(int row, int col)
    {
        if (col >= kNotedColumns)
            return true;
        if (pending_.size() <= static_cast<size_t>(row))
            pending_.resize(shown_);
        const auto bit = static_cast<unsigned char>(1u << col);
        if (pending_[row] & bit)
            return false;
        pending_[row] |= bit;
        return true;
    }

    clsListViewRpt* view_;
    mutable QMutex mutex_;
    size_t shown_ = 0;                          // rows the window has
    std::vector<std::pair<int, int>> changed_;  // cells of shown rows changed since
    static constexpr int kNotedColumns = 8;     // a bit each in pending_; others are noted every time
    std::vector<unsigned char> pending_;        // per shown row, its columns in changed_
    bool cleared_ = false;
    bool scroll_ = false;  // to the current row, once the list is painted
    int current_ = -1;
    int finished_ = 0, total_ = -1;
};

frmMain::frmMain(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    CreateControls();
    CreateMenus();
    runner_ = std::make_unique<RunThread>();
    showTimer_ = new QTimer(this);
    showTimer_->setInterval(kShowRunMs);
    connect(showTimer_, &QTimer::timeout, this, &frmMain::ShowRun);
    startProcess_ = [](const QString& program, const QStringList& args, QString* error) {
        QProcess p;
        p.setProgram(program);
        p.setArguments(args);
        if (p.startDetached())
            return true;
        if (error)
            *error = p.errorString();
        return false;
    };
    Form_Load();
}

frmMain::~frmMain()
{
    if (running_)
        run_->RequestStop();
    runner_.reset();  // the run ends before what it uses goes
    Form_Unload();
}

void frmMain::CreateControls()
{
    Client = new QWidget(this);
    Client->setObjectName(QStringLiteral("Client"));
    setCentralWidget(Client);
    Client->setMinimumSize(1, 1);
    // The caption widths below were measured in an 8-point font; a larger
    // desktop font would cut "Output Directory:" short under its box.
    QFont small = Client->font();
    if (small.pointSizeF() > 8.0)
        small.setPointSizeF(8.0);
    Client->setFont(small);

    // Labels first, so that boxes drawn later lie over a long caption.
    Frame1 = Place(new QGroupBox(tr("Settings"), Client), "Frame1", Twips(120, 120, 8055, 1935), "W=1");
    Label1 = Place(new QLabel(tr("Form Type:"), Frame1), "Label1", Twips(120, 360, 1095, 285));
    Label6 = Place(new QLabel(tr("Input Directory:"), Frame1), "Label6", Twips(120, 720, 1335, 315));
    Label7 = Place(new QLabel(tr("Output Directory:"), Frame1), "Label7", Twips(120, 1080, 1335, 315));
    Label8 = Place(new QLabel(tr("Export Data to:"), Frame1), "Label8", Twips(120, 1440, 1335, 315));
    txtFormType = Place(new QLineEdit(Frame1), "txtFormType", Twips(1560, 360, 5175, 285), "W=1");
    cmdEditFormType = Place(new QPushButton(Frame1), "cmdEditFormType", Twips(6840, 360, 495, 315), "X=1");
    cmdEditFormType->setIcon(EditIcon());
    cmdEditFormType->setToolTip(tr("Edit the form definition"));
    cmdGetFormType = Place(new QPushButton(tr("..."), Frame1), "cmdGetFormType", Twips(7440, 360, 495, 315), "X=1");
    txtInDir = Place(new QLineEdit(Frame1), "txtInDir", Twips(1560, 720, 5775, 315), "W=1");
    cmdGetInDir = Place(new QPushButton(tr("..."), Frame1), "cmdGetInDir", Twips(7440, 720, 495, 315), "X=1");
    txtOutDir = Place(new QLineEdit(Frame1), "txtOutDir", Twips(1560, 1080, 5775, 315), "W=1");
    cmdGetOutDir = Place(new QPushButton(tr("..."), Frame1), "cmdGetOutDir", Twips(7440, 1080, 495, 315), "X=1");
    txtExportTo = Place(new QLineEdit(Frame1), "txtExportTo", Twips(1560, 1440, 5775, 315), "W=1");
    cmdGetExportTo = Place(new QPushButton(tr("..."), Frame1), "cmdGetExportTo", Twips(7440, 1440, 495, 315), "X=1");

    // Every caption whole and the same gap before each box: when the font
    // needs more room than the widths below give, the boxes start further right.
    {
        const int gap = (1560 - 120 - 1335) / kTwipsPerPixel;
        int width = 1335 / kTwipsPerPixel;
        for (QLabel* l : {Label1, Label6, Label7, Label8})
            width = std::max(width, l->sizeHint().width());
        for (QLabel* l : {Label1, Label6, Label7, Label8})
            l->resize(width, l->height());
        const int left = Label1->x() + width + gap;
        for (QLineEdit* box : {txtFormType, txtInDir, txtOutDir, txtExportTo})
            box->setGeometry(QRect(QPoint(left, box->y()), box->geometry().bottomRight()));
    }

    Label5 = Place(new QLabel(tr("Progress"), Client), "Label5", Twips(120, 2160, 2175, 255));
    Label2 = Place(new QLabel(tr("Save to:"), Client), "Label2", Twips(120, 3000, 8055, 375), "Y=1");
    // The bar beside "Progress" counts the workbooks of a run.
    prgRun = Place(new QProgressBar(Client), "prgRun", Twips(1080, 2160, 7095, 225), "W=1");
    prgRun->setRange(0, 1);
    prgRun->setValue(0);
    prgRun->setTextVisible(false);  // until a run counts something
    prgRun->setFormat(QStringLiteral("%v / %m"));
    ListView1 = Place(new QTreeWidget(Client), "ListView1", Twips(120, 2400, 8055, 1695), "W=1 H=1");
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    cmdPreview = Place(new QPushButton(tr("Preview"), Client), "cmdPreview", Twips(3960, 4200, 975, 375), "X=1 Y=1");
    cmdPreview->setToolTip(
        tr("What a run would append for the selected workbook, or the first one; nothing is written"));
    cmdGo = Place(new QPushButton(tr("Run"), Client), "cmdGo", Twips(5040, 4200, 975, 375), "X=1 Y=1");
    cmdView = Place(new QPushButton(tr("View"), Client), "cmdView", Twips(6120, 4200, 975, 375), "X=1 Y=1");
    cmdExit = Place(new QPushButton(tr("Exit"), Client), "cmdExit", Twips(7200, 4200, 975, 375), "X=1 Y=1");

    for (QLabel* l : {Label1, Label6, Label7, Label8, Label5, Label2})
        l->setFocusPolicy(Qt::NoFocus);
    for (QPushButton* b : {cmdEditFormType, cmdGetFormType, cmdGetInDir, cmdGetOutDir, cmdGetExportTo, cmdPreview,
                           cmdGo, cmdView, cmdExit})
        b->setAutoDefault(false);

    // Tab order: boxes and their buttons row by row, the list, then the buttons.
    QWidget* order[] = {txtFormType, cmdEditFormType, cmdGetFormType, txtInDir,   cmdGetInDir, txtOutDir, cmdGetOutDir,
                        txtExportTo, cmdGetExportTo,  ListView1,      cmdPreview, cmdGo,       cmdView,   cmdExit};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(cmdPreview, &QPushButton::clicked, this, &frmMain::cmdPreview_Click);
    connect(cmdGo, &QPushButton::clicked, this, &frmMain::cmdGo_Click);
    connect(cmdView, &QPushButton::clicked, this, &frmMain::cmdView_Click);
    connect(cmdExit, &QPushButton::clicked, this, [this] { AppCmd(QStringLiteral("exit"), {}); });
    connect(cmdEditFormType, &QPushButton::clicked, this, &frmMain::cmdEditFormType_Click);
    connect(cmdGetFormType, &QPushButton::clicked, this, &frmMain::cmdGetFormType_Click);
    connect(cmdGetInDir, &QPushButton::clicked, this, &frmMain::cmdGetInDir_Click);
    connect(cmdGetOutDir, &QPushButton::clicked, this, &frmMain::cmdGetOutDir_Click);
    connect(cmdGetExportTo, &QPushButton::clicked, this, &frmMain::cmdGetExportTo_Click);

    // The client area opens at the size its controls are laid out for.
    Client->resize(kDesignWidth / kTwipsPerPixel, kDesignHeight / kTwipsPerPixel);
    Client->installEventFilter(this);
}

void frmMain::CreateMenus()
{
    mnuFile = menuBar()->addMenu(tr("&File"));
    mnuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuFileOpen = mnuFile->addAction(tr("&Open"), this, &frmMain::mnuFileOpen_Click);
    mnuFileSave = mnuFile->addAction(tr("&Save"), this, &frmMain::mnuFileSave_Click);
    mnuFileSaveAs = mnuFile->addAction(tr("Save &As"), this, &frmMain::mnuFileSaveAs_Click);
    mnuFile->addSeparator();
    mnuFileNewFormType =
        mnuFile->addAction(tr("&New Form Type from Workbook..."), this, &frmMain::mnuFileNewFormType_Click);
    mnuFile->addSeparator();
    mnuFileExit = mnuFile->addAction(tr("E&xit"), this, [this] { AppCmd(QStringLiteral("exit"), {}); });

    mnuHelp = menuBar()->addMenu(tr("&Help"));
    mnuHelp->setObjectName(QStringLiteral("mnuHelp"));
    mnuHelpContents = mnuHelp->addAction(tr("&Contents"), this, [this] { BrowseTo(product_->Help); });
    mnuHelpContents->setShortcut(QKeySequence(Qt::Key_F1));
    mnuHelpContents->setShortcutContext(Qt::ApplicationShortcut);
    mnuHelp->addSeparator();
    mnuHelpFAQ = mnuHelp->addAction(tr("&FAQ"), this, [this] { BrowseTo(product_->FAQURL); });
    mnuHelpSupport = mnuHelp->addAction(tr("&Support"), this, [this] { BrowseTo(product_->SupportURL); });
    mnuHelp->addSeparator();
    mnuHelpAbout = mnuHelp->addAction(tr("&About"), this, &frmMain::mnuHelpAbout_Click);

    const std::pair<QAction*, const char*> names[] = {
        {mnuFileOpen, "mnuFileOpen"},     {mnuFileSave, "mnuFileSave"},
        {mnuFileSaveAs, "mnuFileSaveAs"}, {mnuFileNewFormType, "mnuFileNewFormType"},
        {mnuFileExit, "mnuFileExit"},     {mnuHelpContents, "mnuHelpContents"},
        {mnuHelpFAQ, "mnuHelpFAQ"},       {mnuHelpSupport, "mnuHelpSupport"},
        {mnuHelpAbout, "mnuHelpAbout"}};
    for (const auto& [action, name] : names)
        action->setObjectName(QString::fromLatin1(name));
}

void frmMain::Form_Load()
{
    product_ = std::make_unique<clsProductInfo>(DesignIcon());
    product_->Site = QString::fromLatin1(kSite);
    product_->Setup();
    product_->Load();

    setWindowIcon(product_->Icon);
    setWindowTitle(product_->Title);
    setAppTitle(product_->Title);

    // The window takes the size its controls are laid out for before the layout records it.
    resize(kDesignWidth / kTwipsPerPixel, kDesignHeight / kTwipsPerPixel + menuBar()->sizeHint().height());
    Client->resize(kDesignWidth / kTwipsPerPixel, kDesignHeight / kTwipsPerPixel);
    layout_ = std::make_unique<clsLayout>(clsLayout::Revision::Harvester);
    layout_->SetLayout(Client);

    SetupControls();
}

void frmMain::Form_Unload()
{
    layout_.reset();
}

std::unique_ptr<clsPath> frmMain::MakePath(FileDialog* dlg, FolderBrowser* bff, const QString& title)
{
    auto p = std::make_unique<clsPath>();
    p->setCommonDialogControl(dlg);
    p->setBrowseFFControl(bff);
    p->setTitle(title);
    return p;
}

void frmMain::SetupControls()
{
    setFile_ = std::make_unique<clsSetFile>();

    cDlg_ = std::make_unique<QtFileDialog>(this);
    BrowseFF1_ = std::make_unique<QtFolderBrowser>(this);
    ownPreview_ = std::make_unique<QtPreviewDialog>();
    preview_ = ownPreview_.get();
    pathSettings_ = MakePath(cDlg_.get(), BrowseFF1_.get(), tr("Open"));
    pathInDir_ = MakePath(cDlg_.get(), BrowseFF1_.get(), tr("Choose Input Directory"));
    pathOutDir_ = MakePath(cDlg_.get(), BrowseFF1_.get(), tr("Choose Output Directory"));
    pathFormType_ = MakePath(cDlg_.get(), BrowseFF1_.get(), tr("Choose Form Type"));
    pathExportTo_ = MakePath(cDlg_.get(), BrowseFF1_.get(), tr("Pick or Enter a File for the Data"));
    pathTemplate_ = MakePath(cDlg_.get(), BrowseFF1_.get(), tr("Choose the Blank Form"));

    lvw_ = std::make_unique<clsListViewRpt>(clsListViewRpt::Revision::Harvester);
    lvw_->setLV(ListView1);
    lvw_->setCols(2);
    lvw_->ColumnHeaderWidth(0, tr("File"), 85);
    lvw_->ColumnHeaderWidth(1, tr("Status"), 15);
    lvw_->Resize();
    FitStatusColumns(ListView1);
    ListView1->viewport()->installEventFilter(this);
}

void frmMain::setDialogs(FileDialog* files, FolderBrowser* folders)
{
    for (clsPath* p : {pathSettings_.get(), pathInDir_.get(), pathOutDir_.get(), pathFormType_.get(),
                       pathExportTo_.get(), pathTemplate_.get()}) {
        p->setCommonDialogControl(files);
        p->setBrowseFFControl(folders);
    }
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Client && event->type() == QEvent::Resize)
        Form_Resize();
    // A scroll bar that comes or goes changes the list's room, not the window's.
    else if (event->type() == QEvent::Resize && watched == ListView1->viewport())
        FitStatusColumns(ListView1);
    return QMainWindow::eventFilter(watched, event);
}

void frmMain::Form_Resize()
{
    if (layout_)
        layout_->RedrawLayout();
    if (lvw_) {
        lvw_->Resize();
        FitStatusColumns(ListView1);
    }
}

// ---- Commands ----------------------------------------------------------

void frmMain::AppCmd(const QString& pCmd, const QVariantList& pArg)
{
    const QString cmd = pCmd.toLower();
    if (cmd == u"open") {
        if (!pArg.isEmpty())
            LoadSettings(pArg.at(0).toString());
    } else if (cmd == u"save") {
        SaveSettings();
    } else if (cmd == u"saveas") {
        if (!pArg.isEmpty())
            SaveSettingsAs(pArg.at(0).toString());
    } else if (cmd == u"go") {
        RunBatch();
    } else if (cmd == u"exit") {
        close();
    }
}

void frmMain::ShowError(const QString& text)
{
    MsgBoxOk(this, text, QMessageBox::Warning);
}

// ---- Settings file -------------------------------------------------------

void frmMain::LoadSettings(const QString& path)
{
    // Read into a new object first: a failed read leaves the current file alone.
    clsSetFile read;
    read.setFn(path);
    try {
        read.Load();
        if (read.Rows() < 4)
            throw rt::RtError(rt::InputPastEndOfFile,
                              "Cannot read the settings file " + path.toStdString() + ": it has " +
                                  std::to_string(read.Rows()) + " lines where four paths are expected",
                              {});
    } catch (const std::exception& e) {
        ShowError(ErrorText(e));  // "Cannot read the settings file <path>: <reason>"
        return;
    }
    *setFile_ = read;
    txtFormType->setText(setFile_->Data(0));
    txtInDir->setText(setFile_->Data(1));
    txtOutDir->setText(setFile_->Data(2));
    txtExportTo->setText(setFile_->Data(3));
}

bool frmMain::SaveSettings()
{
    if (setFile_->Rows() < 4)
        setFile_->setRows(4);
    setFile_->setData(0, txtFormType->text());
    setFile_->setData(1, txtInDir->text());
    setFile_->setData(2, txtOutDir->text());
    setFile_->setData(3, txtExportTo->text());
    try {
        setFile_->Save();
    } catch (const std::exception& e) {
        ShowError(ErrorText(e));  // "Cannot write the settings file <path>: <reason>"
        return false;
    }
    return true;
}

void frmMain::SaveSettingsAs(const QString& path)
{
    if (QFileInfo::exists(path)) {
        const QString question = path + tr(" already exists.") + QLatin1Char('\n') + tr("Do you want to replace it?");
        if (!MsgBoxYes(this, question))
            return;
    }
    // A name that cannot be written does not become the current file.
    const QString previous = setFile_->fn();
    setFile_->setFn(path);
    if (!SaveSettings())
        setFile_->setFn(previous);
}

void frmMain::mnuFileOpen_Click()
{
    pathSettings_->setTitle(tr("Open"));
    pathSettings_->setInitDir(AppFile(QStringLiteral("Settings")));
    pathSettings_->setFilter(tr("Settings Files (*.set) | *.set"));
    if (pathSettings_->ChooseExistingFile() && pathSettings_->PathIsPresent())
        AppCmd(QStringLiteral("Open"), {pathSettings_->Path()});
}

void frmMain::mnuFileSave_Click()
{
    if (!setFile_->fn().isEmpty())
        AppCmd(QStringLiteral("Save"), {});
    else
        mnuFileSaveAs_Click();
}

void frmMain::mnuFileSaveAs_Click()
{
    pathSettings_->setTitle(tr("Save As"));
    pathSettings_->setInitDir(AppFile(QStringLiteral("Settings")));
    pathSettings_->setFilter(tr("Settings Files (*.set) | *.set"));
    if (pathSettings_->ChooseFile() && pathSettings_->PathIsPresent())
        AppCmd(QStringLiteral("SaveAs"), {pathSettings_->Path()});
}

// A form definition from a blank form's defined names, written into the
// FormTypes folder under the workbook's name and opened in the editor.
void frmMain::mnuFileNewFormType_Click()
{
    pathTemplate_->setInitDir(QDir::homePath());
    pathTemplate_->setFilter(tr("Workbooks (*.xls *.xlsx *.xlsm *.xlsb *.ods)|*.xls;*.xlsx;*.xlsm;*.xlsb;*.ods|"
                                "All Files (*.*)|*.*"));
    if (!pathTemplate_->ChooseExistingFile() || !pathTemplate_->PathIsPresent())
        return;
    const QString book = pathTemplate_->Path();
    const QString form = AppFile(QStringLiteral("FormTypes")) + QLatin1Char('/') + QFileInfo(book).completeBaseName() +
                         QStringLiteral(".dat");
    const bool exists = QFileInfo::exists(form);
    if (exists) {
        const QString question = form + tr(" already exists.") + QLatin1Char('\n') + tr("Do you want to replace it?");
        if (!MsgBoxYes(this, question))
            return;
    }
    try {
        DefineFormType(book.toStdString(), form.toStdString(), exists);
    } catch (const std::exception& e) {
        // The workbook is named once: in the first line, or in the reason
        // when it names the workbook in the middle.
        const QString why = QString::fromStdString(WithoutPath(e.what(), book.toStdString()));
        ShowError((why.contains(book) ? tr("No form definition was made:")
                                      : tr("No form definition was made from %1:").arg(book)) +
                  QLatin1Char('\n') + why);
        return;
    }
    txtFormType->setText(form);
    cmdEditFormType_Click();
}

// ---- Help ----------------------------------------------------------------

void frmMain::mnuHelpAbout_Click()
{
    frmAbout about(this);
    about.Init(*product_);
    about.exec();
}

// ---- Browse buttons ------------------------------------------------------

void frmMain::cmdGetFormType_Click()
{
    pathFormType_->setInitDir(AppFile(QStringLiteral("FormTypes")));
    pathFormType_->setPath(txtFormType->text());
    pathFormType_->setFilter(tr("Form Definition Files (*.dat)|*.dat"));
    pathFormType_->ChooseExistingFile();
    txtFormType->setText(pathFormType_->Path());
}

void frmMain::cmdGetInDir_Click()
{
    pathInDir_->setInitDir(QDir::homePath());
    pathInDir_->setPath(txtInDir->text());
    pathInDir_->ChooseDir();
    txtInDir->setText(pathInDir_->Path());
}

void frmMain::cmdGetOutDir_Click()
{
    pathOutDir_->setInitDir(QDir::homePath());
    pathOutDir_->setPath(txtOutDir->text());
    pathOutDir_->ChooseDir();
    txtOutDir->setText(pathOutDir_->Path());
}

void frmMain::cmdGetExportTo_Click()
{
    pathExportTo_->setInitDir(QDir::homePath());
    pathExportTo_->setPath(txtExportTo->text());
    pathExportTo_->setFilter(tr("Comma Separated Value Files (*.csv)|*.csv") + QLatin1Char('|') +
                             tr("Data Files (*.dat)|*.dat") + QLatin1Char('|') + tr("All Files (*.*)|*.*"));
    pathExportTo_->ChooseFile();
    txtExportTo->setText(pathExportTo_->Path());
}

// ---- View and edit ---------------------------------------------------------

bool frmMain::StartProgram(const QString& program, const QStringList& args)
{
    QString error;
    if (startProcess_(program, args, &error))
        return true;
    ShowError(tr("Cannot start %1:\n%2").arg(program, error.isEmpty() ? tr("unknown error") : error));
    return false;
}

QStringList frmMain::TextEditorCommand(const QString& file)
{
    // $VISUAL first (it may carry options of its own), then a desktop text
    // editor on PATH; an empty list means the desktop's default application.
    const QString visual = qEnvironmentVariable("VISUAL").trimmed();
    if (!visual.isEmpty()) {
        QStringList cmd = QProcess::splitCommand(visual);
        if (!cmd.isEmpty()) {
            cmd << file;
            return cmd;
        }
    }
    for (const char* editor : {"gnome-text-editor", "gedit", "kate", "kwrite", "mousepad", "pluma", "xed", "featherpad",
                               "leafpad", "geany"}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(editor));
        if (!found.isEmpty())
            return {found, file};
    }
    return {};
}

void frmMain::cmdView_Click()
{
    const QString file = txtExportTo->text();
    if (file.isEmpty())
        return;
    const QStringList cmd = TextEditorCommand(file);
    if (!cmd.isEmpty()) {
        StartProgram(cmd.first(), cmd.mid(1));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath())))
        ShowError(tr("Cannot open %1:\nno text editor was found.").arg(file));
}

void frmMain::cmdEditFormType_Click()
{
    const QStringList cmd = EditFormTypeCommand(txtFormType->text());
    StartProgram(cmd.first(), cmd.mid(1));
}

// ---- The run -------------------------------------------------------------

void frmMain::ResetProgress()
{
    SetBar(prgRun, 1, 0, false);
}

void frmMain::cmdPreview_Click()
{
    if (running_)
        return;
    BatchPaths paths;
    paths.formType = txtFormType->text().toStdString();
    paths.inDir = txtInDir->text().toStdString();
    paths.outDir = txtOutDir->text().toStdString();
    paths.dataFile = txtExportTo->text().toStdString();
    std::string selected;
    if (QTreeWidgetItem* item = ListView1->currentItem(); item && item->isSelected())
        selected = item->text(0).toStdString();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const PreviewTable table = PreviewWorkbook(paths, selected);
    QApplication::restoreOverrideCursor();
    if (!table.error.empty())
        ShowError(QString::fromStdString(table.error));
    else
        preview_->Show(this, table);
}

void frmMain::cmdGo_Click()
{
    if (txtFormType->text().isEmpty() || txtInDir->text().isEmpty() || txtExportTo->text().isEmpty()) {
        ResetProgress();  // an earlier run's count is no longer true
        return;
    }
    RunBatch();  // which starts the count again, painted with the run
}

void frmMain::RunBatch()
{
    if (running_)
        return;  // one run at a time
    BatchPaths paths;
    paths.formType = txtFormType->text().toStdString();
    paths.inDir = txtInDir->text().toStdString();
    paths.outDir = txtOutDir->text().toStdString();
    paths.dataFile = txtExportTo->text().toStdString();

    runList_ = std::make_unique<GuiStatusList>(lvw_.get());
    run_ = std::make_unique<clsBatchRun>(*runList_);
    run_->setPaths(paths);
    run_->setJobs(static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));  // as glean
    GuiStatusList* list = runList_.get();
    run_->onListed = [list](int row, const std::string&) { list->setProgress(0, row + 1); };
    run_->onProgress = [this, list](int finished, int total) {
        list->setProgress(finished, total);
        // The list is complete: the window takes it in while the run goes on,
        // so that little is left for the run's end.
        if (finished == 1)
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (runList_)
                        runList_->Show(prgRun, false);
                },
                Qt::QueuedConnection);
    };
    lastResult_ = BatchResult();
    PaintRun(false);
    SetBar(prgRun, 1, 0, true);
    cmdGo->setEnabled(false);
    cmdPreview->setEnabled(false);  // the run holds the data file

    running_ = true;
    runner_->Start([this] {
        try {
            lastResult_ = run_->RunBatch();
        } catch (const std::exception& e) {
            lastResult_ = BatchResult();
            lastResult_.configError = e.what();
        }
        // The window then takes the list as the run left it (OnRunFinished shows it once more).
        QMetaObject::invokeMethod(this, &frmMain::OnRunFinished, Qt::QueuedConnection);
    });
    showTimer_->start();
}

// The bar, the Run and Preview buttons and the list's rows and header are
// not painted before a run is first shown: a short run paints them once, at
// its end, and does not spend its start painting (the header's columns are
// fitted again as the list is emptied and filled, its scroll bar going and
// coming).
void frmMain::PaintRun(bool paint)
{
    for (QWidget* w :
         std::initializer_list<QWidget*>{prgRun, cmdGo, cmdPreview, ListView1->viewport(), ListView1->header()})
        w->setUpdatesEnabled(paint);
}

void frmMain::ShowRun()
{
    if (runList_) {
        runList_->Show(prgRun);
        PaintRun(true);
        emit runShown();
    }
}

void frmMain::OnRunFinished()
{
    showTimer_->stop();
    ShowRun();  // the list as the run left it
    running_ = false;
    run_.reset();
    runList_.reset();
    cmdGo->setEnabled(true);
    cmdPreview->setEnabled(true);

    if (closeAfterRun_) {
        emit runFinished();
        close();
        return;
    }
    if (!lastResult_.configError.empty() || lastResult_.listed == 0)
        ResetProgress();  // nothing was counted
    if (!lastResult_.configError.empty())
        ShowError(QString::fromStdString(lastResult_.configError));
    else if (!lastResult_.message.empty())
        MsgBoxOk(this, QString::fromStdString(lastResult_.message),
                 lastResult_.failures.empty() && !lastResult_.stopped ? QMessageBox::Information
                                                                      : QMessageBox::Warning);
    emit runFinished();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (running_) {
        event->ignore();
        if (closeAfterRun_)
            return;  // already stopping
        if (!MsgBoxYes(this, tr("A run is in progress.\nStop after the current workbook and close?")))
            return;
        if (running_) {
            closeAfterRun_ = true;
            run_->RequestStop();
            return;
        }
        event->accept();  // the run ended while the question was open: nothing is left to stop
    }
    Form_Unload();
    QMainWindow::closeEvent(event);
}
