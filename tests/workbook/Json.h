#pragma once
// What the workbook tests share: fixture paths, file I/O, and a small JSON
// reader for wbinspect dumps and the expected dumps beside the fixtures.
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace testjson {

namespace fs = std::filesystem;

inline const fs::path kFixtures = fs::path(TEST_DATA_DIR) / "workbook" / "fixtures";
inline std::string Fixture(const std::string& name) { return (kFixtures / name).string(); }

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

// A fresh path in this process's own temporary folder, removed at exit.
inline std::string TempPath(const std::string& ext)
{
    struct Dir {
        fs::path path = fs::path(testing::TempDir()) / ("wbtest-" + std::to_string(getpid()));
        Dir() { fs::create_directories(path); }
        ~Dir() { std::error_code ec; fs::remove_all(path, ec); }
    };
    static Dir dir;
    static int counter = 0;
    return (dir.path / ("f" + std::to_string(counter++) + ext)).string();
}

struct Value {
    enum Kind { Null, Bool, Number, String, Array, Object } kind = Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Value> items;
    std::vector<std::pair<std::string, Value>> members;

    const Value* Find(const std::string& key) const
    {
        for (const auto& [k, v] : members)
            if (k == key) return &v;
        return nullptr;
    }
    const Value& operator[](const std::string& key) const
    {
        if (const Value* v = Find(key)) return *v;
        throw std::runtime_error("no member " + key);
    }
};

class Parser {
public:
    explicit Parser(std::string_view text) : s_(text) {}

    Value Document()
    {
        Value v = Parse();
        if (Space(), pos_ != s_.size()) Fail("text after the value");
        return v;
    }

private:
    [[noreturn]] void Fail(const std::string& what)
    {
        throw std::runtime_error("JSON: " + what + " at byte " + std::to_string(pos_));
    }
    void Space()
    {
        while (pos_ < s_.size() && std::string_view(" \n\r\t").find(s_[pos_]) != std::string_view::npos) ++pos_;
    }
    bool Eat(std::string_view w)
    {
        Space();
        if (s_.substr(pos_, w.size()) != w) return false;
        pos_ += w.size();
        return true;
    }
    void Expect(char c)
    {
        if (!Eat(std::string_view(&c, 1))) Fail(std::string("expected '") + c + "'");
    }
    uint32_t Hex4()
    {
        if (pos_ + 4 > s_.size()) Fail("short \\u escape");
        pos_ += 4;
        return std::stoul(std::string(s_.substr(pos_ - 4, 4)), nullptr, 16);
    }
    std::string String()
    {
        Expect('"');
        std::string out;
        while (true) {
            if (pos_ >= s_.size()) Fail("unterminated string");
            const char c = s_[pos_++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) Fail("control character in string");
            if (c != '\\') {
                out += c;
                continue;
            }
            const char e = pos_ < s_.size() ? s_[pos_++] : 0;
            if (size_t k = std::string_view("\"\\/bfnrt").find(e); k != std::string_view::npos) {
                out += "\"\\/\b\f\n\r\t"[k];
                continue;
            }
            if (e != 'u') Fail("bad escape");
            uint32_t cp = Hex4();
            if (cp >= 0xD800 && cp < 0xDC00 && s_.substr(pos_, 2) == "\\u")
                pos_ += 2, cp = 0x10000 + ((cp - 0xD800) << 10) + (Hex4() - 0xDC00);
            const int extra = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;  // UTF-8 continuation bytes
            out += char(extra ? ((0xF0 << (3 - extra)) & 0xFF) | (cp >> (6 * extra)) : cp);
            for (int i = extra - 1; i >= 0; --i) out += char(0x80 | ((cp >> (6 * i)) & 0x3F));
        }
    }
    Value Parse()
    {
        Value v;
        if (Eat("{")) {
            v.kind = Value::Object;
            if (!Eat("}")) {
                do {
                    Space();
                    std::string key = String();
                    Expect(':');
                    v.members.emplace_back(key, Parse());
                } while (Eat(","));
                Expect('}');
            }
        } else if (Eat("[")) {
            v.kind = Value::Array;
            if (!Eat("]")) {
                do v.items.push_back(Parse());
                while (Eat(","));
                Expect(']');
            }
        } else if (pos_ < s_.size() && s_[pos_] == '"') {
            v.kind = Value::String;
            v.string = String();
        } else if (Eat("true") || Eat("false")) {
            v.kind = Value::Bool;
            v.boolean = s_.substr(pos_ - 4, 4) == "true";
        } else if (!Eat("null")) {
            size_t used = 0;
            try {
                v.number = std::stod(std::string(s_.substr(pos_, 32)), &used);
            } catch (const std::exception&) {
                Fail("bad value");
            }
            v.kind = Value::Number;
            pos_ += used;
        }
        return v;
    }

    std::string_view s_;
    size_t pos_ = 0;
};

inline Value Parse(std::string_view text) { return Parser(text).Document(); }

}  // namespace testjson
