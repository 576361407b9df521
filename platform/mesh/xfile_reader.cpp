// X files, text and binary, into a tree of data objects. Two stages: the
// whole file becomes tokens (one lexer per encoding), then one parser for
// both turns tokens into objects.
#include "platform/mesh/xfile_reader.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/mesh/xfile_zip.h"

namespace plat::xfile {
namespace {

constexpr size_t kHeaderSize = 16;  // "xof " + version (4) + format (4) + float size (4)
constexpr int kMaxDepth = 64;       // nested objects; real files nest frames a dozen deep at most

enum class Kind : uint8_t {
    End,
    Name,
    Numbers,   // one or more values, [first, first + count) of Lexed::numbers
    OBrace,
    CBrace,
    Guid,
    Template,  // the keyword that starts a template declaration
    Skip,      // separators, strings, and what only template declarations use
};

struct Token {
    Kind kind;
    size_t offset;  // byte offset in the file, for messages
    std::string_view text;
    size_t first = 0, count = 0;
};

struct Lexed {
    std::vector<Token> tokens;
    std::vector<double> numbers;
};

bool Fail(std::string* error, const char* fmt, size_t a, size_t b = 0) {
    char buf[160];
    std::snprintf(buf, sizeof buf, fmt, a, b);
    *error = buf;
    return false;
}

// Separators, strings and template keywords mean nothing to the parser and
// are not kept; a run of numbers becomes one token, so a long list costs
// eight bytes per value and no more.
void Push(Lexed* out, const Token& t) {
    if (t.kind == Kind::Skip) return;
    if (t.kind == Kind::Numbers && !out->tokens.empty() && out->tokens.back().kind == Kind::Numbers) {
        out->tokens.back().count += t.count;
        return;
    }
    out->tokens.push_back(t);
}

// ---------------------------------------------------------------------------
// Binary: little-endian 16-bit tokens, some followed by a record.

uint16_t Word(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t Dword(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

enum BinaryToken : uint16_t {
    TOKEN_NAME = 1,
    TOKEN_STRING = 2,
    TOKEN_INTEGER = 3,
    TOKEN_GUID = 5,
    TOKEN_INTEGER_LIST = 6,
    TOKEN_FLOAT_LIST = 7,
    TOKEN_OBRACE = 10,
    TOKEN_CBRACE = 11,
    TOKEN_COMMA = 19,
    TOKEN_SEMICOLON = 20,
    TOKEN_TEMPLATE = 31,
};

bool LexBinary(const unsigned char* b, size_t size, bool doubles, Lexed* out, std::string* error) {
    size_t p = kHeaderSize;
    while (p < size) {
        if (size - p < 2) return Fail(error, "the file ends inside a token at byte %zu", p);
        const size_t at = p;
        const uint16_t tok = Word(b + p);
        p += 2;
        const size_t left = size - p;
        Token t{Kind::Skip, at, {}};
        switch (tok) {
            case TOKEN_NAME:
            case TOKEN_STRING: {
                if (left < 4) return Fail(error, "the file ends inside a name at byte %zu", at);
                const uint32_t n = Dword(b + p);
                p += 4;
                if (n > size - p) return Fail(error, "a name of %zu bytes at byte %zu runs past the end of the file", n, at);
                if (tok == TOKEN_NAME) {
                    t.kind = Kind::Name;
                    t.text = std::string_view(reinterpret_cast<const char*>(b + p), n);
                }
                p += n;
                // A string ends with a separator token; writers disagree on
                // whether it takes a word or a double word.
                if (tok == TOKEN_STRING && size - p >= 2 && (Word(b + p) == TOKEN_SEMICOLON || Word(b + p) == TOKEN_COMMA)) {
                    p += 2;
                    if (size - p >= 2 && Word(b + p) == 0) p += 2;
                }
                break;
            }
            case TOKEN_INTEGER:
                if (left < 4) return Fail(error, "the file ends inside an integer at byte %zu", at);
                t.kind = Kind::Numbers;
                t.first = out->numbers.size();
                t.count = 1;
                out->numbers.push_back(Dword(b + p));
                p += 4;
                break;
            case TOKEN_GUID:
                if (left < 16) return Fail(error, "the file ends inside a GUID at byte %zu", at);
                t.kind = Kind::Guid;
                p += 16;
                break;
            case TOKEN_INTEGER_LIST:
            case TOKEN_FLOAT_LIST: {
                if (left < 4) return Fail(error, "the file ends inside a list at byte %zu", at);
                const uint32_t n = Dword(b + p);
                p += 4;
                const size_t item = tok == TOKEN_INTEGER_LIST ? 4 : (doubles ? 8 : 4);
                if (n > (size - p) / item) return Fail(error, "a list of %zu values at byte %zu runs past the end of the file", n, at);
                t.kind = Kind::Numbers;
                t.first = out->numbers.size();
                t.count = n;
                for (uint32_t i = 0; i < n; ++i, p += item) {
                    if (tok == TOKEN_INTEGER_LIST) {
                        out->numbers.push_back(Dword(b + p));
                    } else if (doubles) {
                        double d;
                        std::memcpy(&d, b + p, 8);
                        out->numbers.push_back(d);
                    } else {
                        float f;
                        std::memcpy(&f, b + p, 4);
                        out->numbers.push_back(f);
                    }
                }
                break;
            }
            case TOKEN_OBRACE: t.kind = Kind::OBrace; break;
            case TOKEN_CBRACE: t.kind = Kind::CBrace; break;
            case TOKEN_TEMPLATE: t.kind = Kind::Template; break;
            default:
                // ( ) [ ] < > . , ; and the type keywords WORD .. array.
                if ((tok >= 12 && tok <= 20) || (tok >= 40 && tok <= 52)) break;
                return Fail(error, "unknown binary token %zu at byte %zu", tok, at);
        }
        Push(out, t);
    }
    out->tokens.push_back({Kind::End, size, {}});
    return true;
}

// ---------------------------------------------------------------------------
// Text: names, numbers, braces and separators; "//" and "#" comments.

bool IsDelimiter(unsigned char c) {
    return std::isspace(c) || (c != 0 && std::strchr("{};,<>\"[]()", c) != nullptr);
}

bool LexText(const unsigned char* b, size_t size, Lexed* out, std::string* error) {
    const char* s = reinterpret_cast<const char*>(b);
    size_t p = kHeaderSize;
    while (true) {
        while (p < size && std::isspace(b[p])) ++p;
        if (p >= size) break;
        const unsigned char c = b[p];
        if (c == '#' || (c == '/' && p + 1 < size && b[p + 1] == '/')) {
            while (p < size && b[p] != '\n') ++p;
            continue;
        }
        Token t{Kind::Skip, p, {}};
        if (c == '{' || c == '}') {
            t.kind = c == '{' ? Kind::OBrace : Kind::CBrace;
            ++p;
        } else if (c == 0 || std::strchr(";,[]()>", c)) {
            ++p;
        } else if (c == '<' || c == '"') {
            const unsigned char close = c == '<' ? '>' : '"';
            const void* end = std::memchr(b + p + 1, close, size - p - 1);
            if (!end) return Fail(error, c == '<' ? "a GUID at byte %zu is never closed" : "a string at byte %zu is never closed", p);
            t.kind = c == '<' ? Kind::Guid : Kind::Skip;
            p = static_cast<size_t>(static_cast<const unsigned char*>(end) - b) + 1;
        } else {
            size_t q = p;
            while (q < size && !IsDelimiter(b[q])) ++q;
            t.text = std::string_view(s + p, q - p);
            t.kind = t.text == "template" ? Kind::Template : Kind::Name;
            // A number if the whole run reads as one. "1.#IND00" and
            // "-1.#QNAN0" are what some exporters wrote for NaN: read as 0.
            const char* first = s + p + (c == '+' ? 1 : 0);
            double value = 0.0;
            const auto [end, ec] = std::from_chars(first, s + q, value);
            if (ec == std::errc() && end != first) {
                const bool nan_spelling = end < s + q && *end == '#';
                if (end == s + q || nan_spelling) {
                    t.kind = Kind::Numbers;
                    t.first = out->numbers.size();
                    t.count = 1;
                    out->numbers.push_back(nan_spelling ? 0.0 : value);
                }
            } else if (ec == std::errc::result_out_of_range) {
                return Fail(error, "a number at byte %zu is out of range", p);
            }
            p = q;
        }
        Push(out, t);
    }
    out->tokens.push_back({Kind::End, size, {}});
    return true;
}

// ---------------------------------------------------------------------------
// Objects, from either lexer's tokens.

class Parser {
public:
    Parser(const Lexed& lexed, std::string* error) : t_(lexed.tokens), numbers_(lexed.numbers), error_(error) {}

    bool File(std::vector<Node>* objects) {
        while (t_[i_].kind != Kind::End) {
            switch (t_[i_].kind) {
                case Kind::Template:
                    if (!SkipTemplate()) return false;
                    break;
                case Kind::Name:
                    objects->emplace_back();
                    if (!Object(&objects->back(), 0)) return false;
                    break;
                default:
                    return Fail(error_, "unexpected %s at byte %zu", KindName(t_[i_].kind), t_[i_].offset);
            }
        }
        return true;
    }

private:
    static const char* KindName(Kind k) {
        switch (k) {
            case Kind::OBrace: return "'{'";
            case Kind::CBrace: return "'}'";
            case Kind::Numbers: return "number";
            case Kind::Guid: return "GUID";
            default: return "token";
        }
    }
    bool Fail(std::string* error, const char* fmt, const char* what, size_t at) {
        char buf[160];
        std::snprintf(buf, sizeof buf, fmt, what, at);
        *error = buf;
        return false;
    }

    // template Name { <GUID> members [restrictions] }: nothing in it is
    // needed, only where it ends.
    bool SkipTemplate() {
        const size_t at = t_[i_].offset;
        ++i_;
        if (t_[i_].kind == Kind::Name) ++i_;
        if (t_[i_].kind != Kind::OBrace) return Fail(error_, "%s: '{' expected at byte %zu", "template", at);
        int depth = 0;
        do {
            if (t_[i_].kind == Kind::OBrace) ++depth;
            if (t_[i_].kind == Kind::CBrace) --depth;
            if (t_[i_].kind == Kind::End) return Fail(error_, "%s at byte %zu is never closed", "a template", at);
            ++i_;
        } while (depth > 0);
        return true;
    }

    // Type [name] [GUID] { numbers, strings, separators, objects, references }
    bool Object(Node* node, int depth) {
        const Token& head = t_[i_];
        if (depth > kMaxDepth) return Fail(error_, "%s: objects nested too deep at byte %zu", "file", head.offset);
        node->type = head.text;
        ++i_;
        if (t_[i_].kind == Kind::Name) node->name = t_[i_++].text;
        if (t_[i_].kind == Kind::Guid) ++i_;
        if (t_[i_].kind != Kind::OBrace) return Fail(error_, "'{' expected after \"%.40s\" at byte %zu", Label(head).c_str(), head.offset);
        ++i_;
        while (true) {
            const Token& t = t_[i_];
            switch (t.kind) {
                case Kind::CBrace:
                    ++i_;
                    return true;
                case Kind::Numbers:
                    node->numbers.insert(node->numbers.end(), numbers_.begin() + static_cast<std::ptrdiff_t>(t.first),
                                         numbers_.begin() + static_cast<std::ptrdiff_t>(t.first + t.count));
                    ++i_;
                    break;
                case Kind::Skip:
                case Kind::Guid:
                    ++i_;
                    break;
                case Kind::Name:
                    node->children.emplace_back();
                    if (!Object(&node->children.back(), depth + 1)) return false;
                    break;
                case Kind::OBrace: {
                    // { name } or { name GUID } or { GUID }: a reference.
                    Node ref;
                    ref.reference = true;
                    ++i_;
                    while (t_[i_].kind == Kind::Name || t_[i_].kind == Kind::Guid || t_[i_].kind == Kind::Skip) {
                        if (t_[i_].kind == Kind::Name && ref.name.empty()) ref.name = t_[i_].text;
                        ++i_;
                    }
                    if (t_[i_].kind != Kind::CBrace) return Fail(error_, "%s: '}' expected at byte %zu", "reference", t_[i_].offset);
                    ++i_;
                    node->children.push_back(ref);
                    break;
                }
                case Kind::Template:
                    return Fail(error_, "%s inside an object at byte %zu", "template", t.offset);
                case Kind::End:
                    return Fail(error_, "the file ends inside \"%.40s\" (byte %zu)", Label(head).c_str(), t.offset);
            }
        }
    }

    static std::string Label(const Token& t) {
        std::string out;
        for (char c : t.text.substr(0, 40)) out += (c >= 0x20 && c < 0x7f) ? c : '?';
        return out;
    }

    const std::vector<Token>& t_;
    const std::vector<double>& numbers_;
    std::string* error_;
    size_t i_ = 0;
};

}  // namespace

bool ParseXFile(const unsigned char* b, size_t size, Document* doc, std::string* error) {
    *doc = Document{};
    if (!b || size < kHeaderSize) return Fail(error, "too short for an X file header (%zu bytes)", size);
    if (std::memcmp(b, "xof ", 4) != 0) {
        *error = "not an X file (it does not start with \"xof \")";
        return false;
    }
    doc->header.assign(reinterpret_cast<const char*>(b), kHeaderSize);
    for (char& c : doc->header) {
        if (c < 0x20 || c > 0x7e) c = '?';
    }
    const std::string_view format(doc->header.data() + 8, 4), floats(doc->header.data() + 12, 4);
    doc->compressed = format == "tzip" || format == "bzip";
    if (format != "txt " && format != "bin " && !doc->compressed) {
        *error = "unknown X file format \"" + std::string(format) + "\" in header \"" + doc->header + "\"";
        return false;
    }
    if (floats != "0032" && floats != "0064") {
        *error = "unknown float size \"" + std::string(floats) + "\" in header \"" + doc->header + "\"";
        return false;
    }
    doc->binary = format == "bin " || format == "bzip";
    doc->doubles = floats == "0064";
    if (doc->compressed) {
        // Inflated to the plain encoding, header and all, so that byte
        // offsets in messages count as in the uncompressed twin.
        auto plain = std::make_shared<std::vector<unsigned char>>();
        if (!InflateXFile(b, size, plain.get(), error)) return false;
        doc->inflated = plain;
        b = plain->data();
        size = plain->size();
    }
    Lexed lexed;
    lexed.tokens.reserve(size / 32 + 16);
    const bool parsed = (doc->binary ? LexBinary(b, size, doc->doubles, &lexed, error) : LexText(b, size, &lexed, error)) &&
                        Parser(lexed, error).File(&doc->objects);
    if (!parsed && doc->compressed) *error += " (counting in the decompressed file)";
    return parsed;
}

}  // namespace plat::xfile
