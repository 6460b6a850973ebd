#pragma once
// What the workbook tests share: fixture paths, file I/O, little-endian
// fields for files built by hand, and JSON reading for wbinspect dumps and
// the expected dumps beside the fixtures.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <bit>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace testjson {

namespace fs = std::filesystem;

inline const fs::path kFixtures = fs::path(TEST_DATA_DIR) / "workbook" / "fixtures";
inline std::string Fixture(const std::string& name)
{
    return (kFixtures / name).string();
}

inline std::string ReadFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteFile(const fs::path& p, const std::string& bytes)
{
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
}

// Little-endian fields of `Width` bytes each, as binary formats store them.
template <int Width, class... T>
std::string Le(T... values)
{
    std::string s;
    for (uint64_t v : {uint64_t(values)...})
        for (int i = 0; i < Width; ++i)
            s += char(v >> (8 * i));
    return s;
}

inline std::string F64(double v)
{
    return Le<8>(std::bit_cast<uint64_t>(v));
}

// A parameterised test's name from its fixture path.
template <class Info>
std::string ParamName(const Info& info)
{
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}

// A fresh path in this process's own temporary folder, removed at exit.
inline std::string TempPath(const std::string& ext)
{
    struct Dir {
        fs::path path = fs::path(testing::TempDir()) / ("wbtest-" + std::to_string(getpid()));
        Dir() { fs::create_directories(path); }
        ~Dir()
        {
            std::error_code ec;
            fs::remove_all(path, ec);
        }
    };
    static Dir dir;
    static int counter = 0;
    return (dir.path / ("f" + std::to_string(counter++) + ext)).string();
}

// The JSON value in `text`, read by Qt's parser (an independent check on the
// dumps); a failure and null when it is no JSON.
inline QJsonValue ParseJson(const std::string& text)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString("[" + text + "]"), &error);
    if (error.error != QJsonParseError::NoError)
        ADD_FAILURE() << "not JSON: " << error.errorString().toStdString() << " at " << error.offset << ": " << text;
    return doc.array().at(0);
}

// A value as compact JSON text, strings bare.
inline std::string Str(const QJsonValue& v)
{
    if (v.isString())
        return v.toString().toStdString();
    const std::string text = QJsonDocument(QJsonArray{v}).toJson(QJsonDocument::Compact).toStdString();
    return text.substr(1, text.size() - 2);
}

}  // namespace testjson
