// The definition reader: words, quoted text and braces, with "//" and "/* */"
// comments passed over; the PatternReader holds the text and names the file
// and line of every fault.

#include "map/entity_definitions.h"

#include <cctype>
#include <cstdio>
#include <unordered_set>

#include "map/pattern_reader.h"

namespace q {

namespace {

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

struct Token {
    enum Kind { Word, Open, Close, End } kind = End;
    std::string_view text;  // a word, quotes taken off
    size_t at = 0;          // offset in the file, for its line
};

class Tokens {
public:
    explicit Tokens(PatternReader& file) : file_(file), text_(file.text()) {}

    // False on a fault, recorded in the reader.
    bool next(Token* out) {
        if (!skipBlankAndComments()) return false;
        out->at = pos_;
        out->text = {};
        if (pos_ >= text_.size()) {
            out->kind = Token::End;
            return true;
        }
        const char c = text_[pos_];
        if (c == '{' || c == '}') {
            out->kind = c == '{' ? Token::Open : Token::Close;
            ++pos_;
            return true;
        }
        out->kind = Token::Word;
        if (c == '"') {
            const size_t close = text_.find_first_of("\"\n", pos_ + 1);
            if (close == std::string_view::npos || text_[close] != '"')
                return file_.failAt(pos_, "a closing '\"' on the same line");
            out->text = text_.substr(pos_ + 1, close - pos_ - 1);
            pos_ = close + 1;
        } else {
            const size_t start = pos_;
            while (pos_ < text_.size() && !isBlank(text_[pos_]) && text_[pos_] != '{' && text_[pos_] != '}' &&
                   text_[pos_] != '"' && !startsComment())
                ++pos_;
            out->text = text_.substr(start, pos_ - start);
        }
        for (char k : out->text)
            if (static_cast<unsigned char>(k) < 0x20 && !isBlank(k)) {
                char what[48];
                std::snprintf(what, sizeof what, "text, found the byte 0x%02x", static_cast<unsigned>(k));
                return file_.failAt(out->at, what);
            }
        return true;
    }

    // After a '{': everything up to its '}', nesting counted.
    bool skipBlock(size_t openedAt) {
        for (size_t depth = 1; depth > 0;) {
            Token token;
            if (!next(&token)) return false;
            if (token.kind == Token::End) return unclosed(openedAt);
            if (token.kind == Token::Open) ++depth;
            if (token.kind == Token::Close) --depth;
        }
        return true;
    }

    bool unclosed(size_t openedAt) {
        return file_.failAt(openedAt, "a '}' to close the '{' opened here, found the end of the file");
    }

private:
    bool startsComment() const {
        return pos_ + 1 < text_.size() && text_[pos_] == '/' && (text_[pos_ + 1] == '/' || text_[pos_ + 1] == '*');
    }
    bool skipBlankAndComments() {
        for (;;) {
            while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
            if (!startsComment()) return true;
            if (text_[pos_ + 1] == '/') {
                while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
                continue;
            }
            const size_t close = text_.find("*/", pos_ + 2);
            if (close == std::string_view::npos) return file_.failAt(pos_, "'*/' to close the comment opened here");
            pos_ = close + 2;
        }
    }

