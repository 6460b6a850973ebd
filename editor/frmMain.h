#pragma once
// Tabwright's main window. It has no fields of its own: loading it ("load")
// reads the specification file and creates, for every row of it, a label
// lbl20.. and an input cbo20.. (a text box, or a combo box with a pick list)
// above the row list, and one list column. "open" reads a data file and moves
// its rows into the list's model (cells stay the file's bytes); the record
// buttons edit the model only; Save As lends the rows back to the data table
// and writes it ("save"), under the data file's lock, asking first when that
// would lose rows that were not read or replace a file changed on disk.
// Menus, buttons and window events all reach the logic through AppCmd.
//
// Every command catches the errors of the files it reads or writes and shows
// them; only a bad specification file at load time ends the program.
#include <QMainWindow>
#include <QPointer>

#include <memory>
#include <string>
#include <vector>

#include "common/clsDatFile.h"

class QAction;
class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QTreeView;
class clsCombo;
class clsLayout;
class clsListViewRpt;
class frmAbout;

// The editor's names, kept apart from the harvester's (both have a frmMain
// and a Main) since the tests link both programs' libraries.
namespace tabwright {

class EditorDialogs;
class RowTableModel;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    // specFile: the specification file chosen at start-up; programFolder: the
    // folder of pick lists and help pages given by relative names. dialogs:
    // the questions and file dialogs (Qt's own when null).
    frmMain(std::string specFile, std::string programFolder, EditorDialogs* dialogs = nullptr,
            QWidget* parent = nullptr);
    ~frmMain() override;

    // The window's load: builds the entry form ("load"), then the layout.
    // False when the specification file was missing or malformed; its
    // message has been shown and the program is to end.
    bool Load();

    // pCmd is matched in lower case; commands with an argument read pArg[0].
    void AppCmd(const std::string& pCmd, const std::vector<std::string>& pArg = {});

    // File > Open is offered only to an editor started without a data file.
    void setFileOpenEnabled(bool enabled);

    // Fixed controls.
    QTreeView* ListView1 = nullptr;  // a view over the rows' model
    QPushButton* cmdAdd = nullptr;
    QPushButton* cmdDel = nullptr;
    QPushButton* cmdMoveUp = nullptr;
    QPushButton* cmdMoveDown = nullptr;
    QPushButton* cmdSave = nullptr;
    QPushButton* cmdCancel = nullptr;
    QMenu* mnuFile = nullptr;
    QAction* mnuFileOpen = nullptr;
    QAction* mnuFileExit = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuHelpContents = nullptr;
    QAction* mnuHelpAbout = nullptr;

    // The client area's size, in twips, that the controls' positions are laid
    // out for; the window opens at it.
    static constexpr int kDesignWidth = 8880;
    static constexpr int kDesignHeight = 3675;

    // What the window holds, for the program's checks and its tests.
    const clsDatFile* DataTable() const { return data_.get(); }
    const clsDatFile* SpecTable() const { return spec_.get(); }
    clsListViewRpt* List() const { return list_.get(); }
    int FieldCount() const { return int(fields_.size()); }
    QWidget* Field(int j) const;
    QLabel* FieldLabel(int j) const;
    clsCombo* Combo(int j) const;
    QString FieldText(int j) const;
    void setFieldText(int j, const QString& text);
    // The list's rows, and whether they differ from the last opened or saved.
    std::vector<std::vector<std::string>> ListRows() const;
    bool RowsChanged() const;
    bool LoadFailed() const { return loadFailed_; }

    // Event handlers, also driven by tests.
    void ListView1_ItemClick();
    // The user moved the selection (mouse or keyboard): the fields follow it.
    void ListView1_SelectionChanged();
    void cmdAdd_Click();
    void cmdDel_Click();
    void cmdMoveUp_Click();
    void cmdMoveDown_Click();
    void cmdSave_Click();
    void cmdCancel_Click();
    void mnuFileOpen_Click();
    void mnuFileExit_Click();
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();

    // The help page: Help/<program>.html, else Help/<product>.html, else
    // Help/index.html, all in the program folder.
    static std::string HelpPage(const std::string& programFolder, const std::string& programName,
                                const std::string& productName);
    // "Data (*.dat) | *.dat" or "Comma Separated Values (*.csv) | *.csv".
    static std::string FileFilter(const std::string& fileType);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void BuildControls();
    void BuildMenus();
    void Dispatch(const std::string& cmd, const std::vector<std::string>& pArg);
    void AppLoad();
    void AppUnload();
    void AppResize();
    void AppQuit();
    void AppOpen(const std::string& path);
    void AppSave(const std::string& path);
    bool AddRecord();
    bool UpdateRecord();
    bool FieldsFitTheFile();
    bool IsOpenedFile(const std::string& path) const;
    void UpdateButtons();
    void FillList(clsDatFile& table);
    void ShowError(const std::string& text);
    void SpecError(const std::string& text);

    std::string specFile_;
    std::string programFolder_;
    EditorDialogs* dialogs_;
    std::unique_ptr<EditorDialogs> ownDialogs_;

    QWidget* client_ = nullptr;
    std::unique_ptr<clsLayout> layout_;
    std::unique_ptr<clsDatFile> spec_;
    std::unique_ptr<clsDatFile> data_;
    std::unique_ptr<clsListViewRpt> list_;
    std::vector<std::unique_ptr<clsCombo>> combos_;  // one slot per field; empty for text boxes
    std::vector<QWidget*> fields_;
    std::vector<QLabel*> labels_;
    RowTableModel* model_ = nullptr;
    uint64_t savedChanges_ = 0;  // the model's change count as last opened or saved

    // The file as last opened or saved, to notice a change by another program.
    struct FileState {
        std::string path;
        bool existed = false;
        long long size = 0;
        long long mtimeNs = 0;
        bool SameContentAs(const FileState& o) const
        {
            return existed == o.existed && size == o.size && mtimeNs == o.mtimeNs;
        }
    };
    static FileState StateOf(const std::string& path);
    FileState opened_;
    // The opened file's rows that the list does not show, which a save over
    // that file would lose.
    std::string partialPath_;
    int rowsNotShown_ = 0;
    static bool SameFile(const std::string& a, const std::string& b);
    int quiet_ = 0;  // the program itself is changing the list's selection
    QPointer<frmAbout> about_;
    bool loadFailed_ = false;
    bool quitting_ = false;
    bool unloaded_ = false;
};

}  // namespace tabwright
