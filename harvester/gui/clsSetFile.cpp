#include "harvester/gui/clsSetFile.h"

#include "common/RtError.h"
#include "harvester/SettingsFile.h"

#include <string>
#include <vector>

void clsSetFile::setRows(int pN)
{
    if (pN < 0 || pN > 32767)
        throw rt::RtError(rt::SubscriptOutOfRange, "clsSetFile.Rows (" + std::to_string(pN) + ")");
    data_ = QStringList();
    for (int i = 0; i < pN; ++i)
        data_.append(QString());
}

void clsSetFile::check(int i) const
{
    if (i < 0 || i >= data_.size())
        throw rt::RtError(rt::SubscriptOutOfRange, "clsSetFile.Data (" + std::to_string(i) + ")");
}

QString clsSetFile::Data(int i) const
{
    check(i);
    return data_[i];
}

void clsSetFile::setData(int i, const QString& pValue)
{
    check(i);
    data_[i] = pValue;
}

void clsSetFile::Load()
{
    const std::vector<std::string> lines = ReadSettings(fn_.toStdString());
    QStringList read;
    for (const std::string& line : lines) {
        if (read.size() >= kMaxLines)
            break;
        read.append(QString::fromStdString(line));
    }
    data_ = read;
}

void clsSetFile::Save() const
{
    std::vector<std::string> lines;
    lines.reserve(static_cast<size_t>(data_.size()));
    for (const QString& s : data_)
        lines.push_back(s.toStdString());
    WriteSettings(fn_.toStdString(), lines);
}
