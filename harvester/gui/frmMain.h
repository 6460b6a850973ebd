#pragma once
// The harvester's main window: the four paths of a job (form definition,
// input folder, output folder, data file) with browse buttons, the status
// list of the current run, and Preview, Run, View and Exit. Preview shows
// what a run would append for the workbook selected in the list (or the first
// one of the input) without writing anything.
//
// Every window-wide command (open, save, saveas, go, exit) enters through
// AppCmd. "go" hands the batch run to a worker thread (started with the first
// run and kept for the next); the window takes the run's status list a few
// times a second, so the list shows each workbook's status as it changes
// while the window stays responsive.
// Closing during a run asks whether to stop after the current workbook.
//
// Controls are placed in twips (15 to a pixel) in a client area of
// kDesignWidth x kDesignHeight; the layout manager moves and widens them by
// their "Tag" options as the window grows.
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <functional>
#include <memory>

#include "harvester/clsBatchRun.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QProgressBar;
class QPushButton;
class QTimer;
class QTreeWidget;
class clsLayout;
class clsListViewRpt;
class clsPath;
class clsProductInfo;
class clsSetFile;
class FileDialog;
class FolderBrowser;
class PreviewDialog;
class GuiStatusList;
class RunThread;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kDesignWidth = 8310;  // the client area laid out below, twips
    static constexpr int kDesignHeight = 4605;

    // Runs the load handler: product information, caption and icon, layout
    // manager, SetupControls.
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Commands, matched in any letter case: "open" (pArg[0]: settings file),
    // "save", "saveas" (pArg[0]: new settings file), "go", "exit". Any other
    // word is ignored without a message.
    void AppCmd(const QString& pCmd, const QVariantList& pArg);

    // Tests stand in for the dialogs and for starting programs.
    void setDialogs(FileDialog* files, FolderBrowser* folders);
    void setPreviewDialog(PreviewDialog* dialog) { preview_ = dialog; }
    using ProcessStarter = std::function<bool(const QString& program, const QStringList& args, QString* error)>;
    void setProcessStarter(ProcessStarter starter) { startProcess_ = std::move(starter); }

    bool IsRunning() const { return running_; }
    const BatchResult& LastResult() const { return lastResult_; }
    clsListViewRpt* StatusListView() const { return lvw_.get(); }
    clsSetFile* Settings() const { return setFile_.get(); }
    clsProductInfo* ProductInfo() const { return product_.get(); }
    clsPath* SettingsChooser() const { return pathSettings_.get(); }

    // The plain text editor that View opens the data file in: $VISUAL, else the
    // first desktop text editor found on PATH; empty: the desktop's default.
    static QStringList TextEditorCommand(const QString& file);

    // The controls, by object name. Frame1 is the "Settings" box around the
    // four path rows; their captions are Label1 "Form Type:", Label6 "Input
    // Directory:", Label7 "Output Directory:" and Label8 "Export Data to:".
    // Label5 captions the progress bar; Label2 lies under the list and is
    // never seen.
    QWidget* Client;
    QGroupBox* Frame1;
    QLabel* Label1;
    QLineEdit* txtFormType;
    QPushButton* cmdEditFormType;
    QPushButton* cmdGetFormType;
    QLabel* Label6;
    QLineEdit* txtInDir;
    QPushButton* cmdGetInDir;
    QLabel* Label7;
    QLineEdit* txtOutDir;
    QPushButton* cmdGetOutDir;
    QLabel* Label8;
    QLineEdit* txtExportTo;
    QPushButton* cmdGetExportTo;
    QLabel* Label5;
    QProgressBar* prgRun;
    QLabel* Label2;
    QTreeWidget* ListView1;
    QPushButton* cmdPreview;
    QPushButton* cmdGo;
    QPushButton* cmdView;
    QPushButton* cmdExit;

    QMenu* mnuFile;
    QAction* mnuFileOpen;
    QAction* mnuFileSave;
    QAction* mnuFileSaveAs;
    QAction* mnuFileNewFormType;
    QAction* mnuFileExit;
    QMenu* mnuHelp;
    QAction* mnuHelpContents;
    QAction* mnuHelpFAQ;
    QAction* mnuHelpSupport;
    QAction* mnuHelpAbout;

    // How often a run's list and bar are brought up to date.
    static constexpr int kShowRunMs = 50;

signals:
    // Emitted on this thread when a run has ended and its message was shown.
    void runFinished();
    // Emitted each time the list and bar were brought up to date during a run.
    void runShown();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void Form_Unload();
    void CreateControls();
    void CreateMenus();
    void SetupControls();
    std::unique_ptr<clsPath> MakePath(FileDialog* dlg, FolderBrowser* bff, const QString& title);

    void LoadSettings(const QString& path);
    bool SaveSettings();
    void SaveSettingsAs(const QString& path);
    void RunBatch();
    void PaintRun(bool paint);
    void ShowRun();
    void OnRunFinished();

    void mnuFileOpen_Click();
    void mnuFileSave_Click();
    void mnuFileSaveAs_Click();
    void mnuFileNewFormType_Click();
    void mnuHelpAbout_Click();
    void cmdPreview_Click();
    void cmdGo_Click();
    void cmdView_Click();
    void cmdEditFormType_Click();
    void cmdGetFormType_Click();
    void cmdGetInDir_Click();
    void cmdGetOutDir_Click();
    void cmdGetExportTo_Click();
    void Form_Resize();

    void ShowError(const QString& text);
    void ResetProgress();
    bool StartProgram(const QString& program, const QStringList& args);

    std::unique_ptr<clsProductInfo> product_;
    std::unique_ptr<clsLayout> layout_;
    std::unique_ptr<clsSetFile> setFile_;
    std::unique_ptr<FileDialog> cDlg_;
    std::unique_ptr<FolderBrowser> BrowseFF1_;
    std::unique_ptr<PreviewDialog> ownPreview_;
    PreviewDialog* preview_ = nullptr;
    std::unique_ptr<clsPath> pathSettings_, pathInDir_, pathOutDir_, pathFormType_, pathExportTo_, pathTemplate_;
    std::unique_ptr<clsListViewRpt> lvw_;
    ProcessStarter startProcess_;

    std::unique_ptr<RunThread> runner_;
    bool running_ = false;
    QTimer* showTimer_ = nullptr;
    std::unique_ptr<GuiStatusList> runList_;
    std::unique_ptr<clsBatchRun> run_;
    BatchResult lastResult_;
    bool closeAfterRun_ = false;
};
