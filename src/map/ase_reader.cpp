#include "map/ase_reader.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "map/number_text.h"
#include "map/pattern_reader.h"

namespace q {
namespace {

// Sub-materials hold sub-materials of their own; deeper than this a file is
// not an exporter's.
constexpr int kMaxMaterialDepth = 8;
// The fewest bytes an entry of each list takes ("*MESH_VERTEX 0 0 0 0" and
// the like), so that a count is checked against the text left before it
// sizes anything.
constexpr uint64_t kMinVertexBytes = 20;
constexpr uint64_t kMinFaceBytes = 24;
constexpr uint64_t kMinTexVertexBytes = 18;
constexpr uint64_t kMinTexFaceBytes = 18;

struct Token {
    enum class Kind { End, Open, Close, Key, Word, Quoted };
    Kind kind = Kind::End;
    std::string_view text;  // without the quotes of a quoted string
    size_t at = 0;          // byte offset, for messages
};

class Scanner {
public:
    explicit Scanner(PatternReader& file) : file_(file), text_(file.text()) {}

    Token next() {
        Token t = peek();
        pos_ = after_;
        return t;
    }
    Token peek() {
        size_t i = pos_;
        while (i < text_.size() && isWhite(text_[i])) ++i;
        Token t;
        t.at = i;
        if (i >= text_.size()) {
            after_ = i;
            return t;
        }
        const char c = text_[i];
        if (c == '{' || c == '}') {
            t.kind = c == '{' ? Token::Kind::Open : Token::Kind::Close;
            t.text = text_.substr(i, 1);
            after_ = i + 1;
        } else if (c == '"') {
            size_t end = i + 1;
            while (end < text_.size() && text_[end] != '"' && text_[end] != '\n') ++end;
            if (end >= text_.size() || text_[end] != '"') {
                file_.failAt(i, "a closing quote on the same line");
                after_ = text_.size();
                return Token{};
            }
            t.kind = Token::Kind::Quoted;
            t.text = text_.substr(i + 1, end - i - 1);
            after_ = end + 1;
        } else {
            size_t end = i;
            while (end < text_.size() && !isWhite(text_[end]) && text_[end] != '{' && text_[end] != '}') ++end;
            t.kind = c == '*' ? Token::Kind::Key : Token::Kind::Word;
            t.text = text_.substr(i, end - i);
            after_ = end;
        }
        return t;
    }
    size_t position() const { return pos_; }
    size_t remaining() const { return text_.size() - pos_; }
    PatternReader& file() { return file_; }

private:
    static bool isWhite(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
    PatternReader& file_;
    std::string_view text_;
    size_t pos_ = 0;
    size_t after_ = 0;
};

std::string quoted(std::string_view text) {
    if (text.size() > 40) return "\"" + std::string(text.substr(0, 40)) + "...\"";
    return "\"" + std::string(text) + "\"";
}

std::string describe(const Token& t) {
    return t.kind == Token::Kind::End ? "the end of the file" : quoted(t.text);
}

struct AseMaterial {
    int index = 0;
    std::string name;
    std::string bitmap;
    std::vector<AseMaterial> subs;
};

struct AseFace {
    int corner[3] = {0, 0, 0};
    int materialId = 0;
    bool given = false;
};

struct AseMesh {
    std::vector<Vector3> vertices;
    std::vector<AseFace> faces;
    std::vector<float> texVertices;  // u, v pairs
    std::vector<std::array<int, 3>> texFaces;
    std::vector<uint8_t> texFaceGiven;
    std::vector<std::array<Vector3, 3>> normals;  // per face corner
    std::vector<uint8_t> normalsGiven;  // corners given per face
};

class AseReader {
public:
    AseReader(PatternReader& file, MeshModel* model) : scan_(file), file_(file), build_(model) {}

    bool read() {
        const size_t binaryAt = file_.firstBinaryByte();
        if (binaryAt != std::string_view::npos) return file_.failAt(binaryAt, "a text file, found a control byte");
        for (;;) {
            const Token t = scan_.next();
            if (file_.failed()) return false;
            if (t.kind == Token::Kind::End) break;
            if (t.kind != Token::Kind::Key) return file_.failAt(t.at, "a *KEY, found " + describe(t));
            bool ok = true;
            if (t.text == "*MATERIAL_LIST") {
                ok = readMaterialList();
            } else if (t.text == "*GEOMOBJECT") {
                // Its line counted now, while the reader goes forwards: counting
                // back from the end of every object would take a file's length
                // for each.
                ok = readGeomObject(file_.lineAt(t.at));
            } else {
                ok = skipValues();
            }
            if (!ok || file_.failed()) return false;
        }
        build_.finish();
        return true;
    }

private:
    bool expectOpen(const char* what) {
        const Token t = scan_.next();
        if (t.kind == Token::Kind::Open) return true;
        return file_.failAt(t.at, std::string("{ opening ") + what + ", found " + describe(t));
    }

