#include "platform/fx/preprocess.h"

#include <glslang/Public/ResourceLimits.h>
#include <glslang/Public/ShaderLang.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <limits>
#include <map>
#include <memory>
#include <set>

namespace plat::fx {
namespace {

bool IsIdentStart(char c) { return std::isalpha(static_cast<unsigned char>(c)) || c == '_'; }
bool IsIdentChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; }

std::string Normalise(const std::filesystem::path& p) { return p.lexically_normal().generic_string(); }

// ---- A bound on macro expansion --------------------------------------------
//
// glslang expands macros without any limit, and five nested two-argument
// macros written in one line ask it for 2^30 tokens: minutes and gigabytes
// before it returns. So before it runs, each file is scanned for an upper
// bound of what its macros can produce, over-estimated on purpose:
//   c(M), how often M can copy one argument: its most-used parameter's
//     count, times c of every macro its body names;
//   b(M), the tokens M alone becomes: its body, each macro in it counted as
//     b, times the copies those macros make;
//   a run of tokens that can expand together (up to a ';' '{' '}' or ','
//     outside parentheses, or a closed call not followed by '('): the sum of
//     its tokens' b times the product of their c.
// Nested calls multiply exactly as the bound does, so a real file with
// macros of one level (DECLARE_TEX(...)) stays near its own size.

struct Macro {
    std::vector<std::string> params;
    std::vector<std::string> body;  // identifiers and single punctuation
    double b = -1, c = -1;          // -1: not yet worked out
    bool visiting = false;
};

struct MacroTable {
    std::map<std::string, Macro, std::less<>> macros;
    bool unbalanced = false;  // some body opens or closes more parentheses than it has
    long steps = 0;           // body tokens looked at for the current file
    bool too_much = false;    // the weighing itself ran past its budget
};

// Body tokens the weighing may look at per file (some tens of
// milliseconds): macros that name each other round a cycle are weighed
// afresh on every path (see Weigh), and a file that makes that take longer
// than this is refused rather than weighed. Real files look at a few
// thousand.
constexpr long kMaxWeighSteps = 250 * 1000;

// Identifiers, numbers and strings as single tokens; comments dropped.
std::vector<std::string> Words(std::string_view s) {
    std::vector<std::string> out;
    size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '/') {
            while (i < s.size() && s[i] != '\n') ++i;
        } else if (c == '/' && i + 1 < s.size() && s[i + 1] == '*') {
            const size_t close = s.find("*/", i + 2);
            i = close == std::string_view::npos ? s.size() : close + 2;
        } else if (IsIdentChar(c)) {
            const size_t start = i;
            while (i < s.size() && IsIdentChar(s[i])) ++i;
            out.emplace_back(s.substr(start, i - start));
        } else if (c == '"') {
            ++i;
            while (i < s.size() && s[i] != '"' && s[i] != '\n') i += s[i] == '\\' ? 2 : 1;
            ++i;
            out.emplace_back("\"");
        } else {
            out.emplace_back(1, c);
            ++i;
        }
    }
    return out;
}

void RecordMacro(std::string_view directive, MacroTable& table) {
    std::vector<std::string> w = Words(directive);  // "#" "define" NAME ...
    if (w.size() < 3 || w[1] != "define" || !IsIdentStart(w[2][0])) return;
    Macro m;
    size_t i = 3;
    // Function-like only when '(' touches the name.
    const size_t name_at = directive.find(w[2]);
    if (name_at != std::string_view::npos && name_at + w[2].size() < directive.size() &&
        directive[name_at + w[2].size()] == '(') {
        for (++i; i < w.size() && w[i] != ")"; ++i) {
            if (w[i] != ",") m.params.push_back(w[i]);
        }
        ++i;
    }
    int depth = 0;
    for (; i < w.size(); ++i) {
        depth += w[i] == "(" ? 1 : w[i] == ")" ? -1 : 0;
        if (depth < 0) table.unbalanced = true;
        m.body.push_back(w[i]);
    }
    if (depth != 0) table.unbalanced = true;
    // A name defined twice counts with both bodies: the bound must hold
    // whichever one is live where it is used.
    Macro& slot = table.macros[w[2]];
    slot.params.insert(slot.params.end(), m.params.begin(), m.params.end());
    slot.body.insert(slot.body.end(), m.body.begin(), m.body.end());
    slot.b = slot.c = -1;
}

