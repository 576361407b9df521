// The effect-file front end: tokens, types, the parser of declarations,
// techniques, passes and functions, and the constant expressions of
// defaults and array sizes.
//
// Index of this file:
// [SECTION] Tokens
// [SECTION] Types
// [SECTION] The parser
// [SECTION] Annotations, states, passes and techniques
// [SECTION] Declarations, functions and static constants
// [SECTION] Constant expressions
// [SECTION] The line map and ParseEffect

#include "platform/fx/parser.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <map>
#include <optional>

namespace plat::fx {
namespace {

// ---------------------------------------------------------------------------
// [SECTION] Tokens
// ---------------------------------------------------------------------------

enum class Tok { Ident, Number, String, Punct, End };

struct Token {
    Tok kind;
    std::string_view text;
    size_t begin;  // offsets into the source
    size_t end;
    int line;
};

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

// `#define NAME value` (no parameters) is remembered, so array sizes and
// defaults written with a macro can still be evaluated. Function-like
// macros are left to the compiler.
void RecordDefine(std::string_view line, std::map<std::string, std::string, std::less<>>& macros) {
    size_t i = 1;
    auto skip_space = [&] {
        while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    };
    skip_space();
    if (line.substr(i, 6) != "define") return;
    i += 6;
    skip_space();
    const size_t name_start = i;
    while (i < line.size() && IsIdentChar(line[i])) ++i;
    if (i == name_start || (i < line.size() && line[i] == '(')) return;
    std::string name(line.substr(name_start, i - name_start));
    std::string value(line.substr(i));
    const size_t comment = value.find("//");
    if (comment != std::string::npos) value.resize(comment);
    macros[name] = value;
}

// `#line N` or `#line N "file"`: the next line is line N (of that file).
void RecordLine(std::string_view line, int at, LineMap& map) {
    size_t i = 1;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (line.substr(i, 4) != "line" || i + 4 >= line.size() || !std::isspace(static_cast<unsigned char>(line[i + 4]))) {
        return;
    }
    i += 4;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    long n = 0;
    size_t digits = 0;
    while (i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])) && digits++ < 9) n = n * 10 + (line[i++] - '0');
    if (digits == 0) return;
    std::string file = map.marks.empty() ? map.name : map.marks.back().file;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i < line.size() && line[i] == '"') {
        const size_t close = line.find('"', i + 1);
        if (close != std::string_view::npos) file = std::string(line.substr(i + 1, close - i - 1));
    }
    map.marks.push_back({at + 1, static_cast<int>(n), std::move(file)});
}

// Comments and preprocessor lines are skipped here; the HLSL compiler sees
// them again in the plain source. A block comment still open at the end of
// the file sets *open_comment to the line it began on.
std::vector<Token> Tokenize(std::string_view s, std::map<std::string, std::string, std::less<>>* macros = nullptr,
                            int* open_comment = nullptr, LineMap* lines = nullptr) {
    std::vector<Token> out;
    size_t i = 0;
    int line = 1;
    bool line_start = true;
    while (i < s.size()) {
        char c = s[i];
        if (c == '\n') {
            ++line;
            ++i;
            line_start = true;
            continue;
        }
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
            continue;
        }
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
            while (i < s.size() && s[i] != '\n') ++i;
            continue;
        }
        if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            const int opened = line;
            i += 2;
            while (i < s.size() && !(s[i] == '*' && i + 1 < s.size() && s[i + 1] == '/')) {
                if (s[i] == '\n') ++line;
                ++i;
            }
            if (i >= s.size() && open_comment) *open_comment = opened;
            i = std::min(s.size(), i + 2);
            continue;
        }
        if (c == '#' && line_start) {
            // A directive runs to the end of the line, with backslash continuations.
            const size_t directive = i;
            while (i < s.size() && s[i] != '\n') {
                if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '\n') {
                    ++line;
                    ++i;
                }
                ++i;
            }
            if (macros) RecordDefine(s.substr(directive, i - directive), *macros);
            if (lines) RecordLine(s.substr(directive, i - directive), line, *lines);
            continue;
        }
        line_start = false;
        size_t start = i;
        if (IsIdentStart(c)) {
            while (i < s.size() && IsIdentChar(s[i])) ++i;
            out.push_back({Tok::Ident, s.substr(start, i - start), start, i, line});
        } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                   (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
            while (i < s.size() && (IsIdentChar(s[i]) || s[i] == '.' ||
                                    ((s[i] == '+' || s[i] == '-') && (s[i - 1] == 'e' || s[i - 1] == 'E')))) {
                ++i;
            }
            out.push_back({Tok::Number, s.substr(start, i - start), start, i, line});
        } else if (c == '"') {
            ++i;
            while (i < s.size() && s[i] != '"' && s[i] != '\n') {
                if (s[i] == '\\' && i + 1 < s.size()) ++i;
                ++i;
            }
            if (i < s.size() && s[i] == '"') ++i;
            out.push_back({Tok::String, s.substr(start, i - start), start, i, line});
        } else {
            ++i;
            out.push_back({Tok::Punct, s.substr(start, 1), start, i, line});
        }
    }
    out.push_back({Tok::End, {}, s.size(), s.size(), line});
    return out;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && EqualsNoCase(s.substr(0, prefix.size()), prefix);
}

