#pragma once
// A small JSON reader for the tests: enough to read wbinspect dumps and the
// expected dumps beside the fixtures. Throws std::runtime_error on bad input.
#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace testjson {

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

    Value ParseDocument()
    {
        Value v = ParseValue();
        SkipSpace();
        if (pos_ != s_.size()) Fail("text after the value");
        return v;
    }

private:
    [[noreturn]] void Fail(const std::string& what)
    {
        throw std::runtime_error("JSON: " + what + " at byte " + std::to_string(pos_));
    }
    void SkipSpace()
    {
        while (pos_ < s_.size() && (s_[pos_] == ' ' || s_[pos_] == '\n' || s_[pos_] == '\r' || s_[pos_] == '\t'))
            ++pos_;
    }
    bool Eat(char c)
    {
        SkipSpace();
        if (pos_ < s_.size() && s_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    void Expect(char c)
    {
        if (!Eat(c)) Fail(std::string("expected '") + c + "'");
    }
    bool Word(std::string_view w)
    {
        if (s_.substr(pos_, w.size()) != w) return false;
        pos_ += w.size();
        return true;
    }
    static void AppendUtf8(std::string& out, uint32_t cp)
    {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    uint32_t Hex4()
    {
        if (pos_ + 4 > s_.size()) Fail("short \\u escape");
        uint32_t v = std::stoul(std::string(s_.substr(pos_, 4)), nullptr, 16);
        pos_ += 4;
        return v;
    }
    std::string ParseString()
    {
        Expect('"');
        std::string out;
        while (true) {
            if (pos_ >= s_.size()) Fail("unterminated string");
            char c = s_[pos_++];
            if (c == '"') return out;
            if (static_cast<unsigned char>(c) < 0x20) Fail("control character in string");
            if (c != '\\') {
                out += c;
                continue;
            }
            if (pos_ >= s_.size()) Fail("unterminated escape");
            char e = s_[pos_++];
            switch (e) {
            case '"': out += '"'; break;
            case '\\': out += '\\'; break;
            case '/': out += '/'; break;
            case 'b': out += '\b'; break;
            case 'f': out += '\f'; break;
            case 'n': out += '\n'; break;
            case 'r': out += '\r'; break;
            case 't': out += '\t'; break;
            case 'u': {
                uint32_t cp = Hex4();
                if (cp >= 0xD800 && cp < 0xDC00 && Word("\\u")) {
                    uint32_t lo = Hex4();
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (lo - 0xDC00);
                }
                AppendUtf8(out, cp);
                break;
            }
            default: Fail("bad escape");
            }
        }
    }
    Value ParseValue()
    {
        SkipSpace();
        if (pos_ >= s_.size()) Fail("missing value");
        Value v;
        char c = s_[pos_];
        if (c == '{') {
            v.kind = Value::Object;
            ++pos_;
            if (Eat('}')) return v;
            do {
                SkipSpace();
                std::string key = ParseString();
                Expect(':');
                v.members.emplace_back(key, ParseValue());
            } while (Eat(','));
            Expect('}');
        } else if (c == '[') {
            v.kind = Value::Array;
            ++pos_;
            if (Eat(']')) return v;
            do v.items.push_back(ParseValue());
            while (Eat(','));
            Expect(']');
        } else if (c == '"') {
            v.kind = Value::String;
            v.string = ParseString();
        } else if (Word("true")) {
            v.kind = Value::Bool;
            v.boolean = true;
        } else if (Word("false")) {
            v.kind = Value::Bool;
        } else if (Word("null")) {
            v.kind = Value::Null;
        } else {
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

inline Value Parse(std::string_view text) { return Parser(text).ParseDocument(); }

}  // namespace testjson
