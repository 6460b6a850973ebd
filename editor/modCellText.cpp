#include "editor/modCellText.h"

namespace tabwright {

QString CellText(const std::string& bytes, TextEncoding encoding)
{
    if (encoding == TextEncoding::Utf8)
        return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
    const std::string utf8 = Windows1252ToUtf8(bytes);
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

bool CellBytes(const QString& text, TextEncoding encoding, std::string& out, QString* bad)
{
    const QByteArray utf8 = text.toUtf8();
    if (encoding == TextEncoding::Utf8) {
        out.assign(utf8.constData(), size_t(utf8.size()));
        return true;
    }
    std::string which;
    if (Utf8ToWindows1252(std::string_view(utf8.constData(), size_t(utf8.size())), out, &which))
        return true;
    if (bad)
        *bad = QString::fromUtf8(which.data(), qsizetype(which.size()));
    return false;
}

QString UnwritableMessage(const QString& character, const std::string& file, TextEncoding encoding)
{
    const QString name =
        file.empty() ? QStringLiteral("the data file") : QStringLiteral("file ") + QString::fromStdString(file);
    return QStringLiteral("The character %1 cannot be written to %2, which holds %3 text.")
        .arg(character, name, QString::fromLatin1(EncodingName(encoding)));
}

}  // namespace tabwright