// ---------------------------------------------------------------------------
// [SECTION] Types
// ---------------------------------------------------------------------------

struct TypeShape {
    ParamClass cls = ParamClass::Struct;
    int rows = 1, columns = 1;
    bool numeric = false;
};

// float, float3, float4x4, half2, int, bool4, matrix, vector, ...
TypeShape ShapeOf(std::string_view type) {
    TypeShape t;
    if (StartsWithNoCase(type, "texture")) {
        t.cls = ParamClass::Texture;
        return t;
    }
    if (StartsWithNoCase(type, "sampler")) {
        t.cls = ParamClass::Sampler;
        return t;
    }
    if (type == "matrix") return {ParamClass::Matrix, 4, 4, true};
    if (type == "vector") return {ParamClass::Vector, 1, 4, true};
    for (std::string_view base : {"float", "half", "double", "int", "uint", "bool", "dword", "min16float"}) {
        if (type.substr(0, base.size()) != base) continue;
        std::string_view rest = type.substr(base.size());
        if (rest.empty()) return {ParamClass::Scalar, 1, 1, true};
        if (rest.size() == 1 && rest[0] >= '1' && rest[0] <= '4') {
            return {ParamClass::Vector, 1, rest[0] - '0', true};
        }
        if (rest.size() == 3 && rest[0] >= '1' && rest[0] <= '4' && rest[1] == 'x' && rest[2] >= '1' &&
            rest[2] <= '4') {
            return {ParamClass::Matrix, rest[0] - '0', rest[2] - '0', true};
        }
    }
    return t;
}

constexpr int kMaxDepth = 64;
// Macro uses expanded in one file. Real files need a few dozen, but macros
// built on each other (B = (A + A), C = (B + B), ...) ask for 2^depth
// expansions within the nesting limit; past this budget a default is "not a
// constant" instead of a hang.
constexpr size_t kMaxMacroExpansions = 1000;

// ---------------------------------------------------------------------------
// [SECTION] The parser
// ---------------------------------------------------------------------------

class Parser {
public:
    Parser(std::string_view src, std::string_view name, std::vector<std::string>* messages)
        : src_(src), name_(name), messages_(messages), lines_{std::string(name), {}},
          toks_(Tokenize(src, &macros_, &open_comment_, &lines_)) {}

    bool Run(ParsedEffect* out);

private:
    const Token& Peek(size_t ahead = 0) const { return toks_[std::min(pos_ + ahead, toks_.size() - 1)]; }
    const Token& Next() {
        const Token& t = toks_[pos_];
        if (pos_ + 1 < toks_.size()) ++pos_;
        return t;
    }
    bool AtEnd() const { return toks_[pos_].kind == Tok::End; }
    bool IsPunct(char c, size_t ahead = 0) const {
        const Token& t = Peek(ahead);
        return t.kind == Tok::Punct && t.text[0] == c;
    }
    bool Accept(char c) {
        if (!IsPunct(c)) return false;
        Next();
        return true;
    }
    bool Expect(char c, const char* what) {
        if (Accept(c)) return true;
        return Error(std::string("expected '") + c + "' " + what);
    }
    bool Error(const std::string& what) {
        Message(Peek().line, what + (AtEnd() ? " at the end of the file" : ", found '" + std::string(Peek().text) + "'"));
        failed_ = true;
        return false;
    }
    void Message(int line, const std::string& what) {
        if (messages_) messages_->push_back(lines_.Where(line) + ": " + what);
    }

    // Skips a balanced group starting at the current '(' '[' '{' or '<'.
    bool SkipGroup();
    bool ParseTopLevel();
    bool ParseTechnique();
    bool ParsePass(Technique& tech);
    bool ParseAnnotations(std::vector<Annotation>& out);
    bool ParseAssignments(std::vector<StateAssignment>& out, Pass* pass);
    bool ParseDeclaration();
    bool ParseFunction(std::string return_type, size_t name_tok);
    bool ParseStaticConst(const std::string& type);
    bool ParseSamplerState(Sampler& s);
    // Evaluates tokens [begin, end) as a number list: literals, + - * /,
    // parentheses, constructors such as float4(...) and braces.
    bool Evaluate(size_t begin, size_t end, std::vector<float>& values);
    using Toks = std::vector<Token>;
    bool EvalList(const Toks& tk, size_t& i, size_t end, std::vector<float>& values, int depth);
    std::optional<double> EvalExpr(const Toks& tk, size_t& i, size_t end, int depth, std::vector<float>* spill);
    std::optional<double> EvalTerm(const Toks& tk, size_t& i, size_t end, int depth, std::vector<float>* spill);
    std::optional<double> EvalFactor(const Toks& tk, size_t& i, size_t end, int depth, std::vector<float>* spill);

