#pragma once
// What the workbook tests share: fixture paths, file I/O, files built by
// hand (HandMade.h), and JSON reading for wbinspect dumps and the expected
// dumps beside the fixtures.
#include "tests/workbook/HandMade.h"
#include "workbook/Workbook.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
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
    return {std::istreambuf_iterator<char>(in), {}};
}

// How `book` reads each of `cells` ("reference type:text", as the tables spell
// cells), spelled the same way, so that one comparison checks them all;
// `sheet` ("Name!") goes before each reference.
inline std::vector<std::string> ReadCells(const wb::Workbook& book, const std::vector<std::string>& cells,
                                          const std::string& sheet = "")
{
    std::vector<std::string> out;
    for (const std::string& cell : cells) {
        const std::string ref = cell.substr(0, cell.find(' '));
        const wb::Range r = book.Resolve(sheet + ref);
        const wb::CellValue v = book.Cell(r.sheet, r.firstRow, r.firstCol);
        out.push_back(
            ref + " " +
            (r.Rows() * r.Cols() == 1 ? std::string(wb::CellTypeName(v.type)) + ":" + v.Text() : "not one cell"));
    }
    return out;
}

// Each name as "name scope sheet!range" ("name scope" where it is no range).
inline std::vector<std::string> Names(const std::vector<wb::DefinedName>& names)
{
    std::vector<std::string> out;
    for (const wb::DefinedName& n : names)
        out.push_back(n.name + " " + std::to_string(n.scopeSheet) +
                      (n.range ? " " + std::to_string(n.range->sheet) + "!" + wb::RangeAddress(*n.range) : ""));
    return out;
}

// `read` must fail with a wb::Error that starts with "<path>: " and says `expected`.
template <class F>
void ExpectError(const std::string& path, const std::string& expected, const F& read)
{
    try {
        read();
        ADD_FAILURE() << "read without an error";
    } catch (const wb::Error& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.rfind(path + ": ", 0), 0u) << text;
        EXPECT_NE(text.find(expected), std::string::npos) << text;
    }
}

// A parameterised test's name from its fixture path.
template <class Info>
std::string ParamName(const Info& info)
{
    std::string name = info.param;
    std::replace_if(
        name.begin(), name.end(), [](unsigned char c) { return !std::isalnum(c); }, '_');
    return name;
}

// A fresh path in this process's own temporary folder, removed at exit.
inline std::string TempPath(const std::string& ext)
{
    struct Dir {
        fs::path path = fs::path(testing::TempDir()) / ("wbtest-" + std::to_string(getpid()));
        Dir() { fs::create_directories(path); }
        ~Dir() { fs::remove_all(path, ec); }
        std::error_code ec;  // so that removing never throws
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