// Sets *b and *c for M on the current path of expansion. A macro met while
// it is being expanded stays one token (the preprocessor leaves it be), so a
// weight worked out below such a meeting holds for this path only: the
// same macro reached from elsewhere expands further. Such weights are not
// kept; only those that met no macro in expansion are. Returns false when
// it met one.
bool Weigh(Macro& m, MacroTable& table, double* b, double* c) {
    if (m.b >= 0) {
        *b = m.b;
        *c = m.c;
        return true;
    }
    table.steps += static_cast<long>(m.body.size()) + 1;
    if (table.steps > kMaxWeighSteps) table.too_much = true;
    if (table.too_much) {
        *b = *c = 1;
        return false;
    }
    m.visiting = true;
    bool kept = true;
    double copies = 1, sum = 0;
    for (const std::string& p : m.params) copies = std::max(copies, static_cast<double>(std::count(m.body.begin(), m.body.end(), p)));
    double product = 1;
    for (const std::string& t : m.body) {
        auto it = table.macros.find(t);
        if (it == table.macros.end()) {
            sum += 1;
            continue;
        }
        if (it->second.visiting) {
            sum += 1;
            kept = false;
            continue;
        }
        double tb = 0, tc = 0;
        kept = Weigh(it->second, table, &tb, &tc) && kept;
        sum += tb;
        product *= tc;
    }
    m.visiting = false;
    *c = copies * product;
    *b = sum * product;
    if (kept) {
        m.b = *b;
        m.c = *c;
    }
    return kept;
}

// Adds the file's #defines to `table` and gives the bound for its text.
double ExpansionBound(std::string_view text, MacroTable& table) {
    std::string code;  // the text without its directives
    size_t i = 0;
    bool line_start = true;
    while (i < text.size()) {
        const char c = text[i];
        if (line_start && c == '#') {
            const size_t start = i;
            while (i < text.size() && text[i] != '\n') i += (text[i] == '\\' && i + 1 < text.size()) ? 2 : 1;
            RecordMacro(text.substr(start, i - start), table);
            continue;
        }
        if (c == '\n') line_start = true;
        else if (!std::isspace(static_cast<unsigned char>(c))) line_start = false;
        code += c;
        ++i;
    }
    // Definitions may have changed since the last file: weigh all anew.
    for (auto& [name, m] : table.macros) m.b = m.c = -1;
    table.steps = 0;
    double total = 0, sum = 0, product = 1;
    int depth = 0;
    const std::vector<std::string> w = Words(code);
    for (size_t k = 0; k < w.size(); ++k) {
        const std::string& t = w[k];
        auto it = table.macros.find(t);
        if (it == table.macros.end()) {
            sum += 1;
        } else {
            double b = 0, c = 0;
            Weigh(it->second, table, &b, &c);
            sum += b;
            product *= c;
        }
        depth = std::max(0, depth + (t == "(" ? 1 : t == ")" ? -1 : 0));
        const bool separator = t == ";" || t == "{" || t == "}" || t == ",";
        const bool closed_call = t == ")" && (k + 1 == w.size() || w[k + 1] != "(");
        if (depth == 0 && !table.unbalanced && (separator || closed_call)) {
            total += sum * product;
            sum = 0;
            product = 1;
        }
    }
    if (table.too_much) return std::numeric_limits<double>::infinity();
    return total + sum * product;
}

// ---- Includes ---------------------------------------------------------------

struct IncludeText {
    std::string path;
    std::string text;
};

class Includer : public glslang::TShader::Includer {
public:
    Includer(const PreprocessOptions& options, std::string main_path, MacroTable& macros)
        : options_(options), main_path_(std::move(main_path)), macros_(macros) {}