    // A replacement is one line of declarations; Run adds back every newline
    // the replaced range held. A token that itself spans lines (a string
    // with a backslash-newline inside a type's brackets) would otherwise
    // bring its newline twice and push every later line down by one.
    void Replace(size_t begin, size_t end, std::string text) {
        std::replace(text.begin(), text.end(), '\n', ' ');
        edits_.push_back({begin, end, std::move(text)});
    }
    std::string TextOf(size_t first_tok, size_t end_tok) const {
        if (first_tok >= end_tok) return {};
        return std::string(src_.substr(toks_[first_tok].begin, toks_[end_tok - 1].end - toks_[first_tok].begin));
    }
    // The same tokens on one line, one space apart. Declarations written
    // back into the HLSL are rebuilt this way: the source between their
    // tokens may hold newlines (and comments), and a newline carried into a
    // replacement would come on top of the removed text's own newlines,
    // which Run keeps, and push every later line down.
    std::string OneLineOf(size_t first_tok, size_t end_tok) const {
        std::string out;
        for (size_t i = first_tok; i < end_tok; ++i) {
            if (i > first_tok) out += ' ';
            out += toks_[i].text;
        }
        return out;
    }

    struct Edit {
        size_t begin, end;
        std::string text;
    };

    std::string_view src_;
    std::string_view name_;
    std::vector<std::string>* messages_;
    std::map<std::string, std::string, std::less<>> macros_;
    // Set while toks_ is made, so declared before it.
    LineMap lines_;
    int open_comment_ = 0;  // line of a block comment never closed
    std::vector<Token> toks_;
    size_t pos_ = 0;
    // Each macro's value as tokens, made on its first use (map nodes do not
    // move, so a list stays valid while its own evaluation adds others).
    std::map<std::string_view, std::vector<Token>> macro_tokens_;
    size_t macro_expansions_ = 0;  // in this file, against kMaxMacroExpansions
    bool failed_ = false;
    // Each global (parameter, texture, sampler) by name, with its line: HLSL
    // refuses a second declaration of one, and so do we, before the
    // stripped source hides it from the compiler.
    std::map<std::string, int, std::less<>> globals_;
    EffectDesc desc_;
    std::vector<FunctionSig> functions_;
    // `static const` scalars and vectors with their values, in file order:
    // array sizes and defaults may be written with them (`float4 taps[N * 2]`).
    std::map<std::string, std::vector<float>, std::less<>> constants_;
    std::vector<Edit> edits_;
};

bool Parser::SkipGroup() {
    const char open = Peek().text[0];
    const char close = open == '(' ? ')' : open == '[' ? ']' : open == '{' ? '}' : '>';
    int depth = 0;
    do {
        if (AtEnd()) return Error(std::string("unbalanced '") + open + "'");
        const Token& t = Next();
        if (t.kind == Tok::Punct && t.text[0] == open) ++depth;
        if (t.kind == Tok::Punct && t.text[0] == close) --depth;
    } while (depth > 0);
    return true;
}

bool Parser::Run(ParsedEffect* out) {
    // The compiler would see the same comment swallow the rest of the file,
    // including what this parser already took from it.
    if (open_comment_ > 0) {
        Message(open_comment_, "comment '/*' is never closed (no '*/' before the end of the file)");
        return false;
    }
    while (!AtEnd() && !failed_) {
        if (!ParseTopLevel()) break;
    }
    if (failed_) return false;
    std::sort(edits_.begin(), edits_.end(), [](const Edit& a, const Edit& b) { return a.begin < b.begin; });
    std::string hlsl;
    size_t at = 0;
    for (const Edit& e : edits_) {
        hlsl.append(src_.substr(at, e.begin - at));
        hlsl += e.text;
        // Keep every newline of what was removed, so lines still match.
        hlsl.append(static_cast<size_t>(std::count(src_.begin() + e.begin, src_.begin() + e.end, '\n')), '\n');
        at = e.end;
    }
    hlsl.append(src_.substr(at));
    out->hlsl = std::move(hlsl);
    out->desc = std::move(desc_);
    out->lines = std::move(lines_);
    out->functions = std::move(functions_);
    return true;
}

bool Parser::ParseTopLevel() {
    const Token& t = Peek();
    if (t.kind == Tok::Punct && t.text == ";") {
        Next();
        return true;
    }
    if (t.kind == Tok::Ident && (EqualsNoCase(t.text, "technique") || EqualsNoCase(t.text, "technique9") ||
                                 EqualsNoCase(t.text, "technique10") || EqualsNoCase(t.text, "technique11"))) {
        return ParseTechnique();
    }
    if (t.kind == Tok::Ident && (t.text == "struct" || t.text == "cbuffer" || t.text == "tbuffer")) {
        // Structures pass through untouched: skip to the closing brace and ';'.
        Next();
        while (!AtEnd() && !IsPunct('{') && !IsPunct(';')) Next();
        if (IsPunct('{') && !SkipGroup()) return false;
        while (!AtEnd() && !IsPunct(';') && Peek().kind == Tok::Ident) Next();
        Accept(';');
        return true;
    }
    if (t.kind == Tok::Ident && t.text == "typedef") {
        while (!AtEnd() && !IsPunct(';')) Next();
        Accept(';');
        return true;
    }
    if (t.kind != Tok::Ident) return Error("expected a declaration");
    return ParseDeclaration();
}