    // Passes over the rest of a block whose opening brace was read: braces
    // are counted, not followed, so nesting costs nothing.
    bool skipBlock(size_t openedAt) {
        int depth = 1;
        while (depth > 0) {
            const Token t = scan_.next();
            if (file_.failed()) return false;
            if (t.kind == Token::Kind::End)
                return file_.failAt(t.at, "} closing the block opened at line " +
                                              std::to_string(file_.lineAt(openedAt)));
            if (t.kind == Token::Kind::Open) ++depth;
            if (t.kind == Token::Kind::Close) --depth;
        }
        return true;
    }

    // An unknown key's values up to the next key or brace; a block it opens
    // is skipped whole.
    bool skipValues() {
        for (;;) {
            const Token t = scan_.peek();
            if (file_.failed()) return false;
            if (t.kind == Token::Kind::Open) {
                scan_.next();
                return skipBlock(t.at);
            }
            if (t.kind != Token::Kind::Word && t.kind != Token::Kind::Quoted) return true;
            scan_.next();
        }
    }

    bool readInt(const char* what, int* out) {
        const Token t = scan_.next();
        std::string_view s = t.text;
        if (t.kind == Token::Kind::Word && !s.empty() && s.back() == ':') s.remove_suffix(1);  // "0:" in a face
        if (t.kind == Token::Kind::Word && parseInt(s, out)) return true;
        return file_.failAt(t.at, std::string(what) + " (an integer), found " + describe(t));
    }
    static bool parseInt(std::string_view s, int* out) {
        size_t i = (!s.empty() && (s[0] == '-' || s[0] == '+')) ? 1 : 0;
        if (i >= s.size() || s.size() - i > 9) return false;
        int value = 0;
        for (size_t k = i; k < s.size(); ++k) {
            if (s[k] < '0' || s[k] > '9') return false;
            value = value * 10 + (s[k] - '0');
        }
        *out = s[0] == '-' ? -value : value;
        return true;
    }
    bool readFloat(const char* what, float* out) {
        const Token t = scan_.next();
        if (t.kind == Token::Kind::Word && scanFloatText(t.text, out) == t.text.size() && std::isfinite(*out))
            return true;
        return file_.failAt(t.at, std::string(what) + " (a finite number), found " + describe(t));
    }
    bool readVector(const char* what, Vector3* out) {
        return readFloat(what, &out->x) && readFloat(what, &out->y) && readFloat(what, &out->z);
    }
    bool readQuoted(const char* what, std::string* out) {
        const Token t = scan_.next();
        if (t.kind == Token::Kind::Quoted) {
            *out = std::string(t.text);
            return true;
        }
        return file_.failAt(t.at, std::string(what) + " (a quoted name), found " + describe(t));
    }
    // A list's count, checked against the text left: each entry takes at
    // least minBytes.
    bool readCount(const char* key, uint64_t minBytes, int* out) {
        const size_t at = scan_.position();
        if (!readInt(key, out)) return false;
        if (*out < 0 || static_cast<uint64_t>(*out) * minBytes > scan_.remaining())
            return file_.failAt(at, std::string(key) + " " + std::to_string(*out) +
                                        " that the rest of the file can hold");
        return true;
    }
    // An entry's index, below the count given before its list.
    bool readIndex(const char* key, size_t count, int* out) {
        const size_t at = scan_.position();
        if (!readInt(key, out)) return false;
        if (*out < 0 || static_cast<size_t>(*out) >= count)
            return file_.failAt(at, std::string(key) + " index below its count " + std::to_string(count) +
                                        ", found " + std::to_string(*out));
        return true;
    }