    IncludeResult* includeLocal(const char* header, const char* includer, size_t depth) override {
        return Find(header, includer, depth, false);
    }
    IncludeResult* includeSystem(const char* header, const char* includer, size_t depth) override {
        // glslang asks here too after a quoted name failed; that search
        // already covered the directories.
        if (local_failed_) {
            local_failed_ = false;
            return nullptr;
        }
        return Find(header, includer, depth, true);
    }
    void releaseInclude(IncludeResult* result) override {
        if (!result) return;
        delete static_cast<IncludeText*>(result->userData);
        delete result;
    }

    // Why the last include failed, in words; "" when none did.
    const std::string& Reason() const { return reason_; }
    bool TooLarge() const { return too_large_; }

private:
    IncludeResult* Find(const char* header, const char* includer, size_t depth, bool angled) {
        local_failed_ = !angled;
        if (depth > kMaxIncludeDepth) {
            reason_ = std::string("'") + header + "' is included more than " + std::to_string(kMaxIncludeDepth) +
                      " deep (does a file include itself?)";
            return nullptr;
        }
        // Depth 1 is the main file, whose place may differ from its name.
        const std::string from = depth <= 1 ? main_path_ : std::string(includer);
        const std::vector<std::string> candidates = IncludeCandidates(header, from, angled, options_.include_dirs);
        auto text = std::make_unique<IncludeText>();
        for (const std::string& path : candidates) {
            // The path goes back into `#line N "path"`: a quote or line
            // break inside would cut the directive.
            if (path.find_first_of("\"\n") != std::string::npos) continue;
            if (!options_.read || !options_.read(path, &text->text)) continue;
            if (ExpansionBound(text->text, macros_) > kMaxExpansion) {
                too_large_ = true;
                reason_ = "the macros of '" + path + "' expand to too much text";
                return nullptr;
            }
            text->path = path;
            local_failed_ = false;
            auto* result = new IncludeResult(text->path, text->text.data(), text->text.size(), text.get());
            text.release();
            return result;
        }
        std::string looked;
        for (const std::string& c : candidates) looked += (looked.empty() ? "" : ", ") + c;
        reason_ = std::string("cannot find include file '") + header + "'" +
                  (options_.read ? " (looked for " + (looked.empty() ? std::string("it nowhere") : looked) + ")"
                                 : " (includes are not read here)");
        return nullptr;
    }

    const PreprocessOptions& options_;
    std::string main_path_;
    MacroTable& macros_;
    std::string reason_;
    bool local_failed_ = false;
    bool too_large_ = false;
};

// glslang says "ERROR: FILE:LINE: 'what' : text"; ours is "FILE(LINE): ...".
void ConvertLog(std::string_view log, const std::string& include_reason, std::vector<std::string>* messages) {
    size_t start = 0;
    while (start < log.size()) {
        size_t end = log.find('\n', start);
        if (end == std::string_view::npos) end = log.size();
        std::string_view line = log.substr(start, end - start);
        start = end + 1;
        while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.remove_suffix(1);
        for (std::string_view level : {"ERROR: ", "WARNING: "}) {
            if (line.substr(0, level.size()) == level) line.remove_prefix(level.size());
        }
        if (line.empty() || line.find("compilation errors") != std::string_view::npos) continue;
        // FILE:LINE: - the first ":digits: " from the left.
        size_t colon = 0;
        std::string where, text(line);
        while ((colon = line.find(':', colon)) != std::string_view::npos) {
            size_t d = colon + 1;
            while (d < line.size() && std::isdigit(static_cast<unsigned char>(line[d]))) ++d;
            if (d > colon + 1 && line.substr(d, 2) == ": ") {
                where = std::string(line.substr(0, colon)) + "(" + std::string(line.substr(colon + 1, d - colon - 1)) + ")";
                text = std::string(line.substr(d + 2));
                break;
            }
            ++colon;
        }
        // 'token' : text -> token: text
        if (text.size() > 1 && text[0] == '\'') {
            const size_t q = text.find("' : ");
            if (q != std::string::npos) {
                const std::string token = text.substr(1, q - 1);
                text = (token.empty() ? "" : token + ": ") + text.substr(q + 4);
            }
        }
        if (text.rfind("#include: ", 0) == 0 && !include_reason.empty()) text = "#include: " + include_reason;
        if (text == "missing #endif") text = "#if without #endif (the file ends first)";
        if (text == "comment: End of input in comment") text = "comment '/*' is never closed";
        messages->push_back(where.empty() ? text : where + ": " + text);
    }
}

