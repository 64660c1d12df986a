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

class Reader {
public:
    Reader(std::string_view text, const std::string& fileName, std::string* error)
        : tokens_(text, fileName, error), fileName_(fileName) {}

    // Each definition read whole goes to add as soon as it is.
    template <typename Add>
    bool readAll(Add&& add) {
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
            MaterialDefinition definition;
            definition.name = heading.back().text;
            definition.file = fileName_;
            definition.line = heading.back().line;
            if (!readBody(token.line, &definition)) return false;
            add(std::move(definition));
        }
    }

private:
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

    // After a '{': everything up to its '}'.
    bool skipBlock(int openLine) {
        std::vector<int> opened{openLine};
        while (!opened.empty()) {
            Token token;
            if (!tokens_.next(&token)) return false;
            if (token.kind == Token::End) return unclosed(opened.back());
            if (token.kind == Token::Open) opened.push_back(token.line);
            if (token.kind == Token::Close) opened.pop_back();
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
                definition->stages.push_back(std::move(stage));
                continue;
            }
            const std::string keyword = folded(token.text);
            std::vector<std::string> words;
            if (!restOfLine(token.line, {"diffusemap", "qer_editorimage", "translucent"}, &words)) return false;
            if (keyword == "diffusemap") definition->diffuseMap = firstImagePath(joined(words));
            else if (keyword == "qer_editorimage") definition->editorImage = firstImagePath(joined(words));
            else if (keyword == "translucent") definition->translucent = true;
        }
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
            else if (keyword == "map") stage->image = firstImagePath(joined(words));
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
};

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

bool MaterialDefinitions::readText(std::string_view text, const std::string& fileName, std::string* error) {
    Reader reader(text, fileName, error);
    return reader.readAll([this](MaterialDefinition&& definition) { add(std::move(definition)); });
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

void MaterialDefinitions::add(MaterialDefinition&& definition) {
    byFoldedName_.emplace(folded(definition.name), std::move(definition));  // the first one stays
}

}  // namespace q
