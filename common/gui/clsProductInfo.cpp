#include "common/gui/clsProductInfo.h"

#include "common/gui/Version.h"
#include "common/gui/modAppFolder.h"
#include "common/modGetWords.h"

#include <QFile>
#include <QPixmap>
#include <QRegularExpression>
#include <cmath>
#include <optional>

namespace {

// The number at the start of a text (a decimal prefix; none reads as 0),
// rounded halves to even, or nothing when it does not fit 16 bits.
std::optional<int16_t> Int16Prefix(const QString& text)
{
    static const QRegularExpression prefix(QStringLiteral("^\\s*[+-]?(\\d+\\.?\\d*|\\.\\d+)([eE][+-]?\\d+)?"));
    const auto m = prefix.match(text);
    const double v = m.hasMatch() ? m.captured(0).trimmed().toDouble() : 0.0;
    const double r = std::nearbyint(v);  // default rounding: halves to even
    if (!std::isfinite(r) || r < -32768.0 || r > 32767.0)
        return std::nullopt;
    return static_cast<int16_t>(r);
}

}  // namespace

clsProductInfo::clsProductInfo(const QIcon& designIcon)
    : name(QString::fromUtf8(version::ProductName)), Major(static_cast<int16_t>(version::Major)),
      Minor(static_cast<int16_t>(version::Minor)), Build(static_cast<int16_t>(version::Revision)),
      Title(QString::fromUtf8(version::ProductName)), Description(QString::fromUtf8(version::Comments)),
      Copyright(QString::fromUtf8(version::Copyright)), Help(AppFile(QStringLiteral("Help/index.html"))),
      Icon(designIcon)
{}

void clsProductInfo::setProperties(const QString& pName, const QString& pValue)
{
    const QString key = pName.toLower();
    if (key == u"name") {
        name = pValue;
    } else if (key == u"major" || key == u"minor" || key == u"build") {
        const auto n = Int16Prefix(pValue);
        if (!n)
            return;
        (key == u"major" ? Major : key == u"minor" ? Minor : Build) = *n;
    } else if (key == u"title") {
        Title = pValue;
    } else if (key == u"description") {
        Description = pValue;
    } else if (key == u"copyright") {
        Copyright = pValue;
    } else if (key == u"site") {
        Site = pValue;
    } else if (key == u"help") {
        Help = pValue;
    } else if (key == u"faqurl") {
        FAQURL = pValue;
    } else if (key == u"supporturl") {
        SupportURL = pValue;
    } else if (key == u"icon") {
        const QPixmap picture(AppFile(pValue));
        if (!picture.isNull())
            Icon = QIcon(picture);
    }
}

QString clsProductInfo::VersionText(int major, int minor, int build)
{
    return QStringLiteral("%1.%2.%3")
        .arg(major)
        .arg(minor, 2, 10, QLatin1Char('0'))
        .arg(build, 4, 10, QLatin1Char('0'));
}

QString clsProductInfo::Version() const
{
    return VersionText(Major, Minor, Build);
}

QString clsProductInfo::MakeURL(const QString& address, const std::initializer_list<std::pair<QString, QString>>& pairs)
{
    QString url = address;
    QChar sep = QLatin1Char('?');
    for (const auto& [k, v] : pairs) {
        url += sep + k + QLatin1Char('=') + v;
        sep = QLatin1Char('&');
    }
    return url;
}

void clsProductInfo::Setup()
{
    SupportURL = MakeURL(Site, {{QStringLiteral("page"), QStringLiteral("support")}});
    FAQURL = MakeURL(Site, {{QStringLiteral("i"), name}, {QStringLiteral("page"), QStringLiteral("FAQ")}});
}

void clsProductInfo::Load()
{
    LoadFrom(AppFile(QStringLiteral("App.def")));
}

void clsProductInfo::LoadFrom(const QString& path)
{
    QFile f(path);
    if (!f.exists() || !f.open(QIODevice::ReadOnly))
        return;
    const QByteArray all = f.readAll();
    // Lines end at CR, LF or CR LF.
    const QList<QByteArray> lines = all.split('\n');
    for (const QByteArray& line : lines) {
        for (const QByteArray& part : line.split('\r')) {
            if (part.startsWith('#'))
                continue;
            WordList w;
            try {
                w = GetWords(std::string_view(part.constData(), static_cast<size_t>(part.size())));
            } catch (const std::exception&) {
                continue;  // an over-long line is no setting
            }
            if (UBound(w) >= 3 && w[2] == "=")
                setProperties(QString::fromStdString(w[1]), QString::fromStdString(w[3]));
        }
    }
}
