#pragma once
// One path the user can pick: an existing file, any file name, or a folder.
// The chooser keeps its dialog settings and its last path between uses.
// The dialogs are behind two small interfaces so that tests can answer in
// place of the user; QtFileDialog and QtFolderBrowser are the real ones.
#include <QString>

class QWidget;

// The file dialog's part of the work. `fileName` is shown first and, on
// true, receives the full path chosen. Filter is "Desc|pattern|Desc|pattern".
class FileDialog {
public:
    virtual ~FileDialog() = default;
    virtual bool ShowOpen(const QString& title, const QString& filter, const QString& initDir, bool mustExist,
                          QString& fileName) = 0;
};

// The folder browser's part: `path` is shown first and, on true, receives
// the chosen folder.
class FolderBrowser {
public:
    virtual ~FolderBrowser() = default;
    virtual bool Show(const QString& title, QString& path) = 0;
};

class QtFileDialog : public FileDialog {
public:
    explicit QtFileDialog(QWidget* parent = nullptr) : parent_(parent) {}
    bool ShowOpen(const QString& title, const QString& filter, const QString& initDir, bool mustExist,
                  QString& fileName) override;
    // "Settings Files (*.set) | *.set" as Qt's name filter list.
    static QString QtFilter(const QString& filter);

private:
    QWidget* parent_;
};

class QtFolderBrowser : public FolderBrowser {
public:
    explicit QtFolderBrowser(QWidget* parent = nullptr) : parent_(parent) {}
    bool Show(const QString& title, QString& path) override;

private:
    QWidget* parent_;
};

class clsPath {
public:
    void setCommonDialogControl(FileDialog* pDlg) { dlg_ = pDlg; }
    void setBrowseFFControl(FolderBrowser* pBFF) { bff_ = pBFF; }

    void setTitle(const QString& pStr) { title_ = pStr; }
    QString Title() const { return title_; }
    void setInitDir(const QString& pPath) { initDir_ = pPath; }
    QString InitDir() const { return initDir_; }
    void setFilter(const QString& pStr) { filter_ = pStr; }
    QString Filter() const { return filter_; }
    void setPath(const QString& pPath) { path_ = pPath; }
    QString Path() const { return path_; }

    bool PathIsPresent() const { return !path_.isEmpty(); }
    // Path without a leading InitDir (letters compared in any case). For
    // other callers of the chooser; neither program reads it.
    QString RelativePath() const;

    // True and Path set when the user confirmed; false and Path unchanged
    // otherwise (also when no dialog is attached). A relative Path is shown
    // as a path below the current folder.
    bool ChooseExistingFile();
    bool ChooseFile();
    bool ChooseDir();

private:
    bool chooseFile(bool mustExist);

    FileDialog* dlg_ = nullptr;
    FolderBrowser* bff_ = nullptr;
    QString title_, initDir_, filter_, path_;
};