    bool readMaterialList() {
        return readList("*MATERIAL_LIST", [&](const Token& t) {
            if (t.text != "*MATERIAL") return skipValues();
            AseMaterial m;
            if (!readInt("*MATERIAL", &m.index) || !readMaterial(&m, 0)) return false;
            materialAt_.try_emplace(m.index, materials_.size());  // the first of an index counts
            materials_.push_back(std::move(m));
            return true;
        });
    }

    bool readMaterial(AseMaterial* m, int depth) {
        return readList("a material", [&](const Token& t) {
            if (t.text == "*MATERIAL_NAME") return readQuoted("*MATERIAL_NAME", &m->name);
            if (t.text == "*MAP_DIFFUSE") return readDiffuseMap(&m->bitmap);
            if (t.text != "*SUBMATERIAL") return skipValues();
            if (depth + 1 >= kMaxMaterialDepth)
                return file_.failAt(t.at, "sub-materials nested at most " + std::to_string(kMaxMaterialDepth) +
                                              " deep");
            AseMaterial sub;
            const bool ok = readInt("*SUBMATERIAL", &sub.index) && readMaterial(&sub, depth + 1);
            m->subs.push_back(std::move(sub));
            return ok;
        });
    }

    bool readDiffuseMap(std::string* bitmap) {
        return readList("*MAP_DIFFUSE", [&](const Token& t) {
            return t.text == "*BITMAP" ? readQuoted("*BITMAP", bitmap) : skipValues();
        });
    }

    bool readGeomObject(int objectLine) {
        AseMesh mesh;
        bool haveMesh = false;
        int materialRef = -1;
        const bool ok = readList("*GEOMOBJECT", [&](const Token& t) {
            if (t.text == "*MESH" && !haveMesh) {  // later ones are animation frames
                haveMesh = true;
                return readMesh(&mesh);
            }
            if (t.text == "*MATERIAL_REF") return readInt("*MATERIAL_REF", &materialRef);
            return skipValues();
        });
        if (!ok) return false;
        addTriangles(mesh, materialRef, objectLine);
        return true;
    }

    bool readMesh(AseMesh* mesh) {
        lastFace_ = SIZE_MAX;
        normalFace_ = SIZE_MAX;
        int count = 0;
        return readList("*MESH", [&](const Token& t) {
            const std::string_view key = t.text;
            bool ok = true;
            if (key == "*MESH_NUMVERTEX") {
                ok = readCount("*MESH_NUMVERTEX", kMinVertexBytes, &count);
                if (ok) mesh->vertices.assign(static_cast<size_t>(count), Vector3{});
            } else if (key == "*MESH_NUMFACES") {
                ok = readCount("*MESH_NUMFACES", kMinFaceBytes, &count);
                if (ok) {
                    mesh->faces.assign(static_cast<size_t>(count), AseFace{});
                    mesh->normals.assign(static_cast<size_t>(count), {});
                    mesh->normalsGiven.assign(static_cast<size_t>(count), 0);
                }
            } else if (key == "*MESH_NUMTVERTEX") {
                ok = readCount("*MESH_NUMTVERTEX", kMinTexVertexBytes, &count);
                if (ok) mesh->texVertices.assign(static_cast<size_t>(count) * 2, 0.0f);
            } else if (key == "*MESH_NUMTVFACES") {
                ok = readCount("*MESH_NUMTVFACES", kMinTexFaceBytes, &count);
                if (ok) {
                    mesh->texFaces.assign(static_cast<size_t>(count), {});
                    mesh->texFaceGiven.assign(static_cast<size_t>(count), 0);
                }
            } else if (key == "*MESH_VERTEX_LIST") {
                ok = readList("*MESH_VERTEX_LIST", [&](const Token& entry) { return readVertex(entry.text, mesh); });
            } else if (key == "*MESH_FACE_LIST") {
                ok = readList("*MESH_FACE_LIST", [&](const Token& entry) { return readFace(entry.text, mesh); });
            } else if (key == "*MESH_TVERTLIST") {
                ok = readList("*MESH_TVERTLIST", [&](const Token& entry) { return readTexVertex(entry.text, mesh); });
            } else if (key == "*MESH_TFACELIST") {
                ok = readList("*MESH_TFACELIST", [&](const Token& entry) { return readTexFace(entry.text, mesh); });
            } else if (key == "*MESH_NORMALS") {
                ok = readList("*MESH_NORMALS", [&](const Token& entry) { return readNormal(entry.text, mesh); });
            } else {
                ok = skipValues();
            }
            return ok;
        });
    }

