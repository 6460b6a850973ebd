#pragma once
// The About box of both programs.
#include <QDialog>
#include <QString>

class QLabel;
class QPushButton;
class QFrame;
class clsProductInfo;

class frmAbout : public QDialog {
    Q_OBJECT
public:
    explicit frmAbout(QWidget* parent = nullptr);

    // The harvester's box: caption "About " + the owner window's caption,
    // the owner's icon, name, Version(), Description, Copyright; a click on
    // the copyright line opens Site.
    void Init(const clsProductInfo& pProduct);

    // The editor's box, from the compiled-in version information alone:
    // caption "About " + pFileDescription, title pProductName, the version
    // text, comments and copyright of Version.h; the copyright line opens
    // pSite. The icon stays the program's own (DesignIcon()).
    void InitFromVersion(const QString& pFileDescription, const QString& pProductName, const QString& pSite);

    // The version line: the version text, then the package version, so that
    // it can be matched with what the package manager shows.
    static QString VersionLabel(const QString& versionText);

    // The address a click on the copyright line opens.
    QString CopyrightTag() const { return copyrightTag_; }

    QLabel* picIcon;
    QLabel* lblTitle;
    QLabel* lblVersion;
    QLabel* lblComments;
    QLabel* lblCopyright;
    QLabel* Label1;  // "Product:", before lblTitle
    QLabel* Label2;  // "Version:", before lblVersion
    QFrame* Line1;   // the rule above the copyright line
    QPushButton* cmdOK;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QString copyrightTag_;
};

// The program's default icon, drawn in code so that it needs no file.
QIcon DesignIcon();