bool ValidDefine(const std::pair<std::string, std::string>& d) {
    if (d.first.empty() || !IsIdentStart(d.first[0])) return false;
    for (char c : d.first) {
        if (!IsIdentChar(c)) return false;
    }
    return d.second.find_first_of("\r\n") == std::string::npos;
}

}  // namespace

std::vector<std::string> IncludeCandidates(std::string_view requested, std::string_view includer, bool angled,
                                           const std::vector<std::string>& include_dirs) {
    namespace fs = std::filesystem;
    std::vector<std::string> out;
    const fs::path wanted{std::string(requested)};
    if (wanted.empty()) return out;
    if (wanted.is_absolute()) return {Normalise(wanted)};
    if (!angled) out.push_back(Normalise(fs::path(std::string(includer)).parent_path() / wanted));
    for (const std::string& dir : include_dirs) {
        std::string path = Normalise(fs::path(dir) / wanted);
        if (std::find(out.begin(), out.end(), path) == out.end()) out.push_back(std::move(path));
    }
    return out;
}

bool Preprocess(std::string_view source, std::string_view name, const PreprocessOptions& options, std::string* out,
                std::vector<std::string>* messages) {
    [[maybe_unused]] static const bool initialised = glslang::InitializeProcess();
    std::vector<std::string> local;
    if (!messages) messages = &local;

    std::string preamble;
    for (const auto& d : options.defines) {
        if (!ValidDefine(d)) {
            messages->push_back(std::string(name) + ": -D '" + d.first + "': a macro name is a C identifier, and its value one line");
            return false;
        }
        preamble += "#define " + d.first + " " + d.second + "\n";
    }
    MacroTable macros;
    ExpansionBound(preamble, macros);
    if (ExpansionBound(source, macros) > kMaxExpansion) {
        messages->push_back(std::string(name) + ": its macros expand to too much text (more than " +
                            std::to_string(static_cast<long>(kMaxExpansion)) + " tokens)");
        return false;
    }

    // The name comes back in `#line N "name"` after an include.
    std::string shown(name);
    for (char& c : shown) {
        if (c == '"' || c == '\n') c = '\'';
    }
    glslang::TShader shader(EShLangFragment);
    const std::string text(source);
    const char* strings[] = {text.c_str()};
    const int lengths[] = {static_cast<int>(text.size())};
    const char* names[] = {shown.c_str()};
    shader.setStringsWithLengthsAndNames(strings, lengths, names, 1);
    shader.setPreamble(preamble.c_str());
    shader.setEnvInput(glslang::EShSourceHlsl, EShLangFragment, glslang::EShClientVulkan, 100);
    shader.setEnvClient(glslang::EShClientVulkan, glslang::EShTargetVulkan_1_0);
    shader.setEnvTarget(glslang::EShTargetSpv, glslang::EShTargetSpv_1_0);
    Includer includer(options, options.path.empty() ? shown : options.path, macros);
    std::string result;
    const auto kind = static_cast<EShMessages>(EShMsgReadHlsl | EShMsgSpvRules | EShMsgVulkanRules);
    const bool ok = shader.preprocess(GetDefaultResources(), 100, ENoProfile, false, false, kind, &result, includer);
    ConvertLog(shader.getInfoLog(), includer.Reason(), messages);
    if (!ok || includer.TooLarge()) {
        if (messages->empty()) messages->push_back(shown + ": the preprocessor failed");
        return false;
    }
    *out = std::move(result);
    return true;
}

bool ReadEffectSource(std::string_view source, std::string_view name, const PreprocessOptions& options,
                      ParsedEffect* out, std::vector<std::string>* messages) {
    std::string text;
    if (!Preprocess(source, name, options, &text, messages)) return false;
    return ParseEffect(text, name, out, messages);
}

}  // namespace plat::fx
