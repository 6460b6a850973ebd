#pragma once
// A settings file as a list of up to 50 text lines bound to a file name.
// The window maps its four path boxes onto lines 1-4; the other lines are
// kept as read and written back unchanged.
#include <QString>
#include <QStringList>
#include <cstdint>

class clsSetFile {
public:
    static constexpr int kMaxLines = 50;

    QString fn() const { return fn_; }
    void setFn(const QString& path) { fn_ = path; }

    int16_t Rows() const { return static_cast<int16_t>(data_.size()); }
    // Reallocates to pN empty entries; earlier contents are lost.
    void setRows(int pN);

    // rt::RtError 9 outside 0..Rows()-1.
    QString Data(int i) const;
    void setData(int i, const QString& pValue);

    // Reads up to 50 lines of fn(). Throws rt::RtError naming the file.
    void Load();
    // Writes every entry followed by CR LF, replacing fn() whole. Throws rt::RtError.
    void Save() const;

private:
    void check(int i) const;

    QString fn_;
    QStringList data_{QString()};
};
