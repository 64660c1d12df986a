#include "map/material_definitions.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <system_error>
#include <utility>
#include <vector>

namespace q {

namespace {

std::string folded(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

struct Token {
    enum Kind { Word, Open, Close, End } kind = End;
    std::string text;  // a word, quotes taken off
    int line = 0;
};

// Words, braces and the end, comments and blanks passed over; each token
// knows its line, since a keyword's arguments are the words on its own line.
class Tokens {
public:
    Tokens(std::string_view text, const std::string& fileName, std::string* error)
        : text_(text), fileName_(fileName), error_(error) {}

    // False on a fault (the message is in *error).
    bool next(Token* out) {
        if (peeked_) {
            *out = std::move(*peeked_);
            peeked_.reset();
            return true;
        }
        return read(out);
    }
    bool peek(const Token** out) {
        if (!peeked_) {
            Token token;
            if (!read(&token)) return false;
            peeked_ = std::move(token);
        }
        *out = &*peeked_;
        return true;
    }
    bool fail(int line, const std::string& what) {
        *error_ = fileName_ + ":" + std::to_string(line) + ": " + what;
        return false;
    }
    // Where the next token is read from (past a token peeked at).
    size_t offset() const { return at_; }

private:
    bool read(Token* out) {
        for (;;) {
            while (at_ < text_.size() && isBlank(text_[at_])) {
                if (text_[at_] == '\n') ++line_;
                ++at_;
            }
            if (startsComment("//")) {
                while (at_ < text_.size() && text_[at_] != '\n') ++at_;
                continue;
            }
            if (startsComment("/*")) {
                const int opened = line_;
                const size_t close = text_.find("*/", at_ + 2);
                if (close == std::string_view::npos)
                    return fail(opened, "expected '*/' to close the comment opened here");
                for (size_t i = at_; i < close; ++i) line_ += text_[i] == '\n';
                at_ = close + 2;
                continue;
            }
            break;
        }
        out->line = line_;
        out->text.clear();
        if (at_ >= text_.size()) {
            out->kind = Token::End;
            return true;
        }
        const char c = text_[at_];
        if (c == '{' || c == '}') {
            out->kind = c == '{' ? Token::Open : Token::Close;
            ++at_;
            return true;
        }
        out->kind = Token::Word;
        if (c == '"') {
            const size_t close = text_.find_first_of("\"\n", at_ + 1);
            if (close == std::string_view::npos || text_[close] != '"')
                return fail(line_, "expected a closing '\"' on the same line");
            out->text = text_.substr(at_ + 1, close - at_ - 1);
            at_ = close + 1;
            return checkText(out->text);
        }
        const size_t start = at_;
        while (at_ < text_.size() && !isBlank(text_[at_]) && text_[at_] != '{' && text_[at_] != '}' &&
               !startsComment("//") && !startsComment("/*"))
            ++at_;
        out->text = text_.substr(start, at_ - start);
        return checkText(out->text);
    }

    bool startsComment(const char* mark) const { return text_.substr(at_, 2) == mark; }

    // Definition files are text: a control byte means a binary or damaged file.
    bool checkText(const std::string& word) {
        for (char c : word)
            if (static_cast<unsigned char>(c) < 0x20 && !isBlank(c)) {
                char what[64];
                std::snprintf(what, sizeof what, "expected text, found the byte 0x%02x",
                              static_cast<unsigned>(static_cast<unsigned char>(c)));
                return fail(line_, what);
            }
        return true;
    }

    std::string_view text_;
    const std::string& fileName_;
    std::string* error_;
    size_t at_ = 0;
    int line_ = 1;
    std::optional<Token> peeked_;
};

// A name or path as a message shows it: long ones cut short.
std::string shown(std::string_view text) {
    constexpr size_t kShown = 64;
    return text.size() <= kShown ? std::string(text) : std::string(text.substr(0, kShown)) + "...";
}

class Reader {
public:
    Reader(std::string_view text, const std::string& fileName, std::string* error)
        : tokens_(text, fileName, error), fileName_(fileName), error_(error) {}

    // Each definition read whole goes to add as soon as it is; add returns
    // false when it cannot keep one more, and the rest of the file is left.
    // False on a fault or after a refusal, the first of them in *error.
    template <typename Add>
    bool readAll(Add&& add) {
        if (!readDefinitions(add)) {
            if (refusals_ > 0) *error_ += " (" + std::to_string(refusals_) + " refused before it)";
            return false;
        }
        if (refusals_ == 0) return true;
        *error_ = firstRefusal_;
        if (refusals_ > 1) *error_ += " (and " + std::to_string(refusals_ - 1) + " more refused in this file)";
        return false;
    }

private:
    template <typename Add>
    bool readDefinitions(Add& add) {
        for (;;) {
            Token token;
            if (!tokens_.next(&token)) return false;
            if (token.kind == Token::End) return true;
            if (token.kind != Token::Word)
                return tokens_.fail(token.line, std::string("expected a material name, found '") +
                                                    (token.kind == Token::Open ? "{" : "}") + "'");
            // A heading of one word is a material (`material NAME` too);
            // others (`table NAME`, ...) are entries the viewer does not use.
            std::vector<Token> heading{std::move(token)};
            for (;;) {
                if (!tokens_.next(&token)) return false;
                if (token.kind == Token::Open) break;
                if (token.kind != Token::Word || heading.size() >= 16)
                    return tokens_.fail(heading.front().line,
                                        "expected '{' after '" + heading.front().text + "'");
                heading.push_back(std::move(token));
            }
            const bool material = heading.size() == 1 || (heading.size() == 2 && folded(heading[0].text) == "material");
            if (!material) {
                if (!skipBlock(token.line)) return false;
                continue;
            }
            const Token& name = heading.back();
            if (const std::string why = bodyRefusal(); !why.empty()) {
                refuse(name.line, "the material '" + shown(name.text) + "' is left out: " + why);
                if (!skipBlock(token.line)) return false;
                continue;
            }
            MaterialDefinition definition;
            definition.name = name.text;
            definition.file = fileName_;
            definition.line = name.line;
            if (!readBody(token.line, &definition)) return false;
            if (!add(std::move(definition))) {
                refuse(name.line, "the material '" + shown(name.text) + "' and the rest of the file are left out: " +
                                      std::to_string(MaterialDefinitions::kMaxMaterials) +
                                      " materials are kept already, the most for one map");
                return true;
            }
        }
    }

    void refuse(int line, const std::string& what) {
        if (refusals_++ == 0) firstRefusal_ = fileName_ + ":" + std::to_string(line) + ": " + what;
    }

    // Just after a material's '{': why its body is refused (past
    // kMaxBodyBytes, or more than kMaxStages stages), or empty. Read ahead on
    // a copy of the tokens, which stops at the limit; a fault is left for
    // the body's own reading to name.
    std::string bodyRefusal() const {
        Tokens ahead = tokens_;
        const size_t start = ahead.offset();
        size_t depth = 1, stages = 0;
        while (depth > 0) {
            Token token;
            if (!ahead.next(&token) || token.kind == Token::End) return {};
            if (ahead.offset() - start > MaterialDefinitions::kMaxBodyBytes)
                return "its body is longer than " + std::to_string(MaterialDefinitions::kMaxBodyBytes >> 10) + " KiB";
            if (token.kind == Token::Open) {
                if (depth == 1 && ++stages > MaterialDefinitions::kMaxStages)
                    return "it has more than " + std::to_string(MaterialDefinitions::kMaxStages) + " stages";
                ++depth;
            }
            if (token.kind == Token::Close) --depth;
        }
        return {};
    }

    // A definition's image path, or empty when it names none or is refused.
    std::string imagePath(int line, const std::vector<std::string>& words) {
        std::string path = firstImagePath(joined(words));
        if (const std::string why = refusedImagePath(path); !why.empty()) {
            refuse(line, "the image path '" + shown(path) + "' is refused: " + why);
            path.clear();
        }
        return path;
    }

    // The words after a keyword on its own line, up to the next of the
    // keywords given (a stage is often written on one line: `{ blend add map x }`).
    bool restOfLine(int line, std::initializer_list<const char*> keywords, std::vector<std::string>* words) {
        for (;;) {
            const Token* next = nullptr;
            if (!tokens_.peek(&next)) return false;
            if (next->kind != Token::Word || next->line != line) return true;
            const std::string spelled = folded(next->text);
            for (const char* keyword : keywords)
                if (spelled == keyword) return true;
            Token word;
            tokens_.next(&word);
            words->push_back(std::move(word.text));
        }
    }

    static std::string joined(const std::vector<std::string>& words) {
        std::string text;
        for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
        return text;
    }

    bool unclosed(int openLine) { return tokens_.fail(openLine, "expected '}' to close the '{' opened here"); }

    // After a '{': everything up to its '}'. A count of the braces open, so
    // that nesting however deep costs nothing kept.
    bool skipBlock(int openLine) {
        for (size_t depth = 1; depth > 0;) {
            Token token;
            if (!tokens_.next(&token)) return false;
            if (token.kind == Token::End) return unclosed(openLine);
            if (token.kind == Token::Open) ++depth;
            if (token.kind == Token::Close) --depth;
        }
        return true;
    }

    bool readBody(int openLine, MaterialDefinition* definition) {
        for (;;) {
            Token token;
            if (!tokens_.next(&token)) return false;
            if (token.kind == Token::End) return unclosed(openLine);
            if (token.kind == Token::Close) return true;
            if (token.kind == Token::Open) {
                MaterialStage stage;
                if (!readStage(token.line, &stage)) return false;
                // Only a stage with an image can be what the material shows.
                if (!stage.image.empty()) definition->stages.push_back(std::move(stage));
                continue;
            }
            const std::string keyword = folded(token.text);
            std::vector<std::string> words;
            if (!restOfLine(token.line,
                            {"diffusemap", "qer_editorimage", "translucent", "bumpmap", "specularmap",
                             "ambientlight", "lightfalloffimage"},
                            &words))
                return false;
            if (keyword == "diffusemap") definition->diffuseMap = imagePath(token.line, words);
            else if (keyword == "qer_editorimage") definition->editorImage = imagePath(token.line, words);
            else if (keyword == "translucent") definition->translucent = true;
            else if (keyword == "ambientlight") definition->ambientLight = true;
            else if (keyword == "bumpmap" || keyword == "specularmap" || keyword == "lightfalloffimage")
                keepKeywordStage(keyword, imagePath(token.line, words), definition);
        }
    }

    // One stage per keyword kind, however often the keyword is written.
    static void keepKeywordStage(const std::string& kind, std::string image, MaterialDefinition* definition) {
        if (image.empty()) return;
        for (MaterialStage& stage : definition->stages)
            if (stage.fromKeyword && stage.kind == kind) {
                stage.image = std::move(image);
                return;
            }
        MaterialStage stage;
        stage.kind = kind;
        stage.fromKeyword = true;
        stage.image = std::move(image);
        definition->stages.push_back(std::move(stage));
    }

    bool readStage(int openLine, MaterialStage* stage) {
        for (;;) {
            Token token;
            if (!tokens_.next(&token)) return false;
            if (token.kind == Token::End) return unclosed(openLine);
            if (token.kind == Token::Close) return true;
            if (token.kind == Token::Open) {
                if (!skipBlock(token.line)) return false;
                continue;
            }
            const std::string keyword = folded(token.text);
            std::vector<std::string> words;
            if (!restOfLine(token.line, {"blend", "map", "alphatest"}, &words)) return false;
            if (keyword == "blend") readBlend(folded(joined(words)), stage);
            else if (keyword == "map") stage->image = imagePath(token.line, words);
            else if (keyword == "alphatest" && !words.empty()) {
                // An expression (a material parameter) is not a threshold
                // the viewer can know: it is passed over.
                char* end = nullptr;
                const float value = std::strtof(words[0].c_str(), &end);
                if (end && *end == '\0' && std::isfinite(value)) stage->alphaTest = std::min(std::max(value, 0.0f), 1.0f);
            }
        }
    }

    static void readBlend(const std::string& text, MaterialStage* stage) {
        std::vector<std::string> factors;
        std::string current;
        for (char c : text + ",") {
            if (c == ',' || isBlank(c)) {
                if (!current.empty()) factors.push_back(std::move(current));
                current.clear();
            } else {
                current += c;
            }
        }
        if (factors.size() == 1) {
            const std::string& f = factors[0];
            if (f == "diffusemap" || f == "bumpmap" || f == "specularmap") stage->kind = f;
            else if (f == "blend") stage->blend = MaterialBlend::Blend;
            else if (f == "add") stage->blend = MaterialBlend::Add;
            else if (f == "filter" || f == "modulate") stage->blend = MaterialBlend::Filter;
        } else if (factors.size() == 2) {
            const std::string pair = factors[0] + "," + factors[1];
            if (pair == "gl_src_alpha,gl_one_minus_src_alpha") stage->blend = MaterialBlend::Blend;
            else if (pair == "gl_one,gl_one") stage->blend = MaterialBlend::Add;
            else if (pair == "gl_dst_color,gl_zero" || pair == "gl_zero,gl_src_color") stage->blend = MaterialBlend::Filter;
        }
    }

    Tokens tokens_;
    const std::string& fileName_;
    std::string* error_;
    std::string firstRefusal_;
    size_t refusals_ = 0;
};

size_t heapBytes(const std::string& text) { return text.capacity() > std::string().capacity() ? text.capacity() + 1 : 0; }

}  // namespace

std::string firstImagePath(std::string_view argument) {
    size_t at = 0;
    while (at < argument.size()) {
        while (at < argument.size() && (isBlank(argument[at]) || argument[at] == ',' || argument[at] == '(' ||
                                        argument[at] == ')' || argument[at] == '"'))
            ++at;
        const size_t start = at;
        while (at < argument.size() && !isBlank(argument[at]) && argument[at] != ',' && argument[at] != '(' &&
               argument[at] != ')' && argument[at] != '"')
            ++at;
        if (start == at) break;
        size_t after = at;
        while (after < argument.size() && isBlank(argument[after])) ++after;
        // A word followed by '(' is a function's name, not a path.
        if (after < argument.size() && argument[after] == '(') continue;
        return std::string(argument.substr(start, at - start));
    }
    return {};
}

MaterialLook lookOf(const MaterialDefinition& definition) {
    MaterialLook look;
    const MaterialStage* from = nullptr;
    if (definition.diffuseMap.empty()) {
        for (const MaterialStage& stage : definition.stages)
            if (stage.kind == "diffusemap" && !stage.image.empty()) {
                from = &stage;
                break;
            }
        if (!from)
            for (const MaterialStage& stage : definition.stages)
                if (stage.kind.empty() && !stage.image.empty()) {
                    from = &stage;
                    break;
                }
    }
    if (!definition.diffuseMap.empty()) look.image = definition.diffuseMap;
    else if (from) look.image = from->image;
    else look.image = definition.editorImage;
    if (from) {
        look.blend = from->blend;
        look.alphaTest = from->alphaTest;
    }
    if (definition.translucent && look.blend == MaterialBlend::Opaque) look.blend = MaterialBlend::Blend;
    return look;
}

namespace {

std::string stageImageOfKind(const MaterialDefinition& definition, std::string_view kind) {
    for (const MaterialStage& stage : definition.stages)
        if (stage.kind == kind && !stage.image.empty()) return stage.image;
    return {};
}

}  // namespace

std::string normalMapOf(const MaterialDefinition& definition) { return stageImageOfKind(definition, "bumpmap"); }

std::string specularMapOf(const MaterialDefinition& definition) {
    return stageImageOfKind(definition, "specularmap");
}

std::string lightFalloffImageOf(const MaterialDefinition& definition) {
    return stageImageOfKind(definition, "lightfalloffimage");
}

std::string lightImageOf(const MaterialDefinition& definition) { return stageImageOfKind(definition, ""); }

bool isAmbientLightMaterial(const MaterialDefinitions& definitions, const std::string& material) {
    if (const MaterialDefinition* definition = definitions.find(material)) return definition->ambientLight;
    const std::string name = folded(material);
    const size_t slash = name.rfind('/');
    return name.find("ambient", slash == std::string::npos ? 0 : slash + 1) != std::string::npos;
}

std::string refusedImagePath(std::string_view path) {
    if (path.size() > MaterialDefinitions::kMaxPathBytes)
        return "it is " + std::to_string(path.size()) + " bytes long, at most " +
               std::to_string(MaterialDefinitions::kMaxPathBytes) + " are read";
    const auto isSeparator = [](char c) { return c == '/' || c == '\\'; };
    if (!path.empty() && isSeparator(path[0])) return "it is absolute: images are looked for inside the asset roots only";
    if (path.size() >= 2 && path[1] == ':' && std::isalpha(static_cast<unsigned char>(path[0])))
        return "it names a drive: images are looked for inside the asset roots only";
    size_t parts = 0;
    for (size_t start = 0; start <= path.size();) {
        size_t end = start;
        while (end < path.size() && !isSeparator(path[end])) ++end;
        if (path.substr(start, end - start) == "..") return "it climbs out of its asset root ('..')";
        if (++parts > MaterialDefinitions::kMaxPathParts)
            return "it has more than " + std::to_string(MaterialDefinitions::kMaxPathParts) + " parts";
        start = end + 1;
    }
    return {};
}

bool MaterialDefinitions::readText(std::string_view text, const std::string& fileName, std::string* error) {
    auto refuse = [&](const std::string& why) {
        *error = fileName + ": not read: " + why;
        return false;
    };
    if (text.size() > kMaxFileBytes)
        return refuse(std::to_string(text.size()) + " bytes, more than a definition file may have (64 MiB)");
    if (filesRead_ >= kMaxFiles)
        return refuse(std::to_string(kMaxFiles) + " definition files were read already, the most for one map");
    if (bytesRead_ + text.size() > kMaxTotalBytes)
        return refuse("its " + std::to_string(text.size()) + " bytes would take the definition files read past " +
                      std::to_string(kMaxTotalBytes >> 20) + " MiB, the most for one map");
    ++filesRead_;
    bytesRead_ += text.size();
    Reader reader(text, fileName, error);
    return reader.readAll([this](MaterialDefinition&& definition) { return add(std::move(definition)); });
}

size_t MaterialDefinitions::keptBytes() const {
    // A map node: its links and colour besides the pair it holds.
    constexpr size_t kNodeBytes = sizeof(std::pair<const std::string, MaterialDefinition>) + 4 * sizeof(void*);
    size_t bytes = 0;
    for (const auto& [key, definition] : byFoldedName_) {
        bytes += kNodeBytes + heapBytes(key) + heapBytes(definition.name) + heapBytes(definition.file) +
                 heapBytes(definition.diffuseMap) + heapBytes(definition.editorImage) +
                 definition.stages.capacity() * sizeof(MaterialStage);
        for (const MaterialStage& stage : definition.stages) bytes += heapBytes(stage.kind) + heapBytes(stage.image);
    }
    return bytes;
}

bool MaterialDefinitions::readFile(const std::string& path, std::string* error) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        *error = path + ": not a regular file";
        return false;
    }
    const uintmax_t bytes = fs::file_size(path, ec);
    if (ec || bytes > kMaxFileBytes) {
        *error = path + (ec ? ": its size cannot be read" : ": " + std::to_string(bytes) +
                                                                 " bytes, more than a definition file may have (64 MiB)");
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    std::string text(static_cast<size_t>(bytes), '\0');
    if (!in || !in.read(text.data(), static_cast<std::streamsize>(text.size()))) {
        *error = path + ": cannot be read";
        return false;
    }
    return readText(text, path, error);
}

const MaterialDefinition* MaterialDefinitions::find(const std::string& name) const {
    const auto found = byFoldedName_.find(folded(name));
    return found == byFoldedName_.end() ? nullptr : &found->second;
}

bool MaterialDefinitions::add(MaterialDefinition&& definition) {
    std::string key = folded(definition.name);
    if (byFoldedName_.size() >= kMaxMaterials && !byFoldedName_.contains(key)) return false;
    byFoldedName_.emplace(std::move(key), std::move(definition));  // the first one stays
    return true;
}

}  // namespace q