// ---------------------------------------------------------------------------
// [SECTION] Annotations, states, passes and techniques
// ---------------------------------------------------------------------------

bool Parser::ParseAnnotations(std::vector<Annotation>& out) {
    if (!IsPunct('<')) return true;
    Next();
    while (!IsPunct('>')) {
        if (AtEnd()) return Error("unterminated annotations");
        Annotation a;
        if (Peek().kind != Tok::Ident) return Error("expected an annotation type");
        a.type = std::string(Next().text);
        if (Peek().kind != Tok::Ident) return Error("expected an annotation name");
        a.name = std::string(Next().text);
        if (IsPunct('[')) {
            if (!SkipGroup()) return false;
        }
        if (!Expect('=', "after the annotation name")) return false;
        size_t begin = pos_;
        while (!AtEnd() && !IsPunct(';')) {
            if (IsPunct('{') || IsPunct('(')) {
                if (!SkipGroup()) return false;
            } else {
                Next();
            }
        }
        size_t end = pos_;
        if (!Expect(';', "after the annotation value")) return false;
        if (end == begin + 1 && toks_[begin].kind == Tok::String) {
            std::string_view s = toks_[begin].text;
            a.text = std::string(s.substr(1, s.size() >= 2 ? s.size() - 2 : 0));
        } else if (!Evaluate(begin, end, a.values)) {
            a.text = TextOf(begin, end);  // kept as written (a name, for example)
        }
        out.push_back(std::move(a));
    }
    Next();  // '>'
    return true;
}

bool Parser::ParseAssignments(std::vector<StateAssignment>& out, Pass* pass) {
    if (!Expect('{', "to open the block")) return false;
    while (!Accept('}')) {
        if (AtEnd()) return Error("unterminated block");
        if (Peek().kind != Tok::Ident) return Error("expected a state name");
        StateAssignment st;
        st.line = Peek().line;
        st.name = std::string(Next().text);
        if (IsPunct('[')) {
            Next();
            if (Peek().kind == Tok::Number) st.index = std::atoi(std::string(Peek().text).c_str());
            while (!AtEnd() && !IsPunct(']')) Next();
            if (!Expect(']', "after the state index")) return false;
        }
        if (!Expect('=', "after the state name")) return false;
        size_t begin = pos_;
        while (!AtEnd() && !IsPunct(';')) {
            if (IsPunct('{') || IsPunct('(')) {
                if (!SkipGroup()) return false;
            } else if (IsPunct('}')) {
                return Error("expected ';' after the state value");
            } else {
                Next();
            }
        }
        size_t end = pos_;
        if (!Expect(';', "after the state value")) return false;
        if (begin == end) return Error("empty state value");

        const bool is_vs = EqualsNoCase(st.name, "VertexShader");
        const bool is_ps = EqualsNoCase(st.name, "PixelShader");
        if (pass && (is_vs || is_ps)) {
            ShaderRef& ref = is_vs ? pass->vertex_shader : pass->pixel_shader;
            ref = ShaderRef{};
            ref.line = st.line;
            const Token& first = toks_[begin];
            if (first.kind == Tok::Ident && first.text == "compile") {
                if (end - begin < 4 || toks_[begin + 1].kind != Tok::Ident || toks_[begin + 2].kind != Tok::Ident ||
                    toks_[begin + 3].text != "(") {
                    Message(st.line, "expected 'compile PROFILE Entry(...)'");
                    failed_ = true;
                    return false;
                }
                ref.present = true;
                ref.profile = std::string(toks_[begin + 1].text);
                ref.entry = std::string(toks_[begin + 2].text);
                // From the tokens, so comments and newlines among the
                // arguments stay out of the one-line wrapper made of them.
                for (size_t k = begin + 4; k + 1 < end; ++k) {
                    const std::string_view t = toks_[k].text;
                    const bool tight = ref.arguments.empty() || t == "," || t == "(" || t == ")" || t == "]" || t == "." ||
                                       ref.arguments.back() == '(' || ref.arguments.back() == '[' ||
                                       ref.arguments.back() == '.';
                    ref.arguments += (tight ? "" : " ") + std::string(t);
                }
            } else if (first.kind == Tok::Ident && (EqualsNoCase(first.text, "null"))) {
                ref.present = false;
            } else if (first.kind == Tok::Ident && first.text == "asm") {
                Message(st.line, "assembly shader ('" + st.name + " = asm { ... }') is not supported; write it in HLSL");
                failed_ = true;
                return false;
            } else if (std::any_of(toks_.begin() + static_cast<std::ptrdiff_t>(begin),
                                   toks_.begin() + static_cast<std::ptrdiff_t>(end),
                                   [](const Token& t) { return t.text == "["; })) {
                Message(st.line, "shader array indexed at run time ('" + st.name + " = " + OneLineOf(begin, end) +
                                     "') is not supported");
                failed_ = true;
                return false;
            } else {
                Message(st.line, "shader value '" + TextOf(begin, end) + "' is not supported");
                failed_ = true;
                return false;
            }
            continue;
        }
        std::string value = TextOf(begin, end);
        // Texture = <name> or (name): keep the bare name.
        if (value.size() >= 2 && (value.front() == '<' || value.front() == '(')) {
            value = value.substr(1, value.size() - 2);
            value.erase(std::remove_if(value.begin(), value.end(), [](char c) { return std::isspace(static_cast<unsigned char>(c)); }),
                        value.end());
        }
        st.value = std::move(value);
        out.push_back(std::move(st));
    }
    return true;
}