    // A braced list of keyed entries; each key goes to entry, which reads its
    // values or returns false having failed. Unknown keys are skipped.
    template <class Entry>
    bool readList(const char* what, Entry entry) {
        const size_t openedAt = scan_.position();
        if (!expectOpen(what)) return false;
        for (;;) {
            const Token t = scan_.next();
            if (file_.failed()) return false;
            if (t.kind == Token::Kind::Close) return true;
            if (t.kind == Token::Kind::End) return skipBlock(openedAt);
            if (t.kind != Token::Kind::Key) return file_.failAt(t.at, "a *KEY, found " + describe(t));
            if (!entry(t)) return false;
        }
    }

    bool readVertex(std::string_view key, AseMesh* mesh) {
        if (key != "*MESH_VERTEX") return skipValues();
        int i = 0;
        return readIndex("*MESH_VERTEX", mesh->vertices.size(), &i) &&
               readVector("*MESH_VERTEX x y z", &mesh->vertices[static_cast<size_t>(i)]);
    }

    // "*MESH_FACE 0: A: 0 B: 2 C: 3 AB: 1 ..." and, after its other keys,
    // "*MESH_MTLID 1", which belongs to the face before it.
    bool readFace(std::string_view key, AseMesh* mesh) {
        if (key == "*MESH_MTLID") {
            int id = 0;
            if (!readInt("*MESH_MTLID", &id)) return false;
            if (lastFace_ < mesh->faces.size()) mesh->faces[lastFace_].materialId = id;
            return true;
        }
        if (key != "*MESH_FACE") return skipValues();
        int i = 0;
        if (!readIndex("*MESH_FACE", mesh->faces.size(), &i)) return false;
        AseFace& face = mesh->faces[static_cast<size_t>(i)];
        static const char* const kLabels[3] = {"A:", "B:", "C:"};
        for (int k = 0; k < 3; ++k) {
            const Token label = scan_.next();
            if (label.text.substr(0, 2) != kLabels[k])
                return file_.failAt(label.at, std::string(kLabels[k]) + " and a vertex index, found " +
                                                  describe(label));
            const bool joined = label.text.size() > 2;  // "A:0"
            if (joined ? !parseInt(label.text.substr(2), &face.corner[k])
                       : !readInt("a vertex index", &face.corner[k]))
                return file_.failAt(label.at, std::string(kLabels[k]) + " and a vertex index");
        }
        face.given = true;
        lastFace_ = static_cast<size_t>(i);
        return skipValues();  // AB: BC: CA: edge flags
    }

    bool readTexVertex(std::string_view key, AseMesh* mesh) {
        if (key != "*MESH_TVERT") return skipValues();
        int i = 0;
        Vector3 uvw;
        if (!readIndex("*MESH_TVERT", mesh->texVertices.size() / 2, &i) || !readVector("*MESH_TVERT u v w", &uvw))
            return false;
        mesh->texVertices[static_cast<size_t>(i) * 2] = uvw.x;
        mesh->texVertices[static_cast<size_t>(i) * 2 + 1] = uvw.y;
        return true;
    }

    bool readTexFace(std::string_view key, AseMesh* mesh) {
        if (key != "*MESH_TFACE") return skipValues();
        int i = 0;
        if (!readIndex("*MESH_TFACE", mesh->texFaces.size(), &i)) return false;
        auto& corners = mesh->texFaces[static_cast<size_t>(i)];
        for (int k = 0; k < 3; ++k)
            if (!readInt("*MESH_TFACE's texture vertex index", &corners[static_cast<size_t>(k)])) return false;
        mesh->texFaceGiven[static_cast<size_t>(i)] = 1;
        return true;
    }

    // "*MESH_FACENORMAL f x y z" then one "*MESH_VERTEXNORMAL v x y z" per
    // corner of face f, in its corners' order.
    bool readNormal(std::string_view key, AseMesh* mesh) {
        Vector3 n;
        int i = 0;
        if (key == "*MESH_FACENORMAL") {
            if (!readIndex("*MESH_FACENORMAL", mesh->faces.size(), &i) || !readVector("*MESH_FACENORMAL x y z", &n))
                return false;
            normalFace_ = static_cast<size_t>(i);
            return true;
        }
        if (key != "*MESH_VERTEXNORMAL") return skipValues();
        if (!readInt("*MESH_VERTEXNORMAL", &i) || !readVector("*MESH_VERTEXNORMAL x y z", &n)) return false;
        if (normalFace_ < mesh->normals.size() && mesh->normalsGiven[normalFace_] < 3)
            mesh->normals[normalFace_][mesh->normalsGiven[normalFace_]++] = n;
        return true;
    }

