#pragma once
// The harvester's product information: name, title, version, texts, icon
// and the maker's addresses. Defaults come from the version information
// compiled in (common/gui/Version.h) and the application folder; the
// optional file App.def in the application folder overrides them.
//
// Start-up order: construct, set Site, Setup() (derives the FAQ and support
// addresses from Site and name), Load() (App.def). So App.def's "site" and
// "name" lines do not change the derived addresses; "faqurl" and
// "supporturl" lines replace them.
#include <QIcon>
#include <QString>
#include <cstdint>

class clsProductInfo {
public:
    // `designIcon` is the window's own icon, kept unless App.def names one.
    explicit clsProductInfo(const QIcon& designIcon = QIcon());

    // Fixed public field names (Site, name, Major, FAQURL...), not camelCase.
    QString Site;
    QString name;
    int16_t Major = 0;
    int16_t Minor = 0;
    int16_t Build = 0;
    QString Title;
    QString Description;
    QString Copyright;
    QString Help;  // AppFolder() + "/Help/index.html"
    QString FAQURL;
    QString SupportURL;
    QIcon Icon;

    // Sets one field by its App.def key (any letter case). Unknown keys,
    // numbers outside the 16-bit range and icons that cannot be loaded are
    // ignored: the field keeps its value.
    void setProperties(const QString& pName, const QString& pValue);

    // "1.00.0034": major, minor with two digits at least, build with four.
    QString Version() const;
    static QString VersionText(int major, int minor, int build);

    // SupportURL = Site?page=support, FAQURL = Site?i=<name>&page=FAQ.
    void Setup();

    // Reads AppFolder()/App.def when it exists. A file that exists but
    // cannot be read is left alone like a missing one.
    void Load();
    // The same for a given file (tests).
    void LoadFrom(const QString& path);

    // The address rule of Setup: address?k1=v1&k2=v2, nothing escaped.
    static QString MakeURL(const QString& address, const std::initializer_list<std::pair<QString, QString>>& pairs);
};