    PatternReader& file_;
    std::string_view text_;
    size_t pos_ = 0;
};

std::string shown(std::string_view text) {
    return text.size() <= 64 ? std::string(text) : std::string(text.substr(0, 64)) + "...";
}

}  // namespace

std::string foldedName(std::string_view name) {
    std::string out(name);
    for (char& c : out) c = c == '\\' ? '/' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string Skin::replaced(std::string_view material) const {
    const std::string key = foldedName(material);
    const std::string* any = nullptr;
    for (auto it = replacements.rbegin(); it != replacements.rend(); ++it) {
        if (it->first == key) return it->second;
        if (!any && it->first == "*") any = &it->second;
    }
    return any ? *any : std::string(material);
}

class DefinitionReader {
public:
    DefinitionReader(EntityDefinitions& into, PatternReader& file) : into_(into), file_(file), tokens_(file) {}

    // False on a fault or after a refusal, the first in *error.
    bool readAll(std::string* error) {
        const bool whole = readEntries();
        if (!whole) {
            *error = file_.error();
            if (refusals_ > 0) *error += " (" + std::to_string(refusals_) + " refused before it)";
            return false;
        }
        if (refusals_ == 0) return true;
        *error = firstRefusal_;
        if (refusals_ > 1) *error += " (and " + std::to_string(refusals_ - 1) + " more refused in this file)";
        return false;
    }

private:
    enum class Entry { Class, Model, Skin, Other };

    bool readEntries() {
        for (;;) {
            Token first;
            if (!tokens_.next(&first)) return false;
            if (first.kind == Token::End) return true;
            if (first.kind != Token::Word)
                return file_.failAt(first.at, std::string("the name of an entry, found '") +
                                                  (first.kind == Token::Open ? "{" : "}") + "'");
            Token second, open;
            if (!tokens_.next(&second)) return false;
            Entry entry = Entry::Class;
            Token name = first;
            if (second.kind == Token::Open) {
                const std::string keyword = foldedName(first.text);
                if (keyword == "entitydef" || keyword == "model" || keyword == "skin")
                    return file_.failAt(second.at, "a name after '" + std::string(first.text) + "'");
                open = second;
            } else {
                if (second.kind != Token::Word || !tokens_.next(&open) || open.kind != Token::Open) {
                    const std::string heading =
                        shown(first.text) + (second.kind == Token::Word ? " " + shown(second.text) : std::string());
                    return file_.failAt(second.at, "'{' after '" + heading + "'");
                }
                const std::string keyword = foldedName(first.text);
                entry = keyword == "entitydef" ? Entry::Class
                        : keyword == "model"   ? Entry::Model
                        : keyword == "skin"    ? Entry::Skin
                                               : Entry::Other;
                name = second;
            }
            if (entry == Entry::Other) {
                if (!tokens_.skipBlock(open.at)) return false;
                continue;
            }
            if (into_.full()) {
                refuse(name.at, "'" + shown(name.text) + "' and the rest of the file are left out: " +
                                    std::to_string(EntityDefinitions::kMaxEntries) +
                                    " entries are kept already, the most for one map");
                return true;
            }
            const bool read = entry == Entry::Class ? readClass(name, open.at)
                              : entry == Entry::Model ? readModel(name, open.at)
                                                      : readSkin(name, open.at);
            if (!read) return false;
        }
    }

    void refuse(size_t at, const std::string& what) {
        if (refusals_++ == 0) firstRefusal_ = file_.name() + ":" + std::to_string(file_.lineAt(at)) + ": " + what;
    }

    // A value kept, or empty when it is longer than a value may be.
    std::string kept(const Token& value, const Token& key) {
        if (value.text.size() <= EntityDefinitions::kMaxValueBytes) return std::string(value.text);
        refuse(value.at, "the value of '" + shown(key.text) + "' is " + std::to_string(value.text.size()) +
                             " bytes long, at most " + std::to_string(EntityDefinitions::kMaxValueBytes) + " are read");
        return {};
    }

    // The words of a body in pairs up to its '}'; a nested block is passed
    // over. take(key, value) sees each pair.
    template <typename Take>
    bool readPairs(size_t openedAt, Take&& take) {
        for (;;) {
            Token key, value;
            if (!tokens_.next(&key)) return false;
            if (key.kind == Token::End) return tokens_.unclosed(openedAt);
            if (key.kind == Token::Close) return true;
            if (key.kind == Token::Open) {
                if (!tokens_.skipBlock(key.at)) return false;
                continue;
            }
            if (!tokens_.next(&value)) return false;
            if (value.kind != Token::Word) return file_.failAt(value.at, "a value after '" + shown(key.text) + "'");
            take(key, value);
        }
    }

    template <typename Kept>
    static Kept located(const Token& name, PatternReader& file) {
        Kept entry;
        entry.name = name.text;
        entry.file = file.name();
        entry.line = file.lineAt(name.at);
        return entry;
    }

    bool readClass(const Token& name, size_t openedAt) {
        auto entry = located<EntityClass>(name, file_);
        const bool read = readPairs(openedAt, [&](const Token& key, const Token& value) {
            const std::string k = foldedName(key.text);
            if (k == "inherit") entry.inherit = kept(value, key);
            else if (k == "model") entry.model = kept(value, key);
            else if (k == "skin") entry.skin = kept(value, key);
        });
        if (read) into_.classes_.try_emplace(foldedName(entry.name), std::move(entry));
        return read;
    }

    // A declaration's body is keyword lines (`mesh PATH`, `anim NAME PATH`,
    // `channel NAME ( ... )`, `offset ( x y z )`): only the words after
    // `mesh` and `inherit` are kept; the rest are passed over as words.
    bool readModel(const Token& name, size_t openedAt) {
        auto entry = located<ModelDeclaration>(name, file_);
        for (;;) {
            Token token;
            if (!tokens_.next(&token)) return false;
            if (token.kind == Token::End) return tokens_.unclosed(openedAt);
            if (token.kind == Token::Close) break;
            if (token.kind == Token::Open) {
                if (!tokens_.skipBlock(token.at)) return false;
                continue;
            }
            const std::string keyword = foldedName(token.text);
            if (keyword != "mesh" && keyword != "inherit") continue;
            Token value;
            if (!tokens_.next(&value)) return false;
            if (value.kind != Token::Word) return file_.failAt(value.at, "a path after '" + shown(token.text) + "'");
            (keyword == "mesh" ? entry.mesh : entry.inherit) = kept(value, token);
        }
        into_.models_.try_emplace(foldedName(entry.name), std::move(entry));
        return true;
    }

    bool readSkin(const Token& name, size_t openedAt) {
        auto entry = located<Skin>(name, file_);
        const bool read = readPairs(openedAt, [&](const Token& from, const Token& to) {
            if (foldedName(from.text) == "model") return;  // the model the skin was made for: any is skinned
            if (entry.replacements.size() >= EntityDefinitions::kMaxEntries) {
                refuse(from.at, "the skin '" + shown(entry.name) + "' has more than " +
                                    std::to_string(EntityDefinitions::kMaxEntries) + " replacements");
                return;
            }
            std::string replacement = kept(to, from);
            if (!replacement.empty() && from.text.size() <= EntityDefinitions::kMaxValueBytes)
                entry.replacements.emplace_back(foldedName(from.text), std::move(replacement));
        });
        if (read) into_.skins_.try_emplace(foldedName(entry.name), std::move(entry));
        return read;
    }

    EntityDefinitions& into_;
    PatternReader& file_;
    Tokens tokens_;
    std::string firstRefusal_;
    size_t refusals_ = 0;
};

bool EntityDefinitions::readText(std::string_view text, const std::string& fileName, std::string* error) {
    auto refuse = [&](const std::string& why) {
        *error = fileName + ": not read: " + why;
        return false;
    };
    if (text.size() > kMaxFileBytes)
        return refuse(std::to_string(text.size()) + " bytes, more than a definition file may have (" +
                      std::to_string(kMaxFileBytes >> 20) + " MiB)");
    if (filesRead_ >= kMaxFiles)
        return refuse(std::to_string(kMaxFiles) + " entity definition files were read already, the most for one map");
    if (bytesRead_ + text.size() > kMaxTotalBytes)
        return refuse("its " + std::to_string(text.size()) + " bytes would take the entity definition files read past " +
                      std::to_string(kMaxTotalBytes >> 20) + " MiB, the most for one map");
    ++filesRead_;
    bytesRead_ += text.size();
    PatternReader file(text, fileName);
    DefinitionReader reader(*this, file);
    return reader.readAll(error);
}

namespace {

template <typename Map>
auto findIn(const Map& map, std::string_view name) -> const typename Map::mapped_type* {
    const auto found = map.find(foldedName(name));
    return found == map.end() ? nullptr : &found->second;
}

// Follows entry -> its inherit -> ... until value(entry) is not empty.
template <typename Map, typename Value>
InheritedValue followChain(const Map& map, std::string_view name, const char* what, Value&& value) {
    InheritedValue out;
    std::unordered_set<std::string> met;
    std::string at(name);
    for (int link = 0;; ++link) {
        const auto* entry = findIn(map, at);
        if (!entry) {
            if (link > 0) out.problem = std::string(what) + " '" + shown(at) + "' is not defined";
            return out;
        }
        if (!met.insert(foldedName(at)).second) {
            out.problem = std::string(what) + " '" + shown(name) + "' inherits in a loop through '" + shown(at) +
                          "' (" + entry->file + ":" + std::to_string(entry->line) + ")";
            return out;
        }
        if (link >= EntityDefinitions::kMaxInheritDepth) {
            out.problem = std::string(what) + " '" + shown(name) + "' inherits more than " +
                          std::to_string(EntityDefinitions::kMaxInheritDepth) + " deep";
            return out;
        }
        if (const std::string& v = value(*entry); !v.empty()) {
            out.value = v;
            return out;
        }
        if (entry->inherit.empty()) return out;
        at = entry->inherit;
    }
}

}  // namespace

const EntityClass* EntityDefinitions::findClass(std::string_view name) const { return findIn(classes_, name); }
const ModelDeclaration* EntityDefinitions::findModel(std::string_view name) const { return findIn(models_, name); }
const Skin* EntityDefinitions::findSkin(std::string_view name) const { return findIn(skins_, name); }

InheritedValue EntityDefinitions::classValue(std::string_view className, std::string_view key) const {
    const bool skin = key == "skin";
    return followChain(classes_, className, "the entity class",
                       [&](const EntityClass& c) -> const std::string& { return skin ? c.skin : c.model; });
}

InheritedValue EntityDefinitions::declaredMesh(std::string_view modelName) const {
    return followChain(models_, modelName, "the model declaration",
                       [](const ModelDeclaration& m) -> const std::string& { return m.mesh; });
}

}  // namespace q