    const AseMaterial* findMaterial(int index) const {
        const auto found = materialAt_.find(index);
        return found == materialAt_.end() ? nullptr : &materials_[found->second];
    }

    void addTriangles(const AseMesh& mesh, int materialRef, int objectLine) {
        const AseMaterial* material = findMaterial(materialRef);
        if (!material && !mesh.faces.empty())
            build_.warn(file_.name() + ":" + std::to_string(objectLine) + ": " +
                                       (materialRef < 0 ? std::string("no *MATERIAL_REF")
                                                        : "*MATERIAL_REF " + std::to_string(materialRef) +
                                                              " names no material of the list") +
                                       "; its faces show no material");
        const size_t texCount = mesh.texVertices.size() / 2;
        size_t skipped = 0, firstSkipped = 0;
        for (size_t f = 0; f < mesh.faces.size(); ++f) {
            const AseFace& face = mesh.faces[f];
            if (!face.given) continue;
            const bool textured = f < mesh.texFaces.size() && mesh.texFaceGiven[f];
            bool inRange = true;
            for (int k = 0; k < 3; ++k) {
                inRange = inRange && face.corner[k] >= 0 && static_cast<size_t>(face.corner[k]) < mesh.vertices.size();
                if (textured) {
                    const int tv = mesh.texFaces[f][static_cast<size_t>(k)];
                    inRange = inRange && tv >= 0 && static_cast<size_t>(tv) < texCount;
                }
            }
            if (!inRange) {
                if (skipped++ == 0) firstSkipped = f;
                continue;
            }
            Vector3 positions[3];
            float st[3][2] = {};
            Vector3 normals[3];
            for (int k = 0; k < 3; ++k) {
                positions[k] = mesh.vertices[static_cast<size_t>(face.corner[k])];
                if (textured) {
                    const size_t tv = static_cast<size_t>(mesh.texFaces[f][static_cast<size_t>(k)]);
                    st[k][0] = mesh.texVertices[tv * 2];
                    st[k][1] = 1.0f - mesh.texVertices[tv * 2 + 1];
                }
                normals[k] = mesh.normals[f][static_cast<size_t>(k)];
            }
            const AseMaterial* shown = material;
            if (shown && !shown->subs.empty()) {
                // Ids past the sub-materials wrap around, as the exporter's own tool shows them.
                const size_t n = shown->subs.size();
                const size_t id = static_cast<size_t>(face.materialId < 0 ? 0 : face.materialId) % n;
                shown = &shown->subs[id];
            }
            const size_t group = shown ? build_.group(shown->name, shown->bitmap) : build_.group("", "");
            build_.addTriangle(group, positions, st, mesh.normalsGiven[f] == 3 ? &normals : nullptr);
        }
        if (skipped > 0)
            build_.warn(file_.name() + ":" + std::to_string(objectLine) + ": " +
                                       std::to_string(skipped) + " face" + (skipped == 1 ? "" : "s") +
                                       " of this *GEOMOBJECT name a vertex or texture vertex out of range "
                                       "(first: *MESH_FACE " +
                                       std::to_string(firstSkipped) + "); skipped");
    }

    Scanner scan_;
    PatternReader& file_;
    MeshBuilder build_;
    std::vector<AseMaterial> materials_;
    std::unordered_map<int, size_t> materialAt_;
    size_t lastFace_ = SIZE_MAX;
    size_t normalFace_ = SIZE_MAX;
};

}  // namespace

bool readAseModel(std::string_view text, const std::string& name, MeshModel* model, std::string* error) {
    *model = MeshModel{};
    PatternReader file(text, name);
    AseReader reader(file, model);
    if (reader.read()) return true;
    *error = file.error();
    *model = MeshModel{};
    return false;
}

bool readAseFile(const char* path, MeshModel* model, std::string* error) {
    PatternReader file;
    if (!file.open(path, error)) return false;
    if (!readAseModel(file.text(), path, model, error)) return false;
    // A file cut short under the mapping read as zeros: nothing of it holds.
    if (!file.outcome(true, error)) {
        *model = MeshModel{};
        return false;
    }
    return true;
}

}  // namespace q