bool Parser::ParsePass(Technique& tech) {
    Pass pass;
    pass.line = Next().line;  // 'pass'
    if (Peek().kind == Tok::Ident) pass.name = std::string(Next().text);
    if (pass.name.empty()) pass.name = "P" + std::to_string(tech.passes.size());
    if (!ParseAnnotations(pass.annotations)) return false;
    if (!ParseAssignments(pass.states, &pass)) return false;
    tech.passes.push_back(std::move(pass));
    return true;
}

bool Parser::ParseTechnique() {
    const size_t begin = Peek().begin;
    Technique tech;
    tech.line = Next().line;
    if (Peek().kind == Tok::Ident) tech.name = std::string(Next().text);
    if (!ParseAnnotations(tech.annotations)) return false;
    if (!Expect('{', "to open the technique")) return false;
    while (!Accept('}')) {
        if (AtEnd()) return Error("unterminated technique");
        if (Peek().kind == Tok::Ident && EqualsNoCase(Peek().text, "pass")) {
            if (!ParsePass(tech)) return false;
        } else {
            return Error("expected 'pass'");
        }
    }
    Accept(';');
    Replace(begin, toks_[pos_ - 1].end, "");
    desc_.techniques.push_back(std::move(tech));
    return true;
}

bool Parser::ParseSamplerState(Sampler& s) {
    std::vector<StateAssignment> states;
    if (!ParseAssignments(states, nullptr)) return false;
    for (StateAssignment& st : states) {
        if (EqualsNoCase(st.name, "Texture")) {
            s.texture = st.value;
        } else {
            s.states.push_back(std::move(st));
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// [SECTION] Declarations, functions and static constants
// ---------------------------------------------------------------------------

bool Parser::ParseDeclaration() {
    const size_t stmt_begin = Peek().begin;
    bool is_static = false, is_const = false;
    std::string keep_qualifiers;  // packing qualifiers change the layout: kept
    static constexpr std::string_view kQualifiers[] = {"static", "uniform", "const", "extern", "shared",
                                                       "volatile", "inline", "row_major", "column_major", "precise"};
    for (;;) {
        const Token& t = Peek();
        if (t.kind != Tok::Ident) break;
        if (std::find(std::begin(kQualifiers), std::end(kQualifiers), t.text) == std::end(kQualifiers)) break;
        if (t.text == "static") is_static = true;
        if (t.text == "const") is_const = true;
        if (t.text == "row_major" || t.text == "column_major") keep_qualifiers += std::string(t.text) + " ";
        Next();
    }
    if (Peek().kind != Tok::Ident) return Error("expected a type");
    std::string type(Next().text);
    std::string hlsl_type = type;  // as written back: on one line
    if (IsPunct('<')) {  // vector<float, 4>, matrix<float, 4, 4>, Texture2D<float4>
        size_t b = pos_;
        if (!SkipGroup()) return false;
        type += TextOf(b, pos_);
        hlsl_type += OneLineOf(b, pos_);
    }
    if (Peek().kind != Tok::Ident) return Error("expected a name after the type '" + type + "'");

    // A function: pass it through, remembering its signature.
    if (IsPunct('(', 1)) return ParseFunction(hlsl_type, pos_);

    if (EqualsNoCase(type, "VertexShader") || EqualsNoCase(type, "PixelShader")) {
        // Shader variables and arrays of them (picked by an index at run time)
        // have no counterpart in the device: every pass names its entry point.
        Message(Peek().line, "shader variable '" + type + " " + std::string(Peek().text) +
                                 (IsPunct('[', 1) ? "[...]" : "") +
                                 "' is not supported (shader arrays and shader variables: write "
                                 "'compile PROFILE Entry(...)' in the pass)");
        failed_ = true;
        return false;
    }

    const TypeShape shape = ShapeOf(type);
    const bool is_texture = shape.cls == ParamClass::Texture;
    const bool is_sampler = shape.cls == ParamClass::Sampler;
    const bool is_string = type == "string";
    if (is_static) {
        // Constants of the shader code, not parameters; the constant ones are
        // also remembered for array sizes and defaults written with them.
        if (is_const && shape.numeric) return ParseStaticConst(type);
        while (!AtEnd() && !IsPunct(';')) {
            if (IsPunct('{') || IsPunct('(')) {
                if (!SkipGroup()) return false;
            } else {
                Next();
            }
        }
        return Expect(';', "after the declaration");
    }

    std::string replacement;
    for (;;) {
        if (Peek().kind != Tok::Ident) return Error("expected a name");
        Parameter p;
        p.type = type;
        p.line = Peek().line;
        p.name = std::string(Next().text);
        if (auto [it, added] = globals_.emplace(p.name, p.line); !added) {
            Message(p.line, "'" + p.name + "' is declared twice (first on line " + std::to_string(it->second) + ")");
            failed_ = true;
            return false;
        }
        p.cls = shape.cls;
        p.rows = shape.rows;
        p.columns = shape.columns;
        std::string dims;
        while (IsPunct('[')) {
            size_t b = pos_;
            if (!SkipGroup()) return false;
            std::vector<float> n;
            if (b + 2 < pos_ && Evaluate(b + 1, pos_ - 1, n) && n.size() == 1 && n[0] >= 1 && n[0] <= 4096 &&
                n[0] == std::floor(n[0])) {
                p.elements = std::max(1, p.elements) * static_cast<int>(n[0]);
            } else {
                Message(p.line, "array size of '" + p.name + "' (" + OneLineOf(b + 1, pos_ - 1) +
                                    ") is not a whole number from 1 to 4096");
                failed_ = true;
                return false;
            }
            // Written back as the number: the compiler may not know the
            // macro or constant that gave it.
            dims += "[" + std::to_string(static_cast<int>(n[0])) + "]";
        }
        if (Accept(':')) {  // semantic or register(...)
            if (Peek().kind == Tok::Ident) {
                p.semantic = std::string(Next().text);
                if (IsPunct('(') && !SkipGroup()) return false;
            }
        }
        if (!ParseAnnotations(p.annotations)) return false;
        Sampler sampler;
        if (Accept('=')) {
            if (Peek().kind == Tok::Ident && EqualsNoCase(Peek().text, "sampler_state")) {
                Next();
                if (!ParseSamplerState(sampler)) return false;
            } else {
                size_t b = pos_;
                while (!AtEnd() && !IsPunct(';') && !IsPunct(',')) {
                    if (IsPunct('{') || IsPunct('(')) {
                        if (!SkipGroup()) return false;
                    } else {
                        Next();
                    }
                }
                // A default that was written is read, or the file is refused:
                // the compiler drops initialisers of globals, so a default
                // this parser cannot read would silently become zeros.
                const size_t want = static_cast<size_t>(p.rows * p.columns * std::max(1, p.elements));
                if (is_sampler || is_texture || is_string) {
                    // A texture or string value: nothing a shader sees.
                } else if (!shape.numeric) {
                    Message(p.line, "default of '" + p.name + "' (type '" + type + "') cannot be read: defaults "
                                    "are read for numeric types only");
                    failed_ = true;
                    return false;
                } else if (!Evaluate(b, pos_, p.defaults)) {
                    Message(p.line, "default of '" + p.name + "' is not a constant expression: " + OneLineOf(b, pos_));
                    failed_ = true;
                    return false;
                } else if (p.defaults.size() != want && p.defaults.size() != 1) {
                    Message(p.line, "default of '" + p.name + "' has " + std::to_string(p.defaults.size()) +
                                        " values; its type '" + type + dims + "' holds " + std::to_string(want));
                    failed_ = true;
                    return false;
                } else {
                    if (p.defaults.size() == 1) p.defaults.assign(want, p.defaults[0]);  // float4 c = 0;
                    p.has_default = true;
                }
            }
        }
        if (is_sampler) {
            sampler.type = type;
            sampler.name = p.name;
            sampler.line = p.line;
            desc_.samplers.push_back(std::move(sampler));
            replacement += "sampler2D " + p.name + dims + "; ";
        } else if (is_string) {
            // Strings are tool metadata; the compiler has no such type.
        } else {
            if (!is_texture) replacement += keep_qualifiers + hlsl_type + " " + p.name + dims + "; ";
            desc_.parameters.push_back(std::move(p));
        }
        if (Accept(',')) continue;
        break;
    }
    if (!Expect(';', "after the declaration")) return false;
    // The whole statement becomes plain declarations: no semantics,
    // annotations, initialisers, textures or sampler states.
    Replace(stmt_begin, toks_[pos_ - 1].end, replacement);
    return true;
}

// Reads a function's signature, so that a pass may bind its uniform
// parameters to constants (compile vs_2_0 VS(1, true)); the body passes
// through untouched.
bool Parser::ParseFunction(std::string return_type, size_t name_tok) {
    FunctionSig f;
    f.return_type = std::move(return_type);
    f.line = toks_[name_tok].line;
    f.name = std::string(Next().text);
    const size_t open = pos_;
    if (!SkipGroup()) return false;
    const size_t close = pos_ - 1;
    static constexpr std::string_view kParamQualifiers[] = {"in", "out", "inout", "uniform", "const", "linear",
                                                            "centroid", "nointerpolation", "noperspective",
                                                            "sample", "precise"};
    for (size_t i = open + 1; i < close;) {
        size_t j = i;
        int depth = 0;
        for (; j < close; ++j) {
            const Token& t = toks_[j];
            if (t.kind != Tok::Punct) continue;
            if (t.text[0] == '(' || t.text[0] == '[' || t.text[0] == '{' || t.text[0] == '<') ++depth;
            if (t.text[0] == ')' || t.text[0] == ']' || t.text[0] == '}' || t.text[0] == '>') --depth;
            if (t.text[0] == ',' && depth == 0) break;
        }
        FunctionParam param;
        size_t k = i;
        while (k < j && toks_[k].kind == Tok::Ident &&
               std::find(std::begin(kParamQualifiers), std::end(kParamQualifiers), toks_[k].text) !=
                   std::end(kParamQualifiers)) {
            const std::string_view q = toks_[k].text;
            param.qualifiers += (param.qualifiers.empty() ? "" : " ") + std::string(q);
            param.is_uniform |= q == "uniform";
            param.is_out |= q == "out" || q == "inout";
            ++k;
        }
        const size_t type_begin = k;
        if (k < j) ++k;
        if (k < j && toks_[k].text == "<") {
            while (k < j && toks_[k].text != ">") ++k;
            if (k < j) ++k;
        }
        param.type = OneLineOf(type_begin, k);
        if (k < j && toks_[k].kind == Tok::Ident) param.name = std::string(toks_[k++].text);
        const size_t dims_begin = k;
        while (k < j && toks_[k].text == "[") {
            while (k < j && toks_[k].text != "]") ++k;
            if (k < j) ++k;
        }
        param.dims = OneLineOf(dims_begin, k);
        if (k + 1 < j && toks_[k].text == ":" && toks_[k + 1].kind == Tok::Ident) {
            param.semantic = std::string(toks_[k + 1].text);
        }
        // `f(void)` declares no parameter.
        if (!(param.type == "void" && param.name.empty())) f.params.push_back(std::move(param));
        i = j + 1;
    }
    while (!AtEnd() && !IsPunct('{') && !IsPunct(';')) {  // ": SEMANTIC"
        if (IsPunct(':') && Peek(1).kind == Tok::Ident) f.return_semantic = std::string(Peek(1).text);
        Next();
    }
    if (IsPunct('{')) {
        if (!SkipGroup()) return false;
        functions_.push_back(std::move(f));
        return true;
    }
    return Expect(';', "after the function declaration");
}

// `static const int N = 4;`, `static const float2 kOffset = {0.5, 0.5};`:
// the declaration stays in the HLSL as written; its value is remembered when
// it can be read. One that cannot (an array, a call) is the compiler's alone.
bool Parser::ParseStaticConst(const std::string& type) {
    const TypeShape shape = ShapeOf(type);
    for (;;) {
        if (Peek().kind != Tok::Ident) return Error("expected a name");
        const std::string name(Next().text);
        bool array = false;
        while (IsPunct('[')) {
            array = true;
            if (!SkipGroup()) return false;
        }
        if (Accept(':') && Peek().kind == Tok::Ident) Next();
        if (Accept('=')) {
            const size_t b = pos_;
            while (!AtEnd() && !IsPunct(';') && !IsPunct(',')) {
                if (IsPunct('{') || IsPunct('(')) {
                    if (!SkipGroup()) return false;
                } else {
                    Next();
                }
            }
            std::vector<float> v;
            const size_t want = static_cast<size_t>(shape.rows * shape.columns);
            if (!array && Evaluate(b, pos_, v) && (v.size() == want || v.size() == 1)) {
                if (v.size() == 1) v.assign(want, v[0]);
                constants_[name] = std::move(v);
            }
        }
        if (Accept(',')) continue;
        break;
    }
    return Expect(';', "after the declaration");
}

// ---------------------------------------------------------------------------
// [SECTION] Constant expressions
// ---------------------------------------------------------------------------

bool Parser::Evaluate(size_t begin, size_t end, std::vector<float>& values) {
    size_t i = begin;
    std::vector<float> out;
    if (!EvalList(toks_, i, end, out, 0) || i != end) return false;
    values = std::move(out);
    return true;
}

// list := item (',' item)*, item := expr producing one or more values.
bool Parser::EvalList(const Toks& tk, size_t& i, size_t end, std::vector<float>& values, int depth) {
    if (depth > kMaxDepth) return false;
    for (;;) {
        std::vector<float> spill;
        std::optional<double> v = EvalExpr(tk, i, end, depth + 1, &spill);
        if (!v && spill.empty()) return false;
        if (v) values.push_back(static_cast<float>(*v));
        values.insert(values.end(), spill.begin(), spill.end());
        if (i < end && tk[i].kind == Tok::Punct && tk[i].text[0] == ',') {
            ++i;
            // `{ a, b, }`: a comma before the closing brace ends the list.
            if (i < end && tk[i].kind == Tok::Punct && tk[i].text[0] == '}') return true;
            continue;
        }
        return true;
    }
}

// A braced list or a constructor yields several values: they go to *spill
// and the expression has no single value; it may then not be combined.
std::optional<double> Parser::EvalExpr(const Toks& tk, size_t& i, size_t end, int depth, std::vector<float>* spill) {
    std::optional<double> a = EvalTerm(tk, i, end, depth, spill);
    while (a && i < end && tk[i].kind == Tok::Punct && (tk[i].text[0] == '+' || tk[i].text[0] == '-')) {
        char op = tk[i++].text[0];
        std::optional<double> b = EvalTerm(tk, i, end, depth, nullptr);
        if (!b) return std::nullopt;
        a = op == '+' ? *a + *b : *a - *b;
    }
    return a;
}

std::optional<double> Parser::EvalTerm(const Toks& tk, size_t& i, size_t end, int depth, std::vector<float>* spill) {
    std::optional<double> a = EvalFactor(tk, i, end, depth, spill);
    while (a && i < end && tk[i].kind == Tok::Punct && (tk[i].text[0] == '*' || tk[i].text[0] == '/')) {
        char op = tk[i++].text[0];
        std::optional<double> b = EvalFactor(tk, i, end, depth, nullptr);
        if (!b) return std::nullopt;
        a = op == '*' ? *a * *b : *a / *b;
    }
    return a;
}

std::optional<double> Parser::EvalFactor(const Toks& tk, size_t& i, size_t end, int depth, std::vector<float>* spill) {
    if (depth > kMaxDepth || i >= end) return std::nullopt;
    const Token& t = tk[i];
    if (t.kind == Tok::Punct && (t.text[0] == '-' || t.text[0] == '+')) {
        ++i;
        std::optional<double> v = EvalFactor(tk, i, end, depth + 1, nullptr);
        if (!v) return std::nullopt;
        return t.text[0] == '-' ? -*v : *v;
    }
    if (t.kind == Tok::Number) {
        ++i;
        std::string text(t.text);
        while (!text.empty() && (text.back() == 'f' || text.back() == 'F' || text.back() == 'h' || text.back() == 'H' ||
                                 text.back() == 'u' || text.back() == 'U' || text.back() == 'l' || text.back() == 'L')) {
            if ((text.back() == 'f' || text.back() == 'F') && text.size() > 2 && text[0] == '0' &&
                (text[1] == 'x' || text[1] == 'X')) {
                break;  // a hex digit, not a suffix
            }
            text.pop_back();
        }
        char* stop = nullptr;
        double v = (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
                       ? static_cast<double>(std::strtoull(text.c_str(), &stop, 16))
                       : std::strtod(text.c_str(), &stop);
        if (!stop || *stop != '\0') return std::nullopt;
        return v;
    }
    if (t.kind == Tok::Ident) {
        auto macro = macros_.find(t.text);
        if (macro != macros_.end()) {
            ++i;
            if (++macro_expansions_ > kMaxMacroExpansions) return std::nullopt;
            auto list = macro_tokens_.find(macro->first);
            if (list == macro_tokens_.end()) list = macro_tokens_.emplace(macro->first, Tokenize(macro->second)).first;
            size_t j = 0;
            const size_t n = list->second.size() - 1;  // without the end token
            std::optional<double> v = EvalExpr(list->second, j, n, depth + 1, spill);
            if (j != n) return std::nullopt;
            return v;
        }
    }
    if (t.kind == Tok::Ident) {
        auto constant = constants_.find(t.text);
        if (constant != constants_.end() && !(i + 1 < end && tk[i + 1].text == "(")) {
            ++i;
            if (constant->second.size() == 1) return constant->second[0];
            if (!spill) return std::nullopt;
            spill->insert(spill->end(), constant->second.begin(), constant->second.end());
            return std::nullopt;
        }
    }
    if (t.kind == Tok::Ident && (t.text == "true" || t.text == "TRUE")) return (++i, 1.0);
    if (t.kind == Tok::Ident && (t.text == "false" || t.text == "FALSE")) return (++i, 0.0);
    if (t.kind == Tok::Punct && t.text[0] == '(') {
        ++i;
        std::optional<double> v = EvalExpr(tk, i, end, depth + 1, nullptr);
        if (!v || i >= end || tk[i].text != ")") return std::nullopt;
        ++i;
        return v;
    }
    if (!spill) return std::nullopt;
    // { a, b, ... } or float4(a, b, ...): several values.
    const bool brace = t.kind == Tok::Punct && t.text[0] == '{';
    const bool ctor = t.kind == Tok::Ident && ShapeOf(t.text).numeric && i + 1 < end && tk[i + 1].text == "(";
    if (!brace && !ctor) return std::nullopt;
    i += brace ? 1 : 2;
    const char close = brace ? '}' : ')';
    if (i < end && tk[i].kind == Tok::Punct && tk[i].text[0] == close) {
        ++i;
        return std::nullopt;  // empty list: nothing spilled, the caller fails
    }
    if (!EvalList(tk, i, end, *spill, depth + 1)) return std::nullopt;
    if (i >= end || tk[i].kind != Tok::Punct || tk[i].text[0] != close) {
        spill->clear();
        return std::nullopt;
    }
    ++i;
    return std::nullopt;
}

}  // namespace

// ---------------------------------------------------------------------------
// [SECTION] The line map and ParseEffect
// ---------------------------------------------------------------------------

std::string LineMap::Where(int line) const {
    auto after = std::upper_bound(marks.begin(), marks.end(), line, [](int l, const Mark& m) { return l < m.line; });
    if (after == marks.begin()) return name + "(" + std::to_string(line) + ")";
    const Mark& m = *(after - 1);
    return m.file + "(" + std::to_string(m.source_line + (line - m.line)) + ")";
}

bool ParseEffect(std::string_view source, std::string_view name, ParsedEffect* out,
                 std::vector<std::string>* messages) {
    Parser parser(source, name, messages);
    return parser.Run(out);
}

}  // namespace plat::fx
